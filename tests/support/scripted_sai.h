// A storage array interface that answers from a script, and the SAIFactory
// that hands it out. Programs and tests link it instead of the array's own
// factory, so the real decision engine runs against arrays whose state and
// answers the test chooses.
//
// In unit tests, set scripted::script() in code. In a program (the e2e
// binary drenable_scripted), the factory reads the script from the file
// named by DRE_SAI_SCRIPT and appends each call as a line to the file named
// by DRE_SAI_CALLS.
#ifndef TESTS_SUPPORT_SCRIPTED_SAI_H
#define TESTS_SUPPORT_SCRIPTED_SAI_H

#include <string>
#include <vector>

#include "drif/data_rep_state.h"

namespace scripted {

struct Script {
  bool createFails = false;  // SAIFactory::create answers null
  int initializeResult = 0;
  int getStateResult = 0;
  DataRepState state;  // what getState reports
  int failoverSwapResult = 0;
  int waitForCopyingResult = 0;
  int waitForMergingResult = 0;
  int sourceWriteEnableResult = 0;

  // What happened: "initialize <name>", "getState", "failoverSwap <wait>",
  // "waitForCopying <wait>", "waitForMerging <wait> <policy>",
  // "sourceWriteEnable", ...
  std::vector<std::string> calls;
  int created = 0;
  int destroyed = 0;
};

// The script every interface of the process answers from.
Script& script();

// Reads "key=value" lines (blank lines and '#' comments allowed). Keys:
// create (0 = fails), initialize, getState, failoverSwap, waitForCopying,
// waitForMerging, sourceWriteEnable (results); role, link, currency, rep,
// writeMode (enumerator names as in DataRepState, or numbers). False with
// a reason for anything else.
bool parseScript(const std::string& text, Script* out, std::string* error);

}  // namespace scripted

#endif  // TESTS_SUPPORT_SCRIPTED_SAI_H
