#include "drif/dr_check.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "drif/command_text.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"

namespace {

const char* const EXECUTING = "Executing:";
const char* const SEPARATORS = " \t\n";
const size_t MAX_HOST_NAME = 63;

const char* const LVM_COMMAND = "%s %s %s 2>&1";
const char* const VXVM_IMPORT = "%s vxdg -tfC import %s 2>&1";
const char* const CVM_MASTER =
    "%s /usr/sbin/vxdctl -c mode | awk '$1 == \"master:\" {print $2}' 2>&1";
const char* const CVM_LIST =
    "%s /usr/sbin/vxdg list | awk '($1 ==\"%s\") { print \"Imported\" }' 2>&1";
const char* const CVM_IMPORT =
    "%s /usr/sbin/kxexec %s /usr/sbin/vxdg -s -tfC import %s 2>&1";

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string text(length > 0 ? length : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], length + 1, fmt, args);
  va_end(args);
  return text;
}

const char* orNull(const char* text) { return text != nullptr ? text : "(null)"; }

// The names of a list, without touching the list.
std::vector<std::string> namesOf(const char* list) {
  std::vector<std::string> names;
  if (list == nullptr) return names;
  std::string copy = list;
  char* save = nullptr;
  for (char* name = strtok_r(&copy[0], SEPARATORS, &save); name != nullptr;
       name = strtok_r(nullptr, SEPARATORS, &save)) {
    names.push_back(name);
  }
  return names;
}

const char* clearCommand(int lvmUsed) {
  return lvmUsed == 2 ? "vgchange -c n -S n" : "vgchange -c n";
}

const char* writeCommand(int lvmUsed) {
  return lvmUsed == 2 ? "vgchange -c y -S y" : "vgchange -c y";
}

}  // namespace

int convertReturn(int status) {
  if ((status & 0x7f) != 0) return status;
  return (status >> 8) & 0xff;
}

DRCheck::DRCheck(DataRep* dataRep, char* envFileName)
    : dataRep(dataRep),
      env(nullptr),
      log(Logger::getInstance()),
      envFileName(envFileName),
      lvmVG(nullptr),
      vxvmVG(nullptr),
      cvmVG(nullptr),
      lvmUsed(0),
      vxvmUsed(0),
      cvmUsed(0) {
  log->logDebug("Inside the DRCheck constructor");
  log->logDebug("Arguments passed into the DRCheck object:");
  log->logDebug(format("Environment file name: %s", orNull(envFileName)));
  log->logDebug("Exiting DRCheck constructor");
}

DRCheck::DRCheck(DataRep* dataRep, char* envFileName, char* lvmIsUsed,
                 char* vxvmIsUsed, char* cvmIsUsed, char* lvmVG, char* vxvmVG,
                 char* cvmVG)
    : dataRep(dataRep),
      env(nullptr),
      log(Logger::getInstance()),
      envFileName(envFileName),
      lvmVG(lvmVG),
      vxvmVG(vxvmVG),
      cvmVG(cvmVG),
      lvmUsed(lvmIsUsed != nullptr ? std::atoi(lvmIsUsed) : 0),
      vxvmUsed(vxvmIsUsed != nullptr ? std::atoi(vxvmIsUsed) : 0),
      cvmUsed(cvmIsUsed != nullptr ? std::atoi(cvmIsUsed) : 0) {
  log->logDebug("Inside the DRCheck constructor");
  log->logDebug("Arguments passed into the DRCheck object:");
  log->logDebug(format(
      "Environment file name: %s\n\t\t\t\t  lvmUsed: %d\n\t\t\t\t  vxvmUsed: "
      "%d\n\t\t\t\t  cvmUsed: %d\n\t\t\t\t  lvmVG: %s\n\t\t\t\t  vxvmVG: "
      "%s\n\t\t\t\t  cvmVG: %s",
      orNull(envFileName), lvmUsed, vxvmUsed, cvmUsed, orNull(lvmVG),
      orNull(vxvmVG), orNull(cvmVG)));
  log->logDebug("Exiting DRCheck constructor");
}

DRCheck::~DRCheck() { log->logDebug("Inside the DRCheck destructor"); }

bool DRCheck::initialize() {
  log->logDebug("Inside the DRCheck.initialize method");
  bool ok = true;
  if (envFileName == nullptr) {
    log->logDebug(
        "Error - DRCheckDiskStatus did not pass in a valid environment file "
        "name; Environment file is a NULL string");
    ok = false;
  }
  if (lvmUsed < 0 || lvmUsed > 2) {
    log->logDebug(
        "Error - DRCheckDiskSTatus did not pass in a correct value for "
        "lvmisused");
    ok = false;
  } else if (lvmUsed != 0 && namesOf(lvmVG).empty()) {
    log->log("Error - Expecting a list of LVM Volume Groups");
    ok = false;
  }
  if (vxvmUsed < 0 || vxvmUsed > 1) {
    log->logDebug(
        "Error - DRCheckDiskStatus did not pass in a correct value for "
        "vxvmisused");
    ok = false;
  } else if (vxvmUsed == 1 && namesOf(vxvmVG).empty()) {
    log->log("Error - Expecting a list of VxVM Disk Groups");
    ok = false;
  }
  if (cvmUsed < 0 || cvmUsed > 1) {
    log->logDebug(
        "Error - DRCheckDiskStatus did not pass in a correct value for "
        "cvmisused");
    ok = false;
  } else if (cvmUsed == 1 && namesOf(cvmVG).empty()) {
    log->log("Error - Expecting a list of CVM Disk Groups");
    ok = false;
  }
  if (!checkGroupNames()) ok = false;
  if (dataRep == nullptr) {
    log->logDebug("Error - Unable to create DataRep object");
    ok = false;
  }
  if (!ok) return false;
  if (!dataRep->initialize(envFileName)) {
    log->logDebug(
        "Error - Failed initialization of the data replication module");
    return false;
  }
  return true;
}

bool DRCheck::checkGroupNames() {
  // The names go into shell command lines unquoted: refuse them before the
  // storage is touched rather than after a failover.
  bool ok = true;
  char command[MAX_STRING_LEN];
  auto badName = [&](const std::string& name, const char* kind) {
    if (isToolName(name)) return false;
    log->log(format("Error - The %s name \"%s\" is not valid. A name "
                    "holds only\n\t\t\t\tletters, digits and the characters "
                    "_ . - + / and does not begin with -.",
                    kind, name.c_str()));
    ok = false;
    return true;
  };
  if (lvmUsed == 1 || lvmUsed == 2) {
    for (const std::string& vg : namesOf(lvmVG)) {
      if (badName(vg, "LVM volume group")) continue;
      if (!buildCommand(command, LVM_COMMAND, EXECUTING, clearCommand(lvmUsed),
                        vg.c_str()))
        ok = false;
    }
  }
  if (vxvmUsed == 1) {
    for (const std::string& dg : namesOf(vxvmVG)) {
      if (badName(dg, "VxVM disk group")) continue;
      if (!buildCommand(command, VXVM_IMPORT, EXECUTING, dg.c_str())) ok = false;
    }
  }
  if (cvmUsed == 1) {
    const std::string longestMaster(MAX_HOST_NAME, 'm');
    for (const std::string& dg : namesOf(cvmVG)) {
      if (badName(dg, "CVM disk group")) continue;
      if (!buildCommand(command, CVM_LIST, EXECUTING, dg.c_str()) ||
          !buildCommand(command, CVM_IMPORT, EXECUTING, longestMaster.c_str(),
                        dg.c_str()))
        ok = false;
    }
  }
  return ok;
}

int DRCheck::run() {
  log->logDebug(LOG_FILE, "Inside the DRCheck.run method");
  int result = NO_START;
  if (!initialize()) {
    log->log(LOG_FILE, "Error - Data Replication Enabler Initialization\t\tfailed");
  } else if ((env = dataRep->getEnvironment()) == nullptr) {
    log->logDebug(LOG_FILE, "Error - Unable to get the Environment object");
    log->log(LOG_FILE | SYS_FILE,
             "Error - Unable to read from the\t\t\tenvironment file");
  } else {
    result = dataRep->prepStorage();
    if (result != SUCCESS && result != NO_START && result != NO_START_CUR) {
      log->logDebug(LOG_FILE,
                    format("prepStorage method from DRCM return invalid "
                           "return\t\t\t\t\tvalue: %d",
                           result));
      log->log(LOG_FILE,
               "Error - Unexpected value returned by data\t\t\t\t\treplication "
               "control module\n\tDisallowing package to startup on "
               "any\t\t\t\t\tnode in the cluster");
      result = NO_START;
    }
    if (result == SUCCESS && !preview) {
      const char* clusterType = env->getClusterType();
      if (clusterType != nullptr && strcasecmp(clusterType, "farspan") == 0) {
        result = ccSupport();
        if (env->getSwitch())
          decision::note(record::PREPARATION, result == SUCCESS ? "done" : "failed");
        if (result == SUCCESS && env->getSwitch()) {
          log->logDebug(LOG_FILE,
                        "Info - Storage has been switched from\t\t\t\t\t\t\t"
                        "read-only to read-write. Set the return value to 3");
          result = SWITCH_TRUE;
        }
      } else if (env->getSwitch()) {
        log->logDebug(LOG_FILE,
                      "Info - Storage has been switched from               "
                      "                    read-only to read-write. Set the "
                      "return value to 3");
        result = SWITCH_TRUE;
      }
    }
  }

  if (result == NO_START || result == NO_START_CUR) {
    const char* package = std::getenv("PACKAGE");
    if (package == nullptr) package = "(name not known)";
    if (env != nullptr) {
      const char* dir = env->getPackageDir();
      log->log(SYS_FILE,
               format("Unable to start up package %s. See the package's\t\t\t\t"
                      "log file located in the \"%s\" directory for more "
                      "information.",
                      package, dir != nullptr ? dir : ""));
    } else {
      log->log(SYS_FILE,
               format("Unable to start up package %s. See the package log "
                      "file \t\t\t\tfor more information.",
                      package));
    }
  }
  return result;
}

int DRCheck::ccSupport() {
  log->setOutput(LOG_FILE);
  log->logDebug("Inside the DRCheck.ccSupport method");
  if (!env->getSwitch()) return 0;
  char command[MAX_STRING_LEN];

  if ((lvmUsed == 1 || lvmUsed == 2) && lvmVG != nullptr) {
    const std::string allGroups = lvmVG;  // the list is split below
    log->log(LOG_FILE, "Changing the cluster IDs for the LVM volume groups");
    const char* clear = clearCommand(lvmUsed);
    const char* write = writeCommand(lvmUsed);
    char* save = nullptr;
    for (char* vg = strtok_r(lvmVG, SEPARATORS, &save); vg != nullptr;
         vg = strtok_r(nullptr, SEPARATORS, &save)) {
      const char* failed = nullptr;
      if (!buildCommand(command, LVM_COMMAND, EXECUTING, clear, vg)) return 1;
      if (execCommand(command) != 0) {
        failed = "clear";
      } else {
        if (!buildCommand(command, LVM_COMMAND, EXECUTING, write, vg)) return 1;
        if (execCommand(command) != 0) failed = "write";
      }
      if (failed != nullptr) {
        log->log(format(
            "Error - Unable to %s the cluster ID for volume "
            "group\n\t\t\t\t%s. Before doing any start operations on the "
            "package,\n\t\t\t\tyou must manually clear the cluster ID and "
            "write a\n\t\t\t\tnew cluster ID to the following LVM volume "
            "groups:\n\t\t\t\t%s.\n\t\t\t\tFirst clear the cluster ID, "
            "perform the following\n\t\t\t\tcommand \"%s\" on each volume "
            "group. Next\n\t\t\t\twrite the cluster ID, perform the following "
            "command\n\t\t\t\t\"%s\" on each volume group. "
            "Otherwise,\n\t\t\t\tvolume group activation will fail. Exiting.",
            failed, vg, allGroups.c_str(), clear, write));
        return 1;
      }
    }
  }

  if (vxvmUsed == 1 && vxvmVG != nullptr) {
    log->log(LOG_FILE,
             "Performing a force import to clear the hostid on the VxVM disk "
             "groups");
    char* save = nullptr;
    for (char* dg = strtok_r(vxvmVG, SEPARATORS, &save); dg != nullptr;
         dg = strtok_r(nullptr, SEPARATORS, &save)) {
      if (!buildCommand(command, VXVM_IMPORT, EXECUTING, dg)) return 1;
      if (execCommand(command) != 0) {
        log->log(format("Failed to force import VxVM disk group: %s. Exiting.",
                        dg));
        return 1;
      }
    }
  }

  if (cvmUsed == 1) return importCVMDiskGroups();
  return 0;
}

int DRCheck::importCVMDiskGroups() {
  log->logDebug("Inside importCVMDiskGroups function");
  log->log(LOG_FILE,
           "Performing a force import to clear the clusterid on the CVM disk "
           "groups");
  char command[MAX_STRING_LEN];
  if (!buildCommand(command, CVM_MASTER, EXECUTING)) return 1;
  std::string master;
  bool hadLine = false;
  if (execCommand(command, &master, &hadLine) != 0 || !hadLine) {
    log->log("Error: Failed to find CVM master node.");
    return 1;
  }
  if (master.size() > MAX_HOST_NAME) master.resize(MAX_HOST_NAME);
  if (!isToolName(master)) {
    // The name goes into the import command line.
    log->log("Error - The CVM master node name \"" + master +
             "\" is not a valid host name.");
    return 1;
  }

  char* save = nullptr;
  for (char* dg = cvmVG != nullptr ? strtok_r(cvmVG, SEPARATORS, &save)
                                   : nullptr;
       dg != nullptr; dg = strtok_r(nullptr, SEPARATORS, &save)) {
    if (!buildCommand(command, CVM_LIST, EXECUTING, dg)) return 1;
    std::string status;
    if (execCommand(command, &status) != 0) {
      log->log("Failed to check import status of a CVM disk group");
      return 1;
    }
    if (status.compare(0, 8, "Imported") == 0) {
      log->log(format("CVM disk group %s is already imported. Skipping import.",
                      dg));
      continue;
    }
    if (!buildCommand(command, CVM_IMPORT, EXECUTING, master.c_str(), dg))
      return 1;
    if (execCommand(command) != 0) {
      log->log(
          format("Failed to force import CVM disk group: %s. Exiting.", dg));
      return 1;
    }
  }
  return 0;
}

bool DRCheck::buildCommand(char* buffer, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, MAX_STRING_LEN, format, args);
  va_end(args);
  if (length >= 0 && length < MAX_STRING_LEN) return true;
  // Never run a command cut short: it could do something else entirely.
  std::string start(buffer, std::strlen(buffer) < 80 ? std::strlen(buffer) : 80);
  log->log("Error - The command \"" + start + "...\" is longer than " +
           std::to_string(MAX_STRING_LEN - 1) +
           " characters. It is not run.");
  buffer[0] = '\0';
  return false;
}

int DRCheck::execCommand(char* command, std::string* firstLine, bool* hadLine) {
  log->log(command);
  const char* text = command + std::strlen(EXECUTING);
  sys::CommandResult result =
      sys::platform().shell->run(text, 1, MAX_STRING_LEN - 1);
  if (hadLine != nullptr) *hadLine = !result.lines.empty();
  if (!result.lines.empty()) {
    std::string line = result.lines[0];
    if (!line.empty() && line.back() == '\n') line.pop_back();
    log->logDebug(line);
    if (firstLine != nullptr) *firstLine = line;
  }
  if (!result.started) return -1;
  return convertReturn(result.status);
}
