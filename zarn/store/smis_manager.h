// The list of SMI-S servers the programs may connect to, with port, CIM
// namespace, SSL flag and credentials, kept in the server list section of
// the map file. The first entry is the default (active) server. smiscred is
// the only program that changes the list; the others load it to choose a
// server. Operations answer 0 for success; the text of the last failure is
// kept for getErrorMessage().
#ifndef ZARN_STORE_SMIS_MANAGER_H
#define ZARN_STORE_SMIS_MANAGER_H

#include <list>
#include <string>
#include <unordered_map>

#include "zarn/store/map_file.h"

class Logger;

// Bytes in a password field of the map file; a password has at most one
// less.
constexpr int PASSWD_BUF_SIZE = 64;

// One SMI-S server. Whoever fills a record also sets its port.
class SMISData {
 public:
  std::string hostname;  // the key of the list
  std::string username;
  std::string password;  // in the clear; never printed or logged
  std::string cimNamespace;
  std::string useSSL;  // "Y" or "N" ("y" and "n" accepted on loading)
  int port = 0;
};

// Why host cannot name an SMI-S server, or "" when it can. A host name has
// only letters, digits, '-' and '.', or is an IPv6 address in brackets;
// anything else would become part of the server's URL.
std::string smisHostNameProblem(const std::string& host);

class SMISManager {
 public:
  SMISManager();
  // Loads the list with readFile(true) when readFromFile is set; the
  // outcome shows in validate(). fileName is the map file (tests only).
  explicit SMISManager(bool readFromFile,
                       const std::string& fileName = MAP_FILE);
  SMISManager(const SMISManager& other);
  SMISManager& operator=(const SMISManager& other);
  ~SMISManager();

  // The map file this list is loaded from and saved to.
  void setFileName(const std::string& fileName) { this->fileName = fileName; }
  const std::string& getFileName() const { return fileName; }

  // Replaces the list with the file's server list section. A missing file
  // fails only with checkExist; without it the list stays as it is. A file
  // that is there but cannot be read always fails.
  int readFile(bool checkExist);
  // Rewrites the file with this list, keeping everything before the
  // separator line; an empty list removes the section and prints a warning.
  // Refuses (1) an entry that the file could not carry back, and a file
  // that is there but cannot be read. The saved file has mode 0600.
  int writeFile();

  // The two halves of readFile and writeFile that work on the file's text.
  // readText parses a whole map file image; writeText builds the new image
  // from the current one (nullptr when there is no file).
  int readText(const std::string& text);
  int writeText(const std::string* current, std::string* next);

  // True when some operation has failed since construction.
  bool validate();
  std::string& getErrorMessage() { return errorMessage; }

  // Replaces the entry with the same host name in place, or appends.
  int addOrUpdateSMIS(const SMISData& smisData);
  int removeSMIS(const std::string& host);
  int getSMIS(const std::string& host, SMISData& smisData);
  // Moves the entry to the front (default server); 1 if absent or empty.
  int setFirstSMIS(const std::string& host);
  int getFirstSMIS(SMISData& smisData);
  int resetSMISList();
  // 0 copied and advanced, 1 at the end, 2 list empty.
  int getNextSMIS(SMISData& smisData);

 private:
  using Entries = std::list<SMISData>;

  int encryptPassword(const std::string& password, char* encryptedPassword);
  int decryptPassword(char* encryptedPassword, std::string& password);
  void debug(const char* msg);
  void clearList();
  // True, with the error message set, when the list has no server.
  bool noServers();
  void rebuildIndex();
  // The problem that keeps an entry out of the map file, or "".
  static std::string entryProblem(const SMISData& entry);

  Logger* log;
  Entries smisList;
  Entries::iterator smisIter;
  std::string errorMessage;
  std::unordered_map<std::string, Entries::iterator> index;  // by hostname
  std::string fileName;
};

#endif  // ZARN_STORE_SMIS_MANAGER_H
