/*
 * measure_exec PROGRAM ARGS...: runs the program and prints its own CPU time
 * (user + system), peak resident memory and wall time on standard error as
 * "cpu_us=N maxrss_kb=N wall_us=N", then exits with its exit code. Kept tiny: the
 * kernel counts the parent's memory before the exec into the child's peak,
 * so the parent must be smaller than any program it measures.
 */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: measure_exec PROGRAM ARGS...\n");
    return 126;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid == 0) {
    execv(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage u;
  if (pid < 0 || wait4(pid, &status, 0, &u) != pid) return 126;
  clock_gettime(CLOCK_MONOTONIC, &end);
  long wall = (end.tv_sec - start.tv_sec) * 1000000L + (end.tv_nsec - start.tv_nsec) / 1000;
  long cpu = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000L +
             u.ru_utime.tv_usec + u.ru_stime.tv_usec;
  fprintf(stderr, "cpu_us=%ld maxrss_kb=%ld wall_us=%ld\n", cpu, u.ru_maxrss, wall);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 125;
}
