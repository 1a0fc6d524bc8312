// What the start-up decision engine asks of the pair of arrays that hold a
// package's DR group. Every operation answers 0 (done), 3 (accepted, nothing
// had to change; also a success) or another value (failed). Wait times are
// in seconds. The object is created and destroyed through SAIFactory.
#ifndef DRIF_STORAGE_ARRAY_INTERFACE_H
#define DRIF_STORAGE_ARRAY_INTERFACE_H

#include <string>

#include "drif/data_rep_state.h"

class StorageArrayInterface {
 public:
  virtual ~StorageArrayInterface() = default;

  // Prepares the interface from the package's environment file path or
  // package name (the same one drenable was given); 0 when ready.
  virtual int initialize(const char* envFileName) = 0;
  // Fills all five fields of the caller's state for this site; 0 on success.
  virtual int getState(DataRepState& state) = 0;
  // Makes this site's copy the writable source and replicates the other way.
  virtual int failoverSwap(int waitTime) = 0;
  // Also answers 2 with newState updated when the group turned out to be
  // copying or merging.
  virtual int failover(DataRepState& newState) = 0;
  // Waits for the log merge to finish within waitTime, then fails over and
  // swaps. startupPolicy is upper case.
  virtual int waitForMerging(int waitTime, std::string startupPolicy) = 0;
  // Waits for the full (track) copy to finish within waitTime, then fails
  // over and swaps.
  virtual int waitForCopying(int waitTime) = 0;
  virtual int failback() = 0;
  virtual int resyncFromTarget() = 0;
  // Makes the source writable while the replication link is down.
  virtual int sourceWriteEnable() = 0;
};

#endif  // DRIF_STORAGE_ARRAY_INTERFACE_H
