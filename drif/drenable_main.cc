// drenable: run by a package's control script each time the cluster manager
// starts the package on a node. Decides whether the package may start here,
// fails the DR group over to this site when the decision table says so, and
// tells the control script through the exit code:
//   0 start, 1 do not start, 2 do not start on this node now,
//   3 start (the storage was switched to read-write in this run).
//
//   drenable -preview <env file | package>
//   drenable <env file | package> lvmUsed vxvmUsed <LVM VGs> <VxVM DGs>
//   drenable <env file | package> lvmUsed vxvmUsed cvmUsed <LVM VGs>
//            <VxVM DGs> <CVM DGs>
//   drenable -explain [-json | -summary] [-n <count>] <env file | package>
//
// Every run but -explain appends its decision record to the package's
// decision log (sfcore/decision_report.h); -explain reads it back.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "drif/data_rep.h"
#include "drif/decision_record.h"
#include "drif/dr_check.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "drif/time_limit.h"
#include "sfcore/decision_explain.h"
#include "sfcore/decision_report.h"
#include "sfcore/dr_factory.h"

namespace {

int explain(int argc, char* argv[]) {
  Logger* log = Logger::createInstance();
  int status = explainDecisions(std::vector<std::string>(argv + 2, argv + argc),
                                std::cout, std::cerr);
  std::cout.flush();
  Logger::removeInstance(&log);
  return status;
}

// DRENABLE_TIME_LIMIT, when the caller set it.
void startTimeLimit(Logger* log) {
  const char* given = std::getenv(timelimit::VARIABLE);
  if (given == nullptr) return;
  const long seconds = timelimit::parse(given);
  if (seconds < 0) {
    log->log(std::string("Warning - ") + timelimit::VARIABLE + "=" + given +
             " is not a whole number of seconds (1 or more): no time limit applies.");
    return;
  }
  timelimit::start(seconds);
  decision::note(record::TIME_LIMIT, seconds);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc > 1 && std::strcmp(argv[1], "-explain") == 0) return explain(argc, argv);

  const auto startedSteady = std::chrono::steady_clock::now();
  const std::time_t started = sys::platform().clock->now();
  DecisionRecord record;
  DecisionRecord::install(&record);
  char empty[] = "";
  char zero[] = "0";
  const bool previewForm = argc > 1 && std::strcmp(argv[1], "-preview") == 0;
  char* envFileName = empty;
  if (previewForm) {
    preview = true;
    if (argc > 2) envFileName = argv[2];
  } else if (argc > 1) {
    envFileName = argv[1];
  }

  Logger* log = Logger::createInstance();
  const char* package = std::getenv("PACKAGE");
  record.set(record::PACKAGE, package != nullptr ? package : envFileName);
  DRFactory factory;
  DataRep* dataRep = factory.createDataRep();

  // Written once the run is over, whatever ended it.
  auto finishRecord = [&](int exitCode) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - startedSteady);
    completeRecord(record, started, static_cast<long>(took.count()), exitCode);
    writeRecord(record);
  };

  int result = NO_START;
  if (previewForm && argc != 3) {
    log->log("Error - Incorrect number of arguments for preview mode");
  } else if (!previewForm && argc != NEWARGS && argc != OLDARGS) {
    log->log("Error - Incorrect number of arguments");
  } else {
    log->log("Entering Data Replication Enabler");
    startTimeLimit(log);
    log->logDebug("Creating the DRCheck object");
    DRCheck* check;
    if (argc == OLDARGS) {
      check = new DRCheck(dataRep, envFileName, argv[2], argv[3], zero,
                          argv[4], argv[5], empty);
    } else if (argc == NEWARGS) {
      check = new DRCheck(dataRep, envFileName, argv[2], argv[3], argv[4],
                          argv[5], argv[6], argv[7]);
    } else {
      check = new DRCheck(dataRep, envFileName);
    }
    log->logDebug("Calling the run method of DRCheck");
    result = check->run();
    if (result < SUCCESS || result > SWITCH_TRUE) {
      log->logDebug(LOG_FILE, "Run method returned invalid value");
      log->log(LOG_FILE,
               "Data Replication Enabler returned unknown return code: " +
                   std::to_string(result) + ". Exiting with 1");
      result = NO_START;
    }
    delete check;
    factory.destroyDataRep(dataRep);
    dataRep = nullptr;
    finishRecord(result);
    log->log(LOG_FILE, "Leaving Data Replication Enabler");
  }
  if (dataRep != nullptr) {
    factory.destroyDataRep(dataRep);
    finishRecord(result);
  }
  DecisionRecord::install(nullptr);
  Logger::removeInstance(&log);
  return result;
}
