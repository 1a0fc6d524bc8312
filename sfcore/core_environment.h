// The package environment: a table of expected variables, each with a type,
// a mark saying whether it must be present and a callback that stores its
// value, filled from the package's environment file (a name with a '/') or,
// for a package name, from the package attributes the cluster manager
// prints. CoreEnvironment registers the four variables the start-up
// decision needs; an array environment derives from it, registers its own
// table in initialize and inherits read.
//
// Calling order: construct, initialize, read, validate (once each).
#ifndef SFCORE_CORE_ENVIRONMENT_H
#define SFCORE_CORE_ENVIRONMENT_H

#include <cstring>
#include <map>
#include <string>

#include "drif/environment.h"

enum EnvType { EV_STRING = 0, EV_INTEGER = 1 };
enum EnforceType { ENFORCE = 0, NO_ENFORCE = 1 };

// Stores one value in the environment object. value is a char* for
// EV_STRING (valid only during the call) and an int* for EV_INTEGER.
typedef void (*EnvAssign)(Environment* object, void* value);

struct EnvItem {
  EnvType type;
  EnforceType enforced;
  int counter;  // times the variable was met while reading
  const char* envName;
  EnvAssign funcPtr;
};

// Byte-wise name order (as strcmp): names are case-sensitive and the table
// is walked in this order.
struct CmpString {
  bool operator()(const char* a, const char* b) const {
    return std::strcmp(a, b) < 0;
  }
};

typedef std::map<const char*, EnvItem, CmpString> EnvMap;

// Size of the line buffer of the environment file: lines of more than
// MAX_BUFFER - 1 characters are refused.
const int MAX_BUFFER = 256;

// Largest environment file read: anything bigger (or not a regular file) is
// refused unread.
const size_t MAX_ENVIRONMENT_FILE = 1024 * 1024;

class CoreEnvironment : public Environment {
 public:
  CoreEnvironment();
  ~CoreEnvironment() override;

  // From the file at name when it holds a '/' (a regular file of at most
  // MAX_ENVIRONMENT_FILE bytes), else from the cluster manager's attributes
  // of the package called name. True when every
  // enforced variable was found and none was defined twice; values found
  // are stored either way.
  bool read(char* name) override;
  // Registers the table; 0.
  virtual int initialize();
  // Checks the stored values and turns the wait time into seconds; 0 when
  // all are valid, 1 otherwise.
  virtual int validate();

  // The contents of an environment file, as read() handles them once the
  // file is open.
  bool readText(const std::string& text);

  std::string& getStartupPolicy();
  int getWaitTime();
  // Upper-cases value in place and stores it.
  void setStartupPolicy(char* value);
  // A negative value keeps the previous one.
  void setWaitTime(int value);

 protected:
  // Registers one variable; replaces an entry of the same name and resets
  // its counter. name must outlive the table (a literal).
  void addEnvItem(const char* name, EnvType type, EnforceType enforced,
                  EnvAssign assign);
  // The decimal integer at the start of text; -1 (and a message) when
  // there is none.
  int getInt(char* text);
  char* getString(char* text) { return text; }
  // The next token of text (null: of the text given last), as strtok.
  char* extractValue(char* text, const char* delimiters);
  // Maps a package attribute name to its variable name.
  char* extractString(char* name);
  char* convertToUpper(char* text);

  EnvMap envMap;

 private:
  bool readPackage(const char* name);
  // Handles one line of a file; false when the line is refused.
  bool readLine(char* line, bool overlong);
  void cleanValue(char*& value);
  void assign(EnvItem& item, char* value);

  std::string startupPolicy;
  int waitTime;
  char* tokenPos;
};

#endif  // SFCORE_CORE_ENVIRONMENT_H
