// Helpers for the tests of the map file store: the byte image of server
// list entries and the list as read back. The folder and file helpers are
// in files.h.
#ifndef TESTS_SUPPORT_MAP_STORE_H
#define TESTS_SUPPORT_MAP_STORE_H

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "zarn/store/smis_manager.h"

namespace support {

// A password field as stored: the password, then NULs up to 64 bytes.
inline std::string field(const std::string& password) {
  std::string f = password;
  f.resize(PASSWD_BUF_SIZE, '\0');
  return f;
}

// The two lines of one server list entry as the writer stores them.
inline std::string entry(const std::string& line, const std::string& password) {
  return line + "\n" + field(password) + "\n";
}

inline SMISData server(const std::string& host, int port,
                       const std::string& ns, const std::string& ssl,
                       const std::string& user, const std::string& password) {
  SMISData d;
  d.hostname = host;
  d.port = port;
  d.cimNamespace = ns;
  d.useSSL = ssl;
  d.username = user;
  d.password = password;
  return d;
}

// Everything about a record, for comparisons with a readable diff.
inline std::string show(const SMISData& d) {
  return d.hostname + "@" + std::to_string(d.port) + "&" + d.cimNamespace +
         "&" + d.useSSL + "&" + d.username + "&" + d.password;
}

// The whole list, in order, through the iteration operations.
inline std::vector<std::string> listOf(SMISManager& m) {
  std::vector<std::string> out;
  if (m.resetSMISList() != 0) return out;
  SMISData d;
  while (m.getNextSMIS(d) == 0) out.push_back(show(d));
  return out;
}

}  // namespace support

#endif  // TESTS_SUPPORT_MAP_STORE_H
