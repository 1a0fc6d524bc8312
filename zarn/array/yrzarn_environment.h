// The array variables of a package: the DR group name, the world wide names
// of the arrays of both data centres, the SMI-S servers and cluster nodes of
// each data centre and the query time-out. A second variable table on the
// package environment reader; validate() also decides which data centre this
// node belongs to, and with it which array is local and which SMI-S servers
// may be tried.
//
// Calling order: construct, initialize, read, validate (once; a second
// validate appends the local servers again).
#ifndef ZARN_ARRAY_YRZARN_ENVIRONMENT_H
#define ZARN_ARRAY_YRZARN_ENVIRONMENT_H

#include <cstddef>
#include <string>
#include <vector>

#include "sfcore/core_environment.h"

// True when a host list (items separated by blanks, tabs and commas) names
// the node of this short host name: an item equal to it, or whose part
// before the first '.' is. An empty name is named by no list.
bool hostListNames(const std::string& list, const std::string& shortName);

class YRZARNEnvironment : public CoreEnvironment {
 public:
  // Data centre of this node.
  static constexpr int UNDEFINED = -1;
  static constexpr int DC1 = 1;
  static constexpr int DC2 = 2;

  YRZARNEnvironment();
  ~YRZARNEnvironment() override;

  // Registers the eight array variables (not the core ones); 0.
  int initialize() override;
  // 0 when every array variable is usable and exactly one of the host
  // lists names this node; 1 otherwise, after logging every fault found.
  int validate() override;

  // A null value leaves the member unchanged.
  void setDRGroupName(const char* name);  // adds the prefix
  void setDc1StorageName(const char* name);
  void setDc2StorageName(const char* name);
  void setDc1SMISList(const char* list);
  void setDc1HostList(const char* list);
  void setDc2SMISList(const char* list);
  void setDc2HostList(const char* list);
  void setQueryTimeout(int seconds);  // unchecked

  // With the prefix.
  std::string getDRGroupName();
  int getQueryTimeout();
  int getLocation() const { return location; }
  // 0, or -1 when validate found a bad world wide name or list, or did not
  // find this node.
  int isSMISConnectAttribProper() const { return smisConnectAttribProper; }
  // Before a successful validate, data centre 1 counts as local.
  std::string getLocalStorageName();
  std::string getRemoteStorageName();

  // The next host of this data centre's SMI-S list; "" once the list is
  // exhausted (it is never rewound by the choice of a server).
  std::string getNextLocalSMIS();
  // Back to the first local host; 1 when the list is empty.
  int resetLocalSMIS();
  // The local SMI-S hosts, in file order.
  const std::vector<std::string>& getLocalSMISList() const {
    return localSMISList;
  }

  // Rewrites "AAAA-BBBB-CCCC-DDDD" as "AAAABBBBCCCCDDDD" in place; 1 (name
  // unchanged) for any other form.
  int convertStorageName(std::string& name);

 private:
  std::string drGroupName;
  std::string dc1StorageName;
  std::string dc2StorageName;
  std::string dc1SMISList;
  std::string dc1HostList;
  std::string dc2SMISList;
  std::string dc2HostList;
  int queryTimeout;
  int location;
  int smisConnectAttribProper;
  std::vector<std::string> localSMISList;
  size_t localSMISIter;
};

#endif  // ZARN_ARRAY_YRZARN_ENVIRONMENT_H
