#include "zarn/array/yrzarn_environment.h"

#include <algorithm>
#include <cstring>

#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/schema.h"

namespace {

YRZARNEnvironment* asArrayEnvironment(Environment* object) {
  return dynamic_cast<YRZARNEnvironment*>(object);
}

// Hands a text variable to the setter of the array environment.
template <void (YRZARNEnvironment::*set)(const char*)>
void assignText(Environment* object, void* value) {
  YRZARNEnvironment* env = asArrayEnvironment(object);
  if (env != nullptr) (env->*set)(static_cast<char*>(value));
}

void assignQueryTimeout(Environment* object, void* value) {
  YRZARNEnvironment* env = asArrayEnvironment(object);
  if (env != nullptr) env->setQueryTimeout(*static_cast<int*>(value));
}

// Host lists and SMI-S lists separate their items with any run of these.
const char* const LIST_SEPARATORS = ", \t";

}  // namespace

bool hostListNames(const std::string& list, const std::string& shortName) {
  if (shortName.empty()) return false;
  size_t start = list.find_first_not_of(LIST_SEPARATORS);
  while (start != std::string::npos) {
    size_t end = list.find_first_of(LIST_SEPARATORS, start);
    std::string item = list.substr(start, end - start);
    // The item itself, or its first label for a fully qualified name.
    if (item == shortName || item.substr(0, item.find('.')) == shortName)
      return true;
    start = list.find_first_not_of(LIST_SEPARATORS, end);
  }
  return false;
}

YRZARNEnvironment::YRZARNEnvironment()
    : queryTimeout(schema::DEFAULT_QUERY_TIMEOUT),
      location(UNDEFINED),
      smisConnectAttribProper(0),
      localSMISIter(0) {
  log->logDebug("Inside the YRZARNEnvironment constructor");
}

YRZARNEnvironment::~YRZARNEnvironment() {
  log->logDebug("Inside the YRZARNEnvironment destructor");
}

int YRZARNEnvironment::initialize() {
  log->logDebug("Inside the YRZARNEnvironment::initialize method");
  addEnvItem("DR_GROUP_NAME", EV_STRING, ENFORCE, assignText<&YRZARNEnvironment::setDRGroupName>);
  addEnvItem("DC1_STORAGE_WORLD_WIDE_NAME", EV_STRING, ENFORCE,
             assignText<&YRZARNEnvironment::setDc1StorageName>);
  addEnvItem("DC2_STORAGE_WORLD_WIDE_NAME", EV_STRING, ENFORCE,
             assignText<&YRZARNEnvironment::setDc2StorageName>);
  addEnvItem("DC1_SMIS_LIST", EV_STRING, ENFORCE, assignText<&YRZARNEnvironment::setDc1SMISList>);
  addEnvItem("DC1_HOST_LIST", EV_STRING, ENFORCE, assignText<&YRZARNEnvironment::setDc1HostList>);
  addEnvItem("DC2_SMIS_LIST", EV_STRING, ENFORCE, assignText<&YRZARNEnvironment::setDc2SMISList>);
  addEnvItem("DC2_HOST_LIST", EV_STRING, ENFORCE, assignText<&YRZARNEnvironment::setDc2HostList>);
  addEnvItem("QUERY_TIME_OUT", EV_INTEGER, NO_ENFORCE, assignQueryTimeout);
  return 0;
}

int YRZARNEnvironment::validate() {
  log->logDebug("Inside the YRZARNEnvironment::validate method");
  int result = 0;

  // A DR_GROUP_NAME whose value is empty (or only blanks and quotes) names
  // no DR group, though the prefix makes the stored name look set.
  decision::note(record::DR_GROUP, drGroupName.substr(std::min(
                                       drGroupName.size(), std::strlen(schema::DR_GROUP_PREFIX))));
  if (drGroupName.empty() || drGroupName == schema::DR_GROUP_PREFIX) {
    log->log("Error - The DR_GROUP_NAME variable has not been set properly.");
    result = 1;
  }
  if (convertStorageName(dc1StorageName) != 0) {
    log->log(
        "Error - The DC1_STORAGE_WORLD_WIDE_NAME variable has not been set "
        "properly.");
    result = 1;
    smisConnectAttribProper = -1;
  }
  if (convertStorageName(dc2StorageName) != 0) {
    log->log(
        "Error - The DC2_STORAGE_WORLD_WIDE_NAME variable has not been set "
        "properly.");
    result = 1;
    smisConnectAttribProper = -1;
  }
  if (queryTimeout < 1) {
    log->log(
        "The QUERY_TIMEOUT variable has not been set properly.\n\t\t\t Use "
        "default, " +
        std::to_string(schema::DEFAULT_QUERY_TIMEOUT) + " seconds, for the query timeout");
    queryTimeout = schema::DEFAULT_QUERY_TIMEOUT;
  }
  const struct {
    const std::string& list;
    const char* message;
  } lists[] = {
      {dc1HostList,
       "Error - The DC1_HOST_LIST variable has not been set properly."},
      {dc2HostList,
       "Error - The DC2_HOST_LIST variable has not been set properly."},
      {dc1SMISList,
       "Error - The DC1_SMIS_LIST variable has not been set properly."},
      {dc2SMISList,
       "Error -The DC2_SMIS_LIST variable has not been set properly."},
  };
  for (const auto& l : lists) {
    if (l.list.empty()) {
      log->log(l.message);
      result = 1;
      smisConnectAttribProper = -1;
    }
  }

  // This node's data centre: the host list that names its short host name.
  // A host name that cannot be read (or is empty) matches neither list, and
  // a node both lists name has no data centre to trust.
  std::string shortName;
  if (!sys::platform().host->hostName(&shortName)) shortName.clear();
  shortName = shortName.substr(0, shortName.find('.'));
  decision::note(record::NODE, shortName);
  const bool inDc1 = hostListNames(dc1HostList, shortName);
  const bool inDc2 = hostListNames(dc2HostList, shortName);
  if (inDc1 && inDc2) {
    log->log("Error - The local host " + shortName +
             " is named in both DC1_HOST_LIST and DC2_HOST_LIST.\n\t\t\t\t" +
             "A node belongs to one data center only.");
    smisConnectAttribProper = -1;
    return 1;
  }
  const int found = inDc1 ? DC1 : inDc2 ? DC2 : UNDEFINED;
  if (found == UNDEFINED) {
    log->log("Error - The local host " + shortName + " " +
             "is not in the data center host lists \n\t\t\t\t" + dc1HostList +
             " and " + dc2HostList);
    smisConnectAttribProper = -1;
    return 1;
  }
  location = found;
  decision::note(record::SITE, location == DC1 ? "DC1" : "DC2");

  const std::string& smisList = location == DC2 ? dc2SMISList : dc1SMISList;
  size_t start = smisList.find_first_not_of(LIST_SEPARATORS);
  bool any = false;
  while (start != std::string::npos) {
    size_t end = smisList.find_first_of(LIST_SEPARATORS, start);
    localSMISList.push_back(smisList.substr(start, end - start));
    any = true;
    start = smisList.find_first_not_of(LIST_SEPARATORS, end);
  }
  if (!any) {
    log->log("Error - No local SMI-S defined in the environment file.");
    return 1;
  }
  localSMISIter = 0;
  return result;
}

void YRZARNEnvironment::setDRGroupName(const char* name) {
  log->logDebug("Inside the YRZARNEnvironment::setDRGroupName method");
  if (name != nullptr) drGroupName = std::string(schema::DR_GROUP_PREFIX) + name;
}

void YRZARNEnvironment::setDc1StorageName(const char* name) {
  log->logDebug("Inside the YRZARNEnvironment::setDc1StorageName method");
  if (name != nullptr) dc1StorageName = name;
}

void YRZARNEnvironment::setDc2StorageName(const char* name) {
  log->logDebug("Inside the YRZARNEnvironment::setDc2StorageName method");
  if (name != nullptr) dc2StorageName = name;
}

void YRZARNEnvironment::setDc1SMISList(const char* list) {
  log->logDebug("Inside the YRZARNEnvironment::setDc1SMISList method");
  if (list != nullptr) dc1SMISList = list;
}

void YRZARNEnvironment::setDc1HostList(const char* list) {
  log->logDebug("Inside the YRZARNEnvironment::setDc1HostList method");
  if (list != nullptr) dc1HostList = list;
}

void YRZARNEnvironment::setDc2SMISList(const char* list) {
  log->logDebug("Inside the YRZARNEnvironment::setDc2SMISList method");
  if (list != nullptr) dc2SMISList = list;
}

void YRZARNEnvironment::setDc2HostList(const char* list) {
  log->logDebug("Inside the YRZARNEnvironment::setDc2HostList method");
  if (list != nullptr) dc2HostList = list;
}

void YRZARNEnvironment::setQueryTimeout(int seconds) {
  log->logDebug("Inside the YRZARNEnvironment::setQueryTimeout method");
  queryTimeout = seconds;
}

std::string YRZARNEnvironment::getDRGroupName() {
  log->logDebug("Inside the YRZARNEnvironment::getDRGroupName method");
  return drGroupName;
}

int YRZARNEnvironment::getQueryTimeout() {
  log->logDebug("Inside the YRZARNEnvironment::getQueryTimeout method");
  return queryTimeout;
}

std::string YRZARNEnvironment::getLocalStorageName() {
  log->logDebug("Inside the YRZARNEnvironment::getLocalStorageName method");
  return location == DC2 ? dc2StorageName : dc1StorageName;
}

std::string YRZARNEnvironment::getRemoteStorageName() {
  log->logDebug("Inside the YRZARNEnvironment::getRemoteStorageName method");
  return location == DC2 ? dc1StorageName : dc2StorageName;
}

std::string YRZARNEnvironment::getNextLocalSMIS() {
  log->logDebug("Inside the YRZARNEnvironment::getNextLocalSMIS method");
  if (localSMISList.empty()) {
    log->logDebug("No SMI-S server in the list.");
    return std::string();
  }
  if (localSMISIter >= localSMISList.size()) return std::string();
  return localSMISList[localSMISIter++];
}

int YRZARNEnvironment::resetLocalSMIS() {
  log->logDebug("Inside the YRZARNEnvironment::resetLocalSMIS method");
  if (localSMISList.empty()) {
    log->log("No SMI-S server in the list.");
    return 1;
  }
  localSMISIter = 0;
  return 0;
}

int YRZARNEnvironment::convertStorageName(std::string& name) {
  if (name.size() != 19 || name[4] != '-' || name[9] != '-' ||
      name[14] != '-') {
    return 1;
  }
  name = name.substr(0, 4) + name.substr(5, 4) + name.substr(10, 4) +
         name.substr(15, 4);
  return 0;
}
