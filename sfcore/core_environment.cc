#include "sfcore/core_environment.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "drif/command_text.h"
#include "drif/decision_record.h"
#include "drif/logger.h"
#include "drif/platform.h"

namespace {

const char* const NAME_DELIMITERS = "= \t\"";
const char* const KXGETPKGENV = "/opt/kxcluster/bin/kxgetpkgenv ";
const char* const EXPAND_PKGDIR = ". /etc/kxcluster.conf; /bin/echo ";
const size_t MAX_ATTRIBUTE_LINE = 1023;
const size_t ALL_LINES = static_cast<size_t>(-1);

void assignClusterType(Environment* object, void* value) {
  CoreEnvironment* env = dynamic_cast<CoreEnvironment*>(object);
  if (env != nullptr) env->setClusterType(static_cast<char*>(value));
}

void assignPackageDir(Environment* object, void* value) {
  CoreEnvironment* env = dynamic_cast<CoreEnvironment*>(object);
  if (env != nullptr) env->setPackageDir(static_cast<char*>(value));
}

void assignStartupPolicy(Environment* object, void* value) {
  CoreEnvironment* env = dynamic_cast<CoreEnvironment*>(object);
  if (env != nullptr) env->setStartupPolicy(static_cast<char*>(value));
}

void assignWaitTime(Environment* object, void* value) {
  CoreEnvironment* env = dynamic_cast<CoreEnvironment*>(object);
  if (env != nullptr) env->setWaitTime(*static_cast<int*>(value));
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string withoutLineFeed(const std::string& line) {
  if (!line.empty() && line.back() == '\n') return line.substr(0, line.size() - 1);
  return line;
}

// Letters, digits, "_ . - + /" and the "$ { }" of variable references: the
// only characters a package directory attribute may hand to the shell.
bool isPackageDirText(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    const bool alnum = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                       (*c >= '0' && *c <= '9');
    if (!alnum && std::strchr("_.-+/${}", *c) == nullptr) return false;
  }
  return true;
}

std::vector<char> buffer(const std::string& text) {
  std::vector<char> b(text.begin(), text.end());
  b.push_back('\0');
  return b;
}

}  // namespace

CoreEnvironment::CoreEnvironment() : waitTime(-1), tokenPos(nullptr) {
  log->logDebug("Inside the CoreEnvironment constructor");
}

CoreEnvironment::~CoreEnvironment() {
  log->logDebug("Inside the CoreEnvironment destructor");
  envMap.clear();
}

void CoreEnvironment::addEnvItem(const char* name, EnvType type,
                                 EnforceType enforced, EnvAssign assign) {
  envMap.erase(name);
  envMap.emplace(name, EnvItem{type, enforced, 0, name, assign});
}

int CoreEnvironment::initialize() {
  log->logDebug("Inside the CoreEnvironment::initialize method");
  addEnvItem("CLUSTER_TYPE", EV_STRING, ENFORCE, assignClusterType);
  addEnvItem("PKGDIR", EV_STRING, ENFORCE, assignPackageDir);
  addEnvItem("DT_APPLICATION_STARTUP_POLICY", EV_STRING, ENFORCE,
             assignStartupPolicy);
  addEnvItem("WAIT_TIME", EV_INTEGER, ENFORCE, assignWaitTime);
  return 0;
}

bool CoreEnvironment::read(char* name) {
  log->logDebug("Inside the CoreEnvironment::read method");
  std::string source = name != nullptr ? name : "";
  if (source.find('/') == std::string::npos) return readPackage(source.c_str());

  std::string text;
  const char* why = "";
  switch (sys::platform().files->readRegular(source, MAX_ENVIRONMENT_FILE,
                                             &text)) {
    case sys::ReadFailure::NONE:
      return readText(text);
    case sys::ReadFailure::CANNOT_OPEN:
      log->log("Error - Unable to open the package environment file " + source +
               ". \n\t\t\t\t" +
               "File either does not exist or does not have read permission.");
      return false;
    case sys::ReadFailure::NOT_REGULAR:
      why = "It is not a regular file.";
      break;
    case sys::ReadFailure::TOO_LARGE:
      why = "It is larger than 1 MiB (1048576 bytes).";
      break;
    case sys::ReadFailure::READ_ERROR:
      why = "An error occurred while reading it.";
      break;
  }
  log->log("Error - Unable to read the package environment file " + source +
           ". \n\t\t\t\t" + why);
  return false;
}

bool CoreEnvironment::readText(const std::string& text) {
  bool result = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    // The line without its line feed, so that "NAME=" has no value.
    std::string line = text.substr(start, end - start);
    bool overlong = line.size() > static_cast<size_t>(MAX_BUFFER - 1);
    if (overlong) line.resize(MAX_BUFFER - 1);
    std::vector<char> b = buffer(line);
    if (!readLine(b.data(), overlong)) result = false;
    start = end + 1;
  }

  for (const auto& entry : envMap) {
    const EnvItem& item = entry.second;
    if (item.enforced == ENFORCE && item.counter == 0) {
      log->log(std::string("Error - Missing environment variable \"") +
               item.envName + "\" in the environment file");
      result = false;
    }
    if (item.counter > 1) {
      log->log(std::string("Error - The variable \"") + item.envName +
               "\" is defined more than once \n\t\t\t\t" +
               "in the environment file.");
      result = false;
    }
  }
  return result;
}

bool CoreEnvironment::readLine(char* line, bool overlong) {
  char* p = line;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '\0' || *p == '#') return true;
  char* name = extractValue(p, NAME_DELIMITERS);
  if (name == nullptr) return true;
  if (std::strncmp(name, "export", std::strlen(name)) == 0) {
    name = extractValue(nullptr, NAME_DELIMITERS);
    if (name == nullptr) return true;
  }
  auto it = envMap.find(name);
  if (it == envMap.end()) return true;
  EnvItem& item = it->second;
  ++item.counter;
  if (overlong) {
    // Only the start of the line was seen; its value can't be trusted.
    log->log(std::string("Error - The line that sets the variable \"") +
             item.envName + "\" is longer than " +
             std::to_string(MAX_BUFFER - 1) + " characters \n\t\t\t\t" +
             "in the environment file.");
    return false;
  }
  char* value = extractValue(nullptr, "=");
  if (value == nullptr) return true;
  cleanValue(value);
  assign(item, value);
  return true;
}

void CoreEnvironment::cleanValue(char*& value) {
  for (char* c = value; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\n') *c = ' ';
  }
  size_t length = std::strlen(value);
  if (length <= 1) return;
  while (length > 0 && (value[length - 1] == ' ' || value[length - 1] == '\t'))
    value[--length] = '\0';
  while (*value == ' ' || *value == '\t') ++value;
}

void CoreEnvironment::assign(EnvItem& item, char* value) {
  if (item.funcPtr == nullptr) return;
  if (item.type == EV_INTEGER) {
    int number = getInt(value);
    item.funcPtr(this, &number);
  } else {
    item.funcPtr(this, getString(value));
  }
}

bool CoreEnvironment::readPackage(const char* name) {
  sys::Platform& os = sys::platform();
  std::string package = name;
  if (!isToolName(package)) {
    log->log("Error - The package name \"" + package +
             "\" is not valid. A package name holds only\n\t\t\t\t" +
             "letters, digits and the characters _ . - +");
    return false;
  }
  std::string command = KXGETPKGENV + package;
  if (command.size() > MAX_COMMAND_LENGTH) {
    log->log("Error - The package name " + package.substr(0, 64) +
             "... is too long.");
    return false;
  }
  // One character more than a line may hold is asked for, so that a line
  // the reader would have to cut is seen and refused.
  sys::CommandResult attributes =
      os.shell->run(command, ALL_LINES, MAX_ATTRIBUTE_LINE + 1);
  if (!attributes.started) {
    log->log("Error - Unable to retrieve the configured attributes of the "
             "package  \n\t\t\t\t " +
             package + " from CDB \n");
    return false;
  }

  bool result = true;
  for (const std::string& text : attributes.lines) {
    if (!startsWith(text, "YRZARN_") && !startsWith(text, "DTS_")) continue;
    const bool overlong = withoutLineFeed(text).size() > MAX_ATTRIBUTE_LINE;
    std::vector<char> line = buffer(withoutLineFeed(text));
    char* attribute = extractValue(line.data(), NAME_DELIMITERS);
    if (attribute == nullptr) continue;
    char* variable = extractString(attribute);
    auto it = envMap.find(variable);
    if (it == envMap.end()) continue;
    EnvItem& item = it->second;
    ++item.counter;
    if (overlong) {
      // Only the start of the line was seen; its value can't be trusted.
      log->log(std::string("Error - The line that sets the variable \"") +
               item.envName + "\" is longer than " +
               std::to_string(MAX_ATTRIBUTE_LINE) + " characters \n\t\t\t\t" +
               "in the attributes of package " + package + ".");
      result = false;
      continue;
    }
    char* value = extractValue(nullptr, "=");
    if (value == nullptr) continue;
    cleanValue(value);

    std::vector<char> expanded;
    if (std::strcmp(item.envName, "PKGDIR") == 0) {
      // The value is expanded by a shell: only a path with variable
      // references gets there, never other shell syntax.
      if (!isPackageDirText(value)) {
        log->log("Error - The package directory of package " + package +
                 " may hold only letters, digits,\n\t\t\t\tthe characters "
                 "_ . - + / and the $, { and } of a variable reference.");
        return false;
      }
      std::string expand = EXPAND_PKGDIR + std::string(value);
      if (expand.size() > MAX_COMMAND_LENGTH) {
        log->log("Error - The package directory of package " + package +
                 " is too long.");
        return false;
      }
      sys::CommandResult echo =
          os.shell->run(expand, 1, MAX_ATTRIBUTE_LINE + 1);
      if (!echo.started) {
        os.console->write("Unable to get package directory \n");
        return false;
      }
      if (echo.lines.empty()) {
        log->log(LOG_FILE, "Error - Invalid Package name: " + package);
        return false;
      }
      if (withoutLineFeed(echo.lines[0]).size() > MAX_ATTRIBUTE_LINE) {
        log->log("Error - The package directory of package " + package +
                 " is longer than " + std::to_string(MAX_ATTRIBUTE_LINE) +
                 " characters \n\t\t\t\tonce expanded.");
        return false;
      }
      expanded = buffer(withoutLineFeed(echo.lines[0]));
      value = expanded.data();
      cleanValue(value);
    }
    assign(item, value);
  }

  for (const auto& entry : envMap) {
    const EnvItem& item = entry.second;
    if (item.enforced == ENFORCE && item.counter == 0) {
      log->log(std::string("Error - Missing package attribute \"") +
               item.envName + "\" in CDB");
      result = false;
    }
  }
  return result;
}

int CoreEnvironment::validate() {
  log->logDebug("Inside the CoreEnvironment::validate method");
  // As configured, valid or not: the decision record shows what was given.
  decision::note(record::POLICY, startupPolicy);
  decision::note(record::WAIT_TIME, waitTime);
  int result = 0;
  if (clusterType == nullptr || (strcasecmp(clusterType, "nearspan") != 0 &&
                                 strcasecmp(clusterType, "farspan") != 0)) {
    log->log(
        "Error - The CLUSTER_TYPE variable has not been set properly.\n\t\t\t\t"
        "The value needs to be set to either \"nearspan\" or \"farspan\"");
    result = 1;
  }
  if (packageDir == nullptr || packageDir[0] == '\0') {
    log->log("Error - The PKGDIR variable has not been set properly.");
    result = 1;
  } else if (!sys::platform().files->exists(packageDir)) {
    log->log(std::string("Error - The defined PKGDIR ") + packageDir +
             " does not exist");
    result = 1;
  }
  if (startupPolicy != "AVAILABILITY_PREFERRED" &&
      startupPolicy != "DATA_CURRENCY_PREFERRED" &&
      startupPolicy != "REMOTE_PROTECTION_PREFERRED") {
    log->log(
        "Error - The DT_APPLICATION_STARTUP_POLICY has not been set "
        "properly.\n\t\t\t\t"
        "The value needs to be set to \"Availability_Preferred\" or \n\t\t\t\t"
        "\"Data_Currency_Preferred\".");
    result = 1;
  }
  // A wait time whose seconds do not fit an int is as unusable as a
  // negative one.
  if (waitTime < 0 || waitTime > INT_MAX / 60) {
    log->log(
        "Error - The WAIT_TIME variable has not been set properly.\n\t\t\t\t "
        "The value needs to be set equal or great than 0.");
    result = 1;
  } else {
    waitTime *= 60;
  }
  return result;
}

std::string& CoreEnvironment::getStartupPolicy() {
  log->logDebug("Inside the CoreEnvironment::getStartupPolicy method");
  return startupPolicy;
}

int CoreEnvironment::getWaitTime() {
  log->logDebug("Inside the CoreEnvironment::getWaitTime method");
  return waitTime;
}

void CoreEnvironment::setStartupPolicy(char* value) {
  log->logDebug("Inside the CoreEnvironment::setStartupPolicy method");
  if (value == nullptr) return;
  startupPolicy = convertToUpper(value);
}

void CoreEnvironment::setWaitTime(int value) {
  log->logDebug("Inside the CoreEnvironment::setWaitTime method");
  if (value >= 0) waitTime = value;
}

int CoreEnvironment::getInt(char* text) {
  // As sscanf "%d": leading white space, a sign, digits; the rest ignored.
  // Out-of-range numbers are clamped rather than left undefined.
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(text, &end, 10);
  if (end == text) {
    log->log(
        "Error - (Internal) Failed to convert a string to an integer "
        "value.\n\t\t\t\t The string contains a wrong data");
    return -1;
  }
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

char* CoreEnvironment::extractValue(char* text, const char* delimiters) {
  return strtok_r(text, delimiters, &tokenPos);
}

char* CoreEnvironment::extractString(char* name) {
  static char packageDir[] = "PKGDIR";
  if (std::strcmp(name, "YRZARN_DTS_PKG_DIR") == 0) return packageDir;
  if (std::strncmp(name, "YRZARN_", 7) == 0) return name + 7;
  return name;
}

char* CoreEnvironment::convertToUpper(char* text) {
  for (char* c = text; *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return text;
}
