// The raw properties of one side of a DR group as the SMI-S provider reports
// them, one text each. ZARNAPI fills it from the array (a property the array
// leaves out gets a stand-in text, see ZARNAPI::getLocalCSState); the array
// interface maps it onto the replication state model.
#ifndef ZARN_ARRAY_CONSISTENCY_SET_STATE_H
#define ZARN_ARRAY_CONSISTENCY_SET_STATE_H

#include <string>

class ConsistencySetState {
 public:
  std::string participationType;  // "source", "destination"; "none": no
                                  // local SMI-S server could be reached
  std::string linkState;          // "good", "failed", "unknown"
  std::string logState;           // "normal", "logging", "merging", ...
  std::string failSafe;           // "enable(d)", "disable(d)"
  std::string failSafeLock;       // "none" when the array omits it
  std::string suspendMode;        // "none" when the array omits it
  std::string writeMode;          // "synchronous", "asynchronous", "n/a"
  std::string fullCopyState;      // "yes", ...; "none" when omitted
  std::string numWrites;          // outstanding writes; "none" when omitted
};

#endif  // ZARN_ARRAY_CONSISTENCY_SET_STATE_H
