/*
 * Preloaded ahead of libfaketime in the end-to-end tests that speed the
 * clock up. Under a speed-up, libfaketime's sleep() sleeps the right time
 * but from the second call on returns a huge "unslept" remainder, so a
 * program that finishes an interrupted sleep by looping on that value
 * sleeps for ever. This sleep() goes through nanosleep(), which libfaketime
 * scales correctly, and sleeps the whole interval.
 */
#include <errno.h>
#include <time.h>
#include <unistd.h>

unsigned int sleep(unsigned int seconds) {
  struct timespec left = {(time_t)seconds, 0};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
  return 0;
}
