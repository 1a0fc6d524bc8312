// The SMI-S operations on the arrays of one package: reads the package's
// array variables, the SMI-S server list and the device ID map, chooses and
// connects one SMI-S server of this node's data centre, finds the storage
// system, replication service and DR group objects, reads the DR group's
// state on both arrays and fails the DR group over.
//
// The object owns the server it connected and keeps it for its whole life
// (also across time-outs: the server reconnects itself). The DR group and
// replication service paths of the local array are looked up once and kept;
// the remote DR group is looked up on every query. The public operations
// never throw: failures inside are exceptions of the SMI-S layer, caught,
// logged and turned into the int results documented below.
#ifndef ZARN_ARRAY_ZARN_API_H
#define ZARN_ARRAY_ZARN_API_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cim/object_path.h"
#include "zarn/array/array_operations.h"
#include "zarn/array/consistency_set_state.h"
#include "zarn/smis/server_choice.h"
#include "zarn/store/smis_manager.h"
#include "zarn/array/yrzarn_environment.h"
#include "zarn/store/zarn_id_map.h"

class Logger;
class SMISServer;

// Codes of a refused failover ("FastFailover"); the failover procedures
// retry or wait on some of them.
const int INVALID_DR_MODE = 32769;       // 0x8001
const int INVALID_DR_STATE = 32770;      // 0x8002: the DR group is copying
const int DR_GROUP_IS_MERGING = 32771;   // 0x8003
const int CONNECTION_SUSPENDED = 32782;  // 0x800e
const int STORAGE_SYSTEM_BUSY = 32790;   // 0x8016
const int LOCK_COLLISION = 32801;        // 0x8021
// Tries of a failover that keeps answering LOCK_COLLISION.
const unsigned MAX_RETRY_COUNT = 6;

// Progress of the change operation running on the array (queryState).
const int QS_NONE = 0;
const int QS_FAILOVER_START = 1;  // FastFailover sent, no answer yet
const int QS_FAILOVER_DONE = 2;
const int QS_DISABLE_FAILSAFE_START = 3;
const int QS_DISABLE_FAILSAFE_DONE = 4;

class ZARNAPI : public ArrayOperations {
 public:
  ZARNAPI();
  ~ZARNAPI() override;
  ZARNAPI(const ZARNAPI&) = delete;
  ZARNAPI& operator=(const ZARNAPI&) = delete;

  // Reads and checks the array variables of envName (a file path or a
  // package name), then loads the SMI-S server list (the map file must
  // exist) and the device ID map. 0 ready, 1 failed (logged).
  int initialize(const char* envName);
  // Loads only the SMI-S server list; 1 when the map file is missing or
  // unreadable. For programs that choose the default server (discovery).
  int initiateSMISData();

  bool getUseIDMap() const { return useIDMap; }
  void setUseIDMap(bool value) { useIDMap = value; }

  // Asks the default (first) SMI-S server of the list for the DR group
  // drGrpName of the storage system storageName (its world wide name) and
  // fills devID with the DR group's instance ID and its member disks'
  // WWIDs. 0 done, 1 failed ("Exception: " and the reason logged).
  int findDeviceID(const std::string& storageName, const std::string& drGrpName,
                   DeviceID& devID);

  // Reads the DR group on this data centre's array. 0 when csState was
  // filled, and also when no local SMI-S server can be reached, in which
  // case participationType is "none"; 1 on any other failure (logged;
  // csState must not be used).
  int getLocalCSState(ConsistencySetState& csState) override;
  // Reads the DR group on the other array, through the same server. 0 when
  // filled, 1 on any failure (logged).
  int getRemoteCSState(ConsistencySetState& csState) override;

  // Fails the DR group over to this data centre's array (nothing is sent
  // in preview mode, which answers 0). 0 accepted; the array's code when it
  // refused (INVALID_DR_MODE ... LOCK_COLLISION or any other, logged unless
  // the failover procedures handle it); 1 on any other failure (logged).
  int failover() override;
  // Switches the DR group's failsafe mode off. 0 done, 1 failed (logged).
  int disableFailsafe() override;

  std::string lastFailure() const override { return lastFailureText; }
  // SMISQueryTime when set, else the package's query time-out.
  int queryTimeout() override;

  // The map file both tables are loaded from (tests and tools only; the
  // default is the system's map file).
  void setMapFileName(const std::string& path);
  int getQueryState() const { return queryState; }
  // Every SMI-S server contacted in this run, in the order its outcome was
  // known: the one used, those that could not be used, and those contacted
  // but no longer needed.
  const std::vector<ServerAttempt>& getServerAttempts() const { return serverAttempts; }

  // Query time-out in seconds that replaces the environment's when not 0.
  int SMISQueryTime;

 private:
  // The connected server to use: the one chosen earlier, else the next
  // usable host of the local SMI-S list (useDefaultSMIS false; several
  // hosts may be contacted at once, see ServerChoice) or the first server
  // of the list (true). Throws NoSMISServerException,
  // SMISServerInfoException or, with useDefaultSMIS, the connection error.
  SMISServer* findSMISServer(bool useDefaultSMIS);
  // Throws InstanceException when the array is not known to the server.
  cim::ObjectPath findStorageObjectPath(SMISServer* smisSrv,
                                        const std::string& storageName);
  // The array's replication service; InstanceException or
  // ObjectPathException when not found.
  cim::ObjectPath findServiceObjectPath(SMISServer* smisSrv,
                                        const std::string& storageName);
  // The DR group: built from the device ID map (no request) with useMap,
  // else searched on the server. SMISServerException, ObjectPathException
  // or InstanceException when it fails. With reuseList the server's DR
  // groups are enumerated once and the list kept for later searches; it is
  // asked for again only when the DR group sought is not in it.
  cim::ObjectPath findCSObjectPath(SMISServer* smisSrv,
                                   const std::string& storageName,
                                   const std::string& drGrpName, bool useMap,
                                   bool reuseList = false);
  // Writes the path at debug level.
  void dumpObjectPath(const std::string& copInfo,
                      const cim::ObjectPath& objectPath);

  // Looks the local DR group's path up the first time only; it is kept in
  // localCSObjectPath for the rest of the run.
  void keepLocalCSObjectPath(SMISServer* server, const std::string& storageName,
                             const std::string& drGrpName);
  // Reads the DR group at path into csState and checks it.
  void readCSState(SMISServer* smisSrv, const cim::ObjectPath& path,
                   ConsistencySetState& csState);
  // 0 when the state holds only known values; InstanceException naming
  // every unknown one otherwise.
  int validateDrgProperty(const ConsistencySetState& csState);
  // Logs what a refused failover's code means; returns it.
  int checkErrorCode(int errorCode);
  // For the catch block of a state query or the failover: logs the
  // exception being handled, a time-out as timeoutHead, the host and
  // timeoutTail (the server is then marked TIMEOUT), any other as failed,
  // " <host>" when a server was chosen, ";\n\t\t\t\t" and the reason.
  // Returns 1. The reason is kept as lastFailure() and, under request's
  // name, in the decision record.
  int logFailure(const char* request, SMISServer* server, const std::string& timeoutHead,
                 const std::string& timeoutTail, const std::string& failed);
  // Keeps a failure's reason for lastFailure() and the decision record.
  void noteFailure(const char* request, SMISServer* server, const std::string& reason);

  Logger* log;
  YRZARNEnvironment zarnEnv;
  SMISManager smisMgr;
  ZARNIDMap idMap;
  SMISServer* smisServer;  // owned; null until a server was connected
  bool useIDMap;
  std::vector<cim::ObjectPath> storageObjectPathList;
  bool validStorageObjectPathList;
  cim::ObjectPath localCSObjectPath;
  bool validLocalCSObjectPath;
  cim::ObjectPath localRSObjectPath;
  bool validLocalRSObjectPath;
  std::string QNKey;
  int queryState;
  // The DR groups of the last enumeration made with reuseList, by array
  // name (first 16 characters of the InstanceID) and element name; the
  // first in the provider's order wins.
  std::map<std::pair<std::string, std::string>, cim::ObjectPath> csPathIndex;
  bool validCSPathIndex;
  std::string lastFailureText;
  std::vector<ServerAttempt> serverAttempts;
};

#endif  // ZARN_ARRAY_ZARN_API_H
