#include "zarn/tools/zarn_validation.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <random>
#include <utility>

#include "cim/client.h"
#include "cim/exception.h"
#include "cim/object_path.h"
#include "drif/file_descriptor.h"
#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_lookup.h"
#include "zarn/smis/smis_server.h"

namespace {

const int CLIENT_DEFAULT_TIMEOUT = 20;  // seconds, the CIM client's own

// Twelve random hexadecimal digits.
std::string randomSuffix() {
  std::random_device random;
  std::uniform_int_distribution<int> digit(0, 15);
  std::string out;
  for (int i = 0; i < 12; ++i) out.push_back("0123456789abcdef"[digit(random)]);
  return out;
}

}  // namespace

int ZARNValidation::run(int argc, char* argv[]) {
  if (tooFewWords(argc, USAGE)) return -1;
  envFileName = argv[1];
  isKxcheckconf = std::strcmp(argv[2], "kxcheckconf") == 0;
  log->logDebug("Inside the ZARNValidation::validateZARNAttribs method");
  int result = validateENVFile() ? 0 : -1;
  if (!validateZARNMAPFile()) return -1;
  // The reasons were logged while the environment was validated.
  if (zarnEnv.isSMISConnectAttribProper() == -1) return -1;
  // The output file must only ever come from a readable environment: the
  // servers of an environment that could not be read are not asked.
  if (!readENV) return -1;

  isSMISConnect();
  if (smisNamesList.empty()) {
    log->log("Error - Unable to access QN Stormview ZARN server from the host.");
    std::string list = zarnEnv.getLocation() == YRZARNEnvironment::DC1
                           ? "DC1_SMIS_LIST"
                           : "DC2_SMIS_LIST";
    std::string where =
        envFileName.find("internal") != std::string::npos
            ? " attributes \n\t\t\t\tin package configuration file."
            : " attributes \n\t\t\t\tin environment file " + envFileName;
    log->log("Error - Cannot find a local usable SMI-S." +
             std::string("\n\t\t\t\tCheck the value of SMIS-S server(s) "
                         "configured in ") +
             list + where);
    return -1;
  }
  // The caller goes on with the list in the output file: a list that was
  // not written fails the check.
  if (!writeToFile()) return -1;
  return result;
}

bool ZARNValidation::validateENVFile() {
  log->logDebug("Inside the ZARNValidation::validateENVFile method");
  std::vector<char> name(envFileName.begin(), envFileName.end());
  name.push_back('\0');

  if (envObj.initialize() != 0) {
    log->log("Error - (Internal) Failed to initialize environment variable "
             "table.");
    return false;
  }
  bool fault = false;
  // A fault of the core variables must not hide those of the array
  // variables: the array table is read and checked all the same, so that
  // one run reports everything. The SMI-S checks run only when both tables
  // could be read.
  if (!envObj.read(name.data())) {
    log->log("Error - Error found in the environment file " + envFileName);
    fault = true;
  }
  if (zarnEnv.initialize() != 0) {
    log->log("Error - (Internal) Failed to initialize YRZARN environment "
             "variable table.");
    return false;
  }
  // A file that lacks an array variable leaves the array table unchecked:
  // there is then no list of local servers to try.
  bool arrayRead = zarnEnv.read(name.data());
  if (!arrayRead) {
    log->log("Error - Error found in environment file " + envFileName);
    fault = true;
  }
  readENV = !fault;
  bool invalid = envObj.validate() != 0;
  queryTimeout = zarnEnv.getQueryTimeout();
  if (arrayRead && zarnEnv.validate() != 0) invalid = true;
  if (invalid) {
    log->log("Error - One or more environment variables have not been set"
             "\n\t\t\t\t properly.");
    fault = true;
  }
  if (fault) return false;
  loadedENV = true;
  return true;
}

bool ZARNValidation::validateZARNMAPFile() {
  log->logDebug("Inside the ZARNValidation::validateZARNMAPFile method");
  bool ok = true;
  if (!loadedSMISInfo && !loadSMISInformation()) ok = false;
  if (idMap.readFile() != 0) {
    log->log("Error - " + idMap.getErrorMessage());
    ok = false;
  }
  return ok;
}

bool ZARNValidation::loadSMISInformation() {
  log->logDebug("Inside the ZARNValidation::loadSMISInformation method");
  if (smisMgr.readFile(true) != 0) {
    log->log("Error - " + smisMgr.getErrorMessage());
    return false;
  }
  loadedSMISInfo = true;
  return true;
}

std::string ZARNValidation::responseTimeoutText() {
  std::string text = "\n\t\t\t\tThe response timeout for the SMI-S server is ";
  if (isKxcheckconf)
    return text + std::to_string(zarnEnv.getQueryTimeout()) + " Sec. \n";
  return text + std::to_string(CLIENT_DEFAULT_TIMEOUT) + " Sec.\n";
}

bool ZARNValidation::isSMISConnect() {
  log->logDebug("Inside the ZARNValidation::isSMISConnect method");
  if (!isKxcheckconf) {
    log->log("For 'kxapplyconf' command,\n\t\t\t\t" +
             std::string("Use CIMClient default value of 20 Sec as the Query "
                         "Timeout value for the SMI-S server."));
  } else if (queryTimeout < 1) {
    log->log("For 'kxcheckconf' command,\n\t\t\t\t" +
             std::string("Use the default value of ") +
             std::to_string(schema::DEFAULT_QUERY_TIMEOUT) +
             " Sec as the Query Timeout value for the SMI-S server.");
  }

  const std::string localName = zarnEnv.getLocalStorageName();
  const std::string remoteName = zarnEnv.getRemoteStorageName();
  for (std::string host = zarnEnv.getNextLocalSMIS(); !host.empty();
       host = zarnEnv.getNextLocalSMIS()) {
    SMISData data;
    if (smisMgr.getSMIS(host, data) != 0) {
      log->log("Warning - Failed to get SMI-S information for " + host +
               ".\n\t\t\t\t" + smisMgr.getErrorMessage() +
               "\n\t\t\t\tSMI-S data may not be configured properly. Use "
               "\n\t\t\t\t" +
               "the \"smiscred\" tool to verify the data list.");
      continue;
    }
    std::unique_ptr<SMISServer> server = findSMISServer(data);
    if (!server) continue;
    const std::string& serverName = server->getHostname();
    try {
      std::vector<cim::ObjectPath> systems = enumerateStorageSystems(*server);
      if (systems.empty()) {
        log->log("Warning - No ZARN Storage System found in the SMI-S " +
                 serverName + ".\n\t\t\t\t" +
                 "Check the SMI-S and fix the problem." + "\n\t\t\t\t");
        continue;
      }
      // One storage system cannot be both arrays.
      if (localName != remoteName && findStorageSystem(systems, localName) != nullptr &&
          findStorageSystem(systems, remoteName) != nullptr) {
        bool warned = std::find(smisNamesList.begin(), smisNamesList.end(), serverName) !=
                      smisNamesList.end();
        smisNamesList.push_back(serverName);
        std::string warning = warned ? "" : connectionWarning(data);
        if (!warning.empty()) log->log(warning);
      } else {
        log->log("Warning - The Local and Remote Storages are not managed by "
                 "the SMI-S " +
                 serverName + ".\n\t\t\t\t" +
                 "Check the SMI-S and fix the problem." + ".\n\t\t\t\t");
      }
    } catch (const cim::Exception& e) {
      log->log("Warning - Failed to enumerate Storages from the SMI-S " +
               serverName + ";\n\t\t\t\t" + e.getMessage() +
               responseTimeoutText());
    }
  }
  return true;
}

std::unique_ptr<SMISServer> ZARNValidation::findSMISServer(const SMISData& data) {
  log->logDebug("Inside the ZARNValidation::findSMISServer method");
  auto server = std::make_unique<SMISServer>();
  try {
    std::function<int()> timeout;
    if (isKxcheckconf) timeout = [this] { return zarnEnv.getQueryTimeout(); };
    connectListedServer(*server, data, timeout, false);
  } catch (const cim::Exception& e) {
    log->log("Warning - Failed to connect to SMI-S " + data.hostname +
             ". \n\t\t\t\t" + e.getMessage() + "." + responseTimeoutText());
    return nullptr;
  }
  return server;
}

bool ZARNValidation::writeToFile() {
  log->logDebug("Inside the ZARNValidation::writeToFile method");
  const std::string path = envFileName + SMIS_LIST_SUFFIX;
  sys::Console& out = *io.out;
  const std::string cannotLock =
      "Error:Cannot lock the file " + path + "\n" + "\n";
  // Whatever keeps the list from being written (a folder at its name, a
  // read-only or full file system) is said, with the system's reason.
  auto cannotWrite = [&out, &path](int failure) {
    out.write("Error - Cannot write the file " + path + ": " + std::strerror(failure) +
              "\n" + "\n");
    return false;
  };

  // Two runs for the same package take turns through a lock file that is
  // only ever locked, never written: a link or FIFO planted in its place is
  // refused, and a lock someone holds for ever is waited on for a while
  // only.
  const std::string lockPath = path + ".lock";
  sys::FileDescriptor lock(::open(lockPath.c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                         0600));
  struct stat st;
  if (lock.get() < 0 && errno != ELOOP && errno != EISDIR) return cannotWrite(errno);
  if (lock.get() < 0 || ::fstat(lock.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    out.write(cannotLock);
    return false;
  }
  sys::Clock& clock = *sys::platform().clock;
  const std::time_t deadline = clock.now() + LOCK_WAIT_SECONDS;
  while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || clock.now() >= deadline) {
      out.write(cannotLock);
      return false;
    }
    clock.sleep(1);
  }

  // The new list goes to a file of this run's own, made beside the output
  // file under a name nobody can guess or plant, and then takes the output
  // file's place: whatever stood there is replaced, never followed, opened
  // or changed.
  std::string temp;
  sys::FileDescriptor file;
  for (int tries = 0; file.get() < 0 && tries < 16; ++tries) {
    temp = path + ".tmp." + randomSuffix();
    file = sys::FileDescriptor(::open(temp.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             0644));
    if (file.get() < 0 && errno != EEXIST) break;
  }
  if (file.get() < 0) return cannotWrite(errno);
  std::string text;
  for (const std::string& name : smisNamesList) text += name + "\n";
  bool permitted = ::fchmod(file.get(), 0644) == 0;
  bool written = permitted && sys::writeAll(file.get(), text) &&
                 ::fsync(file.get()) == 0;
  int failure = errno;
  if (!file.close() && written) {
    written = false;
    failure = errno;
  }
  if (!permitted) {
    ::unlink(temp.c_str());
    out.write("Error - Failed to change file permission for the file " + path +
              "\n" + "\n");
    return false;
  }
  if (written && ::rename(temp.c_str(), path.c_str()) != 0) {
    written = false;
    failure = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    return cannotWrite(failure);
  }
  return true;
}
