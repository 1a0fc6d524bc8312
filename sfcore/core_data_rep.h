// The data replication module drenable runs. It owns the package's core
// environment and the storage array interface. initialize reads and checks
// the environment and prepares the array interface; prepStorage reads the
// replication state, refuses DR groups in failsafe mode, looks the start-up
// action up in the decision table and runs it. The actions are the only
// place that changes the storage and sets the environment's switched flag.
#ifndef SFCORE_CORE_DATA_REP_H
#define SFCORE_CORE_DATA_REP_H

#include "drif/data_rep.h"
#include "drif/data_rep_state.h"
#include "drif/sai_factory.h"
#include "drif/storage_array_interface.h"
#include "sfcore/core_environment.h"

// Appended to the package directory: an operator creates this file to allow
// one forced start with data that may not be current; the program removes
// it when it uses it (a preview only reports it).
extern const char* const FORCEFLAG_FILE;  // "/FORCEFLAG"

// WAIT_TIME at or below this means "do not wait".
const int NO_WAIT = 0;

class CoreDataRep : public DataRep {
 public:
  // A start-up action: SUCCESS, NO_START or NO_START_CUR.
  typedef int (CoreDataRep::*funcPtr)();

  CoreDataRep();
  ~CoreDataRep() override;

  bool initialize(char* name) override;
  int prepStorage() override;
  Environment* getEnvironment() override;

 private:
  void dumpDrState(const DataRepState& state);
  // The decision table: stores the chosen action and returns 0, or leaves
  // action untouched and returns 1 when the state has no action. Logs the
  // row's message.
  int getAction(const DataRepState& drState, funcPtr& action);
  // The table's two endings: an action chosen by the rule (0), or the rule
  // has none (1). Either way the rule is kept for the decision record.
  int choose(funcPtr& action, funcPtr chosen, const char* ruleName);
  int noAction(const char* ruleName);
  int unexpectedState(int repState, const char* ruleName);
  int sourceLinkUp(const DataRepState& drState, funcPtr& action);
  int sourceLinkDown(const DataRepState& drState, funcPtr& action);
  int targetLinkUp(const DataRepState& drState, funcPtr& action);
  int targetLinkDown(const DataRepState& drState, funcPtr& action);
  // True when the FORCEFLAG file is present as a regular file; it is then
  // removed (or its removal attempted), except in preview mode, which keeps
  // it. Anything else at its path is reported and counts as no file.
  bool checkForceFlag();

  int noOpSuccessAction();
  int noOpNoStartAction();
  int noOpNoStartCurAction();
  int failoverSwapAction();
  int waitForCopyAction();
  int waitForMergeAction();
  // The common start of the three actions that fail over: false (and the
  // message logged) when the array interface or the environment is missing.
  bool arrayActionReady();
  // The common end of the three actions that fail over.
  int failoverDone(int result);

  // Notes the state, the rule and the action in the decision record.
  void recordDecision(const DataRepState& state, funcPtr action);
  // After the action: the writes a start on data that may not be current
  // gave up.
  void recordOutcome(int result);

  bool sfcoreDebug;
  const char* decidedRule;  // the rule getAction applied
  CoreEnvironment* env;
  SAIFactory saiFactory;
  StorageArrayInterface* sai;
};

#endif  // SFCORE_CORE_DATA_REP_H
