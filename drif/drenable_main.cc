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
#include <cstring>

#include "drif/data_rep.h"
#include "drif/dr_check.h"
#include "drif/logger.h"
#include "sfcore/dr_factory.h"

int main(int argc, char* argv[]) {
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
  DRFactory factory;
  DataRep* dataRep = factory.createDataRep();

  int result = NO_START;
  if (previewForm && argc != 3) {
    log->log("Error - Incorrect number of arguments for preview mode");
  } else if (!previewForm && argc != NEWARGS && argc != OLDARGS) {
    log->log("Error - Incorrect number of arguments");
  } else {
    log->log("Entering Data Replication Enabler");
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
    log->log(LOG_FILE, "Leaving Data Replication Enabler");
  }
  if (dataRep != nullptr) factory.destroyDataRep(dataRep);
  Logger::removeInstance(&log);
  return result;
}
