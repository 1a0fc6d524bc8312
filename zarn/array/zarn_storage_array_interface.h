// The storage array interface of this system: reads the package's DR group
// on the local and the remote array through one SMI-S server of this node's
// data centre, reduces the raw properties to the DataRepState the decision
// engine works on, and fails the DR group over to this site, waiting for a
// running full copy, a merge of logged writes or a busy array within the
// package's WAIT_TIME. Created and destroyed through SAIFactory, which hands
// in the ZARNAPI (and with it the SMI-S connection) the interface then owns;
// everything after initialize goes through the four ArrayOperations, which
// tests answer from a script. All waiting goes through the platform clock.
#ifndef ZARN_ARRAY_ZARN_STORAGE_ARRAY_INTERFACE_H
#define ZARN_ARRAY_ZARN_STORAGE_ARRAY_INTERFACE_H

#include <memory>
#include <string>

#include "drif/data_rep_state.h"
#include "drif/storage_array_interface.h"
#include "zarn/array/array_operations.h"
#include "zarn/array/consistency_set_state.h"
#include "zarn/array/zarn_api.h"

class Logger;

// Seconds slept between two failover attempts or two polls of the DR group.
const unsigned WAIT_INTERVAL = 60;

class ZARNStorageArrayInterface : public StorageArrayInterface {
 public:
  // Works through api, which it owns and initialises.
  explicit ZARNStorageArrayInterface(std::unique_ptr<ZARNAPI> api);
  // Works through operations, which the caller keeps alive and has already
  // set up (initialize then only answers 0).
  explicit ZARNStorageArrayInterface(ArrayOperations& operations);
  ~ZARNStorageArrayInterface() override;
  ZARNStorageArrayInterface(const ZARNStorageArrayInterface&) = delete;
  ZARNStorageArrayInterface& operator=(const ZARNStorageArrayInterface&) =
      delete;

  // Reads the array variables, the SMI-S server list and the device ID map;
  // 0 when ready, 1 otherwise (the reason is logged).
  int initialize(const char* envFileName) override;
  // 0 when state was filled for this site; 1 when the local DR group could
  // not be read or its properties make no sense (logged).
  int getState(DataRepState& state) override;
  // Fails over with role swap, waiting within waitTime for a copy, a merge
  // or a busy array; 0 done, 1 failed.
  int failoverSwap(int waitTime) override;
  // One failover (with the lock collision retries): 0 done, 1 failed, 2 the
  // DR group is copying or merging and newState holds the state to decide
  // on again.
  int failover(DataRepState& newState) override;
  // Waits for the merge of logged writes, then failoverSwap; in
  // asynchronous mode writes still outstanding at the deadline are given up
  // only under AVAILABILITY_PREFERRED. 1 when the start must be refused,
  // also whenever the source could not be read (the writes pending are then
  // unknown, in either write mode).
  int waitForMerging(int waitTime, std::string startupPolicy) override;
  // Waits for the full copy to end, then failoverSwap; 1 when it did not
  // end in time or the DR group could not be read.
  int waitForCopying(int waitTime) override;
  // Nothing to do for these arrays: 3.
  int failback() override;
  int resyncFromTarget() override;
  // Switches the DR group's failsafe mode off; 0 done, 1 failed.
  int sourceWriteEnable() override;

  // Maps raw DR group properties onto state: 0, or 1 when the participation
  // type or the failsafe mode is not known (state may be partly written).
  int mapState(const ConsistencySetState& cs, DataRepState& state);

  // The number of the next failover attempt (1 to MAX_RETRY_COUNT + 1).
  int getRetryCount() const { return retryCount; }

 private:
  // Calls ZARNAPI::failover until it answers anything but LOCK_COLLISION or
  // the attempts are used up; returns the last code.
  int failoverWithRetries();
  void logCSState(const char* heading, const ConsistencySetState& cs);
  // The decision record's count of outstanding writes, from the source's
  // reading at the start of the decision (when it is a count).
  void noteWritesOutstanding(const std::string& text);
  // Whether the run's time limit, if any, leaves room for another check of
  // a wait: the sleep, the check and, when the check is a read, the
  // failover after it. When it does not, logs so and notes it; the wait
  // then ends.
  bool roomForAnotherCheck(bool checkIsRead);
  // "<what>Check again after 60 seconds.\n... remaining wait time ..."
  void logWaiting(const char* what, long remaining);

  Logger* log;
  std::unique_ptr<ZARNAPI> zarnApi;  // null when handed plain operations
  ArrayOperations& array;
  DataRepState dataRepState;
  int retryCount;
};

#endif  // ZARN_ARRAY_ZARN_STORAGE_ARRAY_INTERFACE_H
