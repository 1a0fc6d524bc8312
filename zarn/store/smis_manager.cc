#include "zarn/store/smis_manager.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/store/text.h"
#include "zarn/smis/schema.h"

namespace {

const char NO_SMIS[] = "No SMI-S information defined in the map file.";
const char CORRUPTED[] = "Corrupted SMI-S data in the map file";

std::string notFound(const std::string& host) {
  return "No SMI-S server named " + host + " found in the list.";
}

// The next token of text at or after *pos, as strtok would give it: runs of
// delimiters count as one, and one delimiter after the token is consumed.
bool nextToken(const std::string& text, size_t* pos, const char* delims,
               std::string* token) {
  size_t start = text.find_first_not_of(delims, *pos);
  if (start == std::string::npos) {
    *pos = text.size();
    return false;
  }
  size_t end = text.find_first_of(delims, start);
  if (end == std::string::npos) end = text.size();
  token->assign(text, start, end - start);
  *pos = end < text.size() ? end + 1 : end;
  return true;
}

// Why a field of an entry line could not be read back, or "".
std::string fieldProblem(const std::string& value, const char* name,
                         const char* extraDelimiter) {
  if (value.empty()) return std::string("the ") + name + " is empty";
  if (value.find(DELIMITER) != std::string::npos)
    return std::string("the ") + name + " contains \"" + DELIMITER + "\"";
  if (extraDelimiter != nullptr &&
      value.find(extraDelimiter) != std::string::npos)
    return std::string("the ") + name + " contains \"" + extraDelimiter + "\"";
  if (value.find('\n') != std::string::npos)
    return std::string("the ") + name + " contains a line feed";
  return "";
}

}  // namespace

std::string smisHostNameProblem(const std::string& host) {
  bool ok = !host.empty();
  if (ok && host.front() == '[') {
    struct in6_addr address;
    ok = host.size() > 2 && host.back() == ']' &&
         ::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(),
                     &address) == 1;
  } else {
    for (char c : host)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
        ok = false;
  }
  if (ok) return "";
  return "The SMI-S server host name \"" + host +
         "\" is not valid. A host name may only have letters, digits, '-' and "
         "'.', or be an IPv6 address in brackets.";
}

SMISManager::SMISManager()
    : log(Logger::getInstance()),
      smisIter(smisList.end()),
      fileName(MAP_FILE) {
  debug("Inside the SMISManager constructor");
}

SMISManager::SMISManager(bool readFromFile, const std::string& fileName)
    : log(Logger::getInstance()),
      smisIter(smisList.end()),
      fileName(fileName) {
  debug("Inside the SMISManager copy constructor");
  if (readFromFile) readFile(true);
}

SMISManager::SMISManager(const SMISManager& other)
    : log(other.log), smisIter(smisList.end()) {
  *this = other;
}

SMISManager& SMISManager::operator=(const SMISManager& other) {
  if (this == &other) return *this;
  log = other.log;
  smisList = other.smisList;
  errorMessage = other.errorMessage;
  fileName = other.fileName;
  rebuildIndex();
  Entries::const_iterator at = other.smisIter;
  smisIter = std::next(smisList.begin(),
                       std::distance(other.smisList.cbegin(), at));
  return *this;
}

SMISManager::~SMISManager() {
  debug("Inside the SMISManager destructor");
  clearList();
}

void SMISManager::debug(const char* msg) {
  if (log != nullptr) log->logDebug(msg);
}

void SMISManager::clearList() {
  smisList.clear();
  index.clear();
  smisIter = smisList.end();
}

void SMISManager::rebuildIndex() {
  index.clear();
  for (auto it = smisList.begin(); it != smisList.end(); ++it)
    index.emplace(it->hostname, it);
}

int SMISManager::readFile(bool checkExist) {
  debug("Inside the SMISManager::readFile method");
  std::string text;
  int failure = 0;
  if (!MapFile(fileName).read(&text, &failure)) {
    // Only a file that is not there may count as an empty list: one that
    // cannot be read would be saved over with the list alone.
    if (!checkExist && failure == ENOENT) return 0;
    clearList();
    errorMessage = fileName + " file does not exist or could not be opened";
    return 1;
  }
  return readText(text);
}

int SMISManager::readText(const std::string& text) {
  clearList();
  MapReader in(text);
  if (!in.skipTo(SMIS_BEGIN_TAG)) {
    debug("SMI-S data - No SMI-S data found in the file");
    return 0;
  }

  std::string line;
  for (;;) {
    in.getLine(&line);
    if (line == SMIS_END_TAG) {
      smisIter = smisList.begin();
      return 0;
    }

    SMISData entry;
    std::string portText;
    size_t pos = 0;
    bool withPort = line.find('@') != std::string::npos;
    bool complete =
        withPort ? nextToken(line, &pos, "@", &entry.hostname) &&
                       nextToken(line, &pos, DELIMITER, &portText)
                 : nextToken(line, &pos, DELIMITER, &entry.hostname);
    complete = complete &&
               nextToken(line, &pos, DELIMITER, &entry.cimNamespace) &&
               nextToken(line, &pos, DELIMITER, &entry.useSSL) &&
               nextToken(line, &pos, DELIMITER, &entry.username);
    if (!complete) break;
    entry.port = withPort ? leadingInt(portText) : 0;
    if (entry.port == 0) {
      if (entry.useSSL == "N" || entry.useSSL == "n") entry.port = schema::DEFAULT_HTTP_PORT;
      if (entry.useSSL == "Y" || entry.useSSL == "y") entry.port = schema::DEFAULT_HTTPS_PORT;
    }

    if (!in.good() || in.eof()) break;
    std::string field;
    if (in.read(PASSWD_BUF_SIZE, &field) < static_cast<size_t>(PASSWD_BUF_SIZE)) {
      errorMessage = "Password not found. Corrupted SMI-S data in the map file";
      return 1;
    }
    std::string lineEnd;
    if (in.read(1, &lineEnd) < 1) {
      errorMessage =
          "Wrong password data format. Corrupted SMI-S data in the map file";
      return 1;
    }
    char buffer[PASSWD_BUF_SIZE];
    std::memcpy(buffer, field.data(), PASSWD_BUF_SIZE);
    decryptPassword(buffer, entry.password);
    addOrUpdateSMIS(entry);
    if (!in.good() || in.eof()) break;
  }
  errorMessage = CORRUPTED;
  clearList();
  return 1;
}

std::string SMISManager::entryProblem(const SMISData& entry) {
  std::string problem = fieldProblem(entry.hostname, "host name", "@");
  if (problem.empty())
    problem = fieldProblem(entry.cimNamespace, "namespace", nullptr);
  if (problem.empty()) problem = fieldProblem(entry.useSSL, "SSL flag", nullptr);
  if (problem.empty())
    problem = fieldProblem(entry.username, "user name", nullptr);
  if (problem.empty() && entry.password.size() >= PASSWD_BUF_SIZE)
    problem = "the password is longer than " +
              std::to_string(PASSWD_BUF_SIZE - 1) + " characters";
  if (problem.empty() &&
      entry.password.find_first_of(std::string("\0\n", 2)) != std::string::npos)
    problem = "the password contains a NUL or line feed character";
  return problem;
}

int SMISManager::writeText(const std::string* current, std::string* next) {
  for (const SMISData& entry : smisList) {
    std::string problem = entryProblem(entry);
    if (!problem.empty()) {
      errorMessage = "The SMI-S server " + entry.hostname +
                     " cannot be stored in the map file: " + problem;
      return 1;
    }
  }

  next->clear();
  size_t size = (current != nullptr ? current->size() : 0) + 64;
  for (const SMISData& entry : smisList)
    size += entry.hostname.size() + entry.cimNamespace.size() +
            entry.username.size() + PASSWD_BUF_SIZE + 32;
  next->reserve(size);  // one allocation for the whole file
  if (current == nullptr) {
    debug("Could not open the file for read");
  } else {
    // Keep every line before the separator line: the device ID map section.
    size_t separator = findLine(*current, SECTION_SEPARATOR);
    next->append(*current, 0, separator);
    if (!next->empty() && next->back() != '\n') next->push_back('\n');
  }
  if (smisList.empty()) return 0;

  next->append(SECTION_SEPARATOR).append("\n");
  next->append(SMIS_BEGIN_TAG).append("\n");
  char field[PASSWD_BUF_SIZE];
  for (const SMISData& entry : smisList) {
    next->append(entry.hostname).append("@").append(std::to_string(entry.port));
    next->append(DELIMITER).append(entry.cimNamespace);
    next->append(DELIMITER).append(entry.useSSL);
    next->append(DELIMITER).append(entry.username).append("\n");
    encryptPassword(entry.password, field);
    next->append(field, PASSWD_BUF_SIZE).append("\n");
  }
  std::memset(field, 0, sizeof field);
  next->append(SMIS_END_TAG).append("\n");
  return 0;
}

int SMISManager::writeFile() {
  debug("Inside the SMISManager::writeFile method");
  std::string error;
  bool saved = MapFile(fileName).save(
      [this](const std::string* current, std::string* next,
             std::string* why) {
        if (writeText(current, next) == 0) return true;
        *why = errorMessage;
        return false;
      },
      false, &error);
  if (!saved) {
    errorMessage = error;
    return 1;
  }
  if (smisList.empty()) {
    sys::platform().console->write(
        "Warning - The last SMI-S information is deleted from the map file.\n"
        "          Make sure to add at least one SMI-S information to the map "
        "file\n"
        "          prior to running zarndiscovery tool or starting application "
        "packages.\n");
  }
  return 0;
}

bool SMISManager::validate() {
  debug("Inside the SMISManager::validate method");
  return !errorMessage.empty();
}

int SMISManager::addOrUpdateSMIS(const SMISData& smisData) {
  debug("Inside the SMISManager::addOrUpdateSMIS method");
  auto found = index.find(smisData.hostname);
  if (found != index.end()) {
    *found->second = smisData;
    return 0;
  }
  smisList.push_back(smisData);
  index.emplace(smisData.hostname, std::prev(smisList.end()));
  return 0;
}

int SMISManager::removeSMIS(const std::string& host) {
  debug("Inside the SMISManager::removeSMIS method");
  auto found = index.find(host);
  if (found == index.end()) {
    errorMessage = notFound(host);
    return 1;
  }
  if (smisIter == found->second) ++smisIter;
  smisList.erase(found->second);
  index.erase(found);
  return 0;
}

int SMISManager::getSMIS(const std::string& host, SMISData& smisData) {
  debug("Inside the SMISManager::getSMIS method");
  auto found = index.find(host);
  if (found == index.end()) {
    errorMessage = notFound(host);
    return 1;
  }
  smisData = *found->second;
  return 0;
}

bool SMISManager::noServers() {
  if (!smisList.empty()) return false;
  errorMessage = NO_SMIS;
  return true;
}

int SMISManager::setFirstSMIS(const std::string& host) {
  debug("Inside the SMISManager::setFirstSMIS method");
  if (noServers()) return 1;
  auto found = index.find(host);
  if (found == index.end()) {
    errorMessage = notFound(host);
    return 1;
  }
  smisList.splice(smisList.begin(), smisList, found->second);
  return 0;
}

int SMISManager::getFirstSMIS(SMISData& smisData) {
  debug("Inside the SMISManager::getFirstSMIS method");
  if (noServers()) return 1;
  smisData = smisList.front();
  return 0;
}

int SMISManager::resetSMISList() {
  debug("Inside the SMISManager::resetSMISList method");
  if (noServers()) return 1;
  smisIter = smisList.begin();
  return 0;
}

int SMISManager::getNextSMIS(SMISData& smisData) {
  debug("Inside the SMISManager::getNextSMIS method");
  if (noServers()) return 2;
  if (smisIter == smisList.end()) return 1;
  smisData = *smisIter;
  ++smisIter;
  return 0;
}

int SMISManager::encryptPassword(const std::string& password,
                                 char* encryptedPassword) {
  std::memset(encryptedPassword, 0, PASSWD_BUF_SIZE);
  size_t n = std::min(password.size(), static_cast<size_t>(PASSWD_BUF_SIZE - 1));
  std::memcpy(encryptedPassword, password.data(), n);
  return 0;
}

int SMISManager::decryptPassword(char* encryptedPassword,
                                 std::string& password) {
  password.assign(encryptedPassword,
                  strnlen(encryptedPassword, PASSWD_BUF_SIZE));
  return 0;
}
