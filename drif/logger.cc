#include "drif/logger.h"

#include <syslog.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "drif/decision_record.h"
#include "drif/platform.h"

const char* const UNKNOWN_HOST = "Unknown";
const char* const DEBUG_SYS = "DEBUG - ";

namespace {
const int HOST_NAME_SIZE = 64;
std::string progName;
}  // namespace

Logger* Logger::instance = nullptr;
int Logger::useCount = 0;

int indexProgName(const char* name) {
  const char* slash = std::strrchr(name, '/');
  return slash == nullptr ? 0 : static_cast<int>(slash - name) + 1;
}

Logger* Logger::createInstance() {
  ++useCount;
  if (instance == nullptr) instance = new Logger();
  return instance;
}

Logger* Logger::getInstance() { return instance; }

bool Logger::removeInstance(Logger** handle) {
  bool hadUsers = useCount > 0;
  if (useCount > 0) --useCount;
  if (handle != nullptr) *handle = nullptr;
  if (useCount > 0) return true;
  if (instance != nullptr) {
    delete instance;
    instance = nullptr;
    return true;
  }
  return hadUsers;
}

Logger::Logger()
    : outputType(LOG_FILE),
      debugMode(std::getenv("DATAREP_DEBUG") != nullptr),
      timeString(new char[MAX_TIME_STRING]),
      hostName(new char[HOST_NAME_SIZE]) {
  std::memset(timeString, 0, MAX_TIME_STRING);
  std::memset(hostName, 0, HOST_NAME_SIZE);
  std::string name;
  if (sys::platform().host->hostName(&name)) {
    std::strncpy(hostName, name.c_str(), HOST_NAME_SIZE - 1);
  } else {
    std::strncpy(hostName, UNKNOWN_HOST, HOST_NAME_SIZE - 1);
  }
  const char* underscore = std::getenv("_");
  if (underscore != nullptr) {
    progName = underscore + indexProgName(underscore);
    sys::platform().syslog->open(progName);
  }
}

Logger::~Logger() {
  sys::platform().syslog->close();
  delete[] timeString;
  delete[] hostName;
}

void Logger::log(const char* msg) {
  if (outputType & LOG_FILE) {
    logFileOut(false, msg);
    // The package log's last word is kept with the run's decision record.
    if (DecisionRecord* record = DecisionRecord::current()) record->noteMessage(msg);
  }
  if (outputType & SYS_FILE) sysFileOut(false, msg);
}

void Logger::log(int device, const char* msg) {
  int saved = outputType;
  setOutput(device);
  log(msg);
  outputType = saved;
}

void Logger::logDebug(const char* msg) {
  if (!debugMode) return;
  if (outputType & LOG_FILE) logFileOut(true, msg);
  if (outputType & SYS_FILE) sysFileOut(true, msg);
}

void Logger::logDebug(int device, const char* msg) {
  if (!debugMode) return;
  int saved = outputType;
  setOutput(device);
  logDebug(msg);
  outputType = saved;
}

void Logger::setOutput(int device) {
  if ((device >> NUM_OF_DEVICES) == 0) {
    outputType = device;
    return;
  }
  if (debugMode) logFileOut(true, "Incorrect output device assigned");
}

void Logger::logFileOut(bool debug, const char* msg) {
  std::time_t now = sys::platform().clock->now();
  struct tm local;
  localtime_r(&now, &local);
  if (std::strftime(timeString, MAX_TIME_STRING, "%b %d %X", &local) == 0) {
    timeString[0] = '\0';
  }
  std::string line;
  if (debug) line += "DEBUG ";
  line += timeString;
  line += " - Node ";
  line += hostName;
  line += " : ";
  line += msg;
  line += "\n";
  sys::platform().console->write(line);
}

void Logger::sysFileOut(bool debug, const char* msg) {
  std::string text = debug ? std::string(DEBUG_SYS) + msg : std::string(msg);
  sys::platform().syslog->write(LOG_ERR, text);
}
