// The four operations the array interface asks of the arrays: read the
// package's DR group on this data centre's array and on the other one, fail
// the DR group over to this site, switch its failsafe mode off. ZARNAPI does
// them over SMI-S; the array interface's tests answer them from a script.
// The results are ZARNAPI's (see zarn/zarn_api.h): 0 done, 1 failed (the
// reason already logged), and for failover also the array's refusal code.
#ifndef ZARN_ARRAY_ARRAY_OPERATIONS_H
#define ZARN_ARRAY_ARRAY_OPERATIONS_H

#include <string>

#include "zarn/array/consistency_set_state.h"

class ArrayOperations {
 public:
  virtual ~ArrayOperations() = default;

  virtual int getLocalCSState(ConsistencySetState& csState) = 0;
  virtual int getRemoteCSState(ConsistencySetState& csState) = 0;
  virtual int failover() = 0;
  virtual int disableFailsafe() = 0;

  // What the last failed operation logged as its reason, for the decision
  // record; empty when nothing failed or nothing is known.
  virtual std::string lastFailure() const { return std::string(); }
  // The longest one request may take, in seconds (0: not known).
  virtual int queryTimeout() { return 0; }
};

#endif  // ZARN_ARRAY_ARRAY_OPERATIONS_H
