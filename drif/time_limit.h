// The time a run of drenable may take, when its caller sets one: a cluster
// manager that kills the program at its own time-out hands the seconds it
// leaves in DRENABLE_TIME_LIMIT, so that drenable ends its waits in time,
// cuts its requests' time-outs to what is left and never begins a failover
// whose answer could come too late. Without it (the default) nothing is
// limited. Time is read from the platform clock.
#ifndef DRIF_TIME_LIMIT_H
#define DRIF_TIME_LIMIT_H

#include <string>

namespace timelimit {

constexpr char VARIABLE[] = "DRENABLE_TIME_LIMIT";
// Seconds kept back from the limit for the end of the run (the record, the
// volume groups' preparation, the exit).
constexpr long MARGIN = 2;

// Starts a limit of seconds from now; 0 or less removes any limit.
void start(long seconds);
bool active();
// Seconds left for work (the margin kept back), never below 0; only
// meaningful when active().
long secondsLeft();
// "The time limit of the start (DRENABLE_TIME_LIMIT, <n> seconds)", the
// subject of every message about the limit.
std::string subject();

// The limit from the text of DRENABLE_TIME_LIMIT: whole seconds, at least
// 1; -1 when the text is not such a number.
long parse(const char* text);

}  // namespace timelimit

#endif  // DRIF_TIME_LIMIT_H
