#include "drif/time_limit.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "drif/platform.h"

namespace timelimit {

namespace {

long given = 0;
std::time_t deadline = 0;

}  // namespace

void start(long seconds) {
  given = seconds > 0 ? seconds : 0;
  deadline = given > 0 ? sys::platform().clock->now() + given : 0;
}

bool active() { return given > 0; }

long secondsLeft() {
  long left = static_cast<long>(deadline - sys::platform().clock->now()) - MARGIN;
  return left > 0 ? left : 0;
}

std::string subject() {
  return "The time limit of the start (" + std::string(VARIABLE) + ", " +
         std::to_string(given) + " seconds)";
}

long parse(const char* text) {
  if (text == nullptr || *text < '0' || *text > '9') return -1;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 1 || value > INT_MAX) return -1;
  return value;
}

}  // namespace timelimit
