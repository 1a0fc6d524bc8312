// The one logging facility of every program: a process-wide singleton that
// writes operator messages to standard output (time stamp and node name in
// front) and to the system log, and debug messages only when DATAREP_DEBUG is
// present. The entry point creates it first and removes it last; every other
// object fetches it with getInstance() in its constructor and keeps the
// pointer.
#ifndef DRIF_LOGGER_H
#define DRIF_LOGGER_H

#include <string>

// Output devices (bit flags, combinable).
const int LOG_FILE = 1;  // standard output
const int SYS_FILE = 2;  // system log
const int NUM_OF_DEVICES = 2;
const int MAX_TIME_STRING = 16;
extern const char* const UNKNOWN_HOST;  // "Unknown"
extern const char* const DEBUG_SYS;     // "DEBUG - "

// Index just after the last '/' of name, or 0 when there is none.
int indexProgName(const char* name);

class Logger {
 public:
  static Logger* createInstance();
  static Logger* getInstance();
  // Lowers the use count and nulls *handle; destroys the instance when the
  // count reaches 0. False only when there was neither a count nor an
  // instance.
  static bool removeInstance(Logger** handle);

  void log(const char* msg);
  void log(int device, const char* msg);
  void logDebug(const char* msg);
  void logDebug(int device, const char* msg);
  void log(const std::string& msg) { log(msg.c_str()); }
  void log(int device, const std::string& msg) { log(device, msg.c_str()); }
  void logDebug(const std::string& msg) { logDebug(msg.c_str()); }
  void logDebug(int device, const std::string& msg) {
    logDebug(device, msg.c_str());
  }

  // Accepts 0 to 3; any other value keeps the setting and writes the debug
  // message "Incorrect output device assigned" to standard output.
  void setOutput(int device);
  int getOutput() const { return outputType; }
  bool isDebug() const { return debugMode; }

  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

 private:
  Logger();
  ~Logger();

  void logFileOut(bool debug, const char* msg);
  void sysFileOut(bool debug, const char* msg);

  int outputType;
  bool debugMode;
  char* timeString;  // MAX_TIME_STRING bytes
  char* hostName;    // 64 bytes

  static Logger* instance;
  static int useCount;
};

#endif  // DRIF_LOGGER_H
