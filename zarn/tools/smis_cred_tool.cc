#include "zarn/tools/smis_cred_tool.h"

#include <fcntl.h>
#include <getopt.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "drif/platform.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_server.h"
#include "zarn/store/map_file.h"
#include "zarn/store/text.h"

namespace {

const int MAX_PASSWORD_TRIES = 3;
const int MAX_PORT = 65535;

bool validPort(const std::string& text) {
  int value = leadingInt(text);
  return value > 0 && value <= MAX_PORT;
}

bool isYesNo(const std::string& flag) {
  return flag == "Y" || flag == "y" || flag == "N" || flag == "n";
}

std::string upper(const std::string& flag) {
  std::string out = flag;
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

int defaultPort(const std::string& flag) {
  return static_cast<int>(upper(flag) == "N" ? schema::DEFAULT_HTTP_PORT
                                                   : schema::DEFAULT_HTTPS_PORT);
}

// Whole file, split into lines without their line feeds; false when the
// file cannot be opened or read (a folder, for one).
bool readLines(const std::string& path, std::vector<std::string>* lines) {
  std::string text;
  if (sys::platform().files->readAll(path, &text) != 0) return false;
  MapReader in(text);
  std::string line;
  while (in.getLine(&line)) lines->push_back(line);
  return true;
}

// Splits at blanks and tabs; runs count as one.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  size_t pos = 0;
  while ((pos = line.find_first_not_of(" \t", pos)) != std::string::npos) {
    size_t end = line.find_first_of(" \t", pos);
    if (end == std::string::npos) end = line.size();
    out.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

std::string padded(const std::string& text, size_t width) {
  return text.size() < width ? text + std::string(width - text.size(), ' ')
                             : text;
}

}  // namespace

bool TerminalPasswordInput::readHidden(const std::string& prompt,
                                       std::string* line) {
  line->clear();
  // Echo goes off before the prompt appears, so that nothing typed at the
  // prompt is ever shown.
  struct termios saved;
  bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  sys::platform().console->write(prompt);
  bool any = false;
  char c;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    any = true;
    if (c == '\n') break;
    line->push_back(c);
  }
  if (terminal) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return any;
}

SMISCredTool::SMISCredTool(const ToolOutput& io, PasswordInput* passwords,
                           const std::string& mapFile, const std::string& trustFolder)
    : AdminTool(io),
      passwords(passwords != nullptr ? passwords : &terminal),
      err(io.err),
      mapFile(mapFile),
      trustFolder(trustFolder) {}

void SMISCredTool::warnAbout(const SMISData& record) {
  std::string warning = connectionWarning(record, trustFolder);
  if (!warning.empty()) print(warning + "\n");
}

void SMISCredTool::print(const std::string& text) { io.out->write(text); }

void SMISCredTool::error(const std::string& text) {
  *err << text << '\n';
  err->flush();
}

int SMISCredTool::usageError(const std::string& text) {
  error("Error - " + text);
  printUsage();
  return 1;
}

void SMISCredTool::printUsage() {
  const std::string& c = command;
  print("Usage: \n"
        "\t" + c + " <[-h host [-n namespace] [-p port] [-u username] "
        "[-s <Y|N>]] [-f input_file] [-l] [-r host] [-d host]>\n"
        "\n"
        "To add a new SMI-S server:\n"
        "\t" + c + " -h host -n namespace -u username -s <Y|N> [-p port]\n"
        "\n"
        "To update an existing SMI-S server:\n"
        "\t" + c + " -h host [-n namespace] [-u username] [-s <Y|N>] [-p port]\n"
        "\n"
        "To configure a list of SMI-S servers using an input file:\n"
        "\t" + c + " -f input_file\n"
        "\n"
        "To remove an existing SMI-S server:\n"
        "\t" + c + " -r host\n"
        "\n"
        "To list all existing SMI-S servers:\n"
        "\t" + c + " -l\n"
        "\n"
        "To set the default (active) SMI-S server:\n"
        "\t" + c + " -d host\n"
        "\n");
}

int SMISCredTool::run(int argc, char* argv[]) {
  command = calledName(argc, argv, "smiscred");
  if (argc < 2) {
    printUsage();
    return 1;
  }
  bool list = false, setDefaultGiven = false, removeGiven = false,
       fileGiven = false, hostGiven = false;
  restartOptions(/*printErrors=*/true);
  int opt;
  while ((opt = getopt(argc, argv, "h:u:n:p:s:f:r:d:l")) != -1) {
    switch (opt) {
      case 'h': hostGiven = true; host = optarg; break;
      case 'r': removeGiven = true; host = optarg; break;
      case 'd': setDefaultGiven = true; host = optarg; break;
      case 'n': namespaceGiven = true; cimNamespace = optarg; break;
      case 'u': usernameGiven = true; username = optarg; break;
      case 'p': portGiven = true; port = optarg; break;
      case 's': sslGiven = true; useSSL = optarg; break;
      case 'f': fileGiven = true; inputFile = optarg; break;
      case 'l': list = true; break;
      default:
        printUsage();
        return 1;
    }
  }
  if (list) return listServers(argc);
  if (setDefaultGiven) return setDefault(argc);
  if (removeGiven) return removeServer(argc);
  if (fileGiven) return replaceFromFile(argc);
  if (hostGiven) return addOrUpdate();
  return 0;
}

int SMISCredTool::listServers(int argc) {
  if (argc > 2) return usageError("Too many arguments");
  SMISManager servers(false, mapFile);
  if (servers.readFile(true) != 0) {
    error("Error - " + servers.getErrorMessage());
    return 1;
  }
  const std::string rule(72, '-');
  std::string text = "\nSF/YRZARN SMI-S server list:\n" + rule + "\n" +
                     "HOST                        USERNAME                   "
                     "USE_SSL NAMESPACE  \n" +
                     rule + "\n";
  SMISData d;
  while (servers.getNextSMIS(d) == 0) {
    text += padded(d.hostname + ":" + std::to_string(d.port), 27) + " " +
            padded(d.username, 26) + " " + d.useSSL + "       " +
            d.cimNamespace + "\n";
  }
  text += "\n";
  print(text);
  return 0;
}

int SMISCredTool::setDefault(int argc) {
  return changeHost(argc, &SMISManager::setFirstSMIS,
                    " has been set as the default active SMI-S.\n");
}

int SMISCredTool::removeServer(int argc) {
  return changeHost(argc, &SMISManager::removeSMIS,
                    " has been successfully removed from the file.\n");
}

int SMISCredTool::changeHost(int argc, int (SMISManager::*change)(const std::string&),
                             const char* done) {
  if (argc > 3) return usageError("Too many arguments");
  if (host.empty()) return usageError("invalid argument. Require hostname");
  SMISManager servers(false, mapFile);
  if (servers.readFile(true) != 0 || (servers.*change)(host) != 0 ||
      servers.writeFile() != 0) {
    error("Error - " + servers.getErrorMessage());
    return 1;
  }
  print("The SMI-S " + host + done);
  return 0;
}

int SMISCredTool::replaceFromFile(int argc) {
  if (argc > 3) return usageError("Too many arguments");
  if (inputFile.empty()) return usageError("Missing input file name");
  std::vector<std::string> lines;
  if (!readLines(inputFile, &lines)) {
    error("Error - Could not open the input file " + inputFile);
    return 1;
  }
  // A line the format does not allow refuses the whole file before any
  // password is asked for, rather than ending the list early.
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() >= static_cast<size_t>(MAX_BUFFER_SIZE)) {
      error("Error - Line " + std::to_string(i + 1) +
            " of the input file is longer than " +
            std::to_string(MAX_BUFFER_SIZE - 1) + " characters");
      return 1;
    }
    std::vector<std::string> f = fields(lines[i]);
    std::string problem =
        f.empty() || f[0][0] == '#' ? "" : smisHostNameProblem(f[0]);
    if (!problem.empty()) {
      error("Error - Line " + std::to_string(i + 1) + " of the input file: " +
            problem);
      return 1;
    }
  }

  SMISManager servers(false, mapFile);  // the file's servers replace the list
  for (const std::string& line : lines) {
    std::vector<std::string> f = fields(line);
    if (f.empty() || f[0][0] == '#') continue;
    if (f.size() < 2) {
      error("Error - Could not extract \"username\" from the input file");
      return 1;
    }
    if (f.size() < 3) {
      error("Error - Could not extract \"secure_connection\" from the input file");
      return 1;
    }
    if (f.size() < 4) {
      error("Error - Could not extract \"namespace\" from the input file");
      return 1;
    }
    if (f.size() > 5) {
      error("Error - File contains invalid format of SMI-S server data");
      return 1;
    }
    SMISData record;
    record.hostname = f[0];
    record.username = f[1];
    record.cimNamespace = f[3];
    const std::string& flag = f[2];
    if (f.size() == 5) {
      record.port = leadingInt(f[4]);
    } else if (isYesNo(flag)) {
      record.port = defaultPort(flag);
    }
    if (!askPassword(" of " + record.hostname, &record.password)) return 1;
    if (!isYesNo(flag))
      return usageError("invalid \"secure_connect\" value. Require Y or N");
    if (f.size() == 5 && !validPort(f[4])) {
      error("Error - Could not extract \"port\" from the input file");
      return 1;
    }
    record.useSSL = upper(flag);
    servers.addOrUpdateSMIS(record);
  }
  if (servers.writeFile() != 0) {
    error("Error - " + servers.getErrorMessage());
    return 1;
  }
  print("All the SMI-S information has been successfully generated.\n");
  servers.resetSMISList();
  for (SMISData saved; servers.getNextSMIS(saved) == 0;) warnAbout(saved);
  return 0;
}

int SMISCredTool::addOrUpdate() {
  if (host.empty()) return usageError("invalid argument. Require hostname");
  std::string problem = smisHostNameProblem(host);
  if (!problem.empty()) return usageError(problem);
  if (namespaceGiven && cimNamespace.empty())
    return usageError("invalid argument for -n option. Require namespace");
  if (usernameGiven && username.empty())
    return usageError("invalid argument for -u option. Require username");
  if (portGiven && !validPort(port))
    return usageError(
        "invalid argument for -p option. Require SMI-S server port number");
  if (sslGiven && !isYesNo(useSSL))
    return usageError("invalid argument for -s option. Require Y or N");

  SMISManager servers(false, mapFile);
  if (servers.readFile(false) != 0) {
    error("Error - " + servers.getErrorMessage());
    return 1;
  }
  SMISData record;
  if (servers.getSMIS(host, record) == 0) {
    if (namespaceGiven) record.cimNamespace = cimNamespace;
    if (portGiven) record.port = leadingInt(port);
    if (sslGiven) {
      record.useSSL = upper(useSSL);
      if (!portGiven) record.port = defaultPort(useSSL);
    }
    if (usernameGiven) {
      record.username = username;
      if (!askPassword("", &record.password)) return 1;
    }
  } else {
    if (!usernameGiven || !namespaceGiven || !sslGiven)
      return usageError(
          "Missing argument for adding a new SMI-S server infomation");
    record.hostname = host;
    record.cimNamespace = cimNamespace;
    record.username = username;
    record.useSSL = upper(useSSL);
    record.port =
        portGiven ? leadingInt(port) : defaultPort(useSSL);
    if (!askPassword("", &record.password)) return 1;
  }
  servers.addOrUpdateSMIS(record);
  if (servers.writeFile() != 0) {
    error("Error - " + servers.getErrorMessage());
    return 1;
  }
  warnAbout(record);
  return 0;
}

bool SMISCredTool::askPassword(const std::string& suffix,
                               std::string* password) {
  for (int failed = 0; failed < MAX_PASSWORD_TRIES;) {
    std::string first, second;
    if (!passwords->readHidden("Enter password" + suffix + ": ", &first)) {
      error("Fail to get a password string");
      ++failed;
      continue;
    }
    print("\n");
    if (!passwords->readHidden("Re-enter password" + suffix + ": ", &second)) {
      error("Fail to get a password string");
      ++failed;
      continue;
    }
    print("\n");
    if (first != second) {
      error("Error - Passwords do not match.");
      ++failed;
      continue;
    }
    // The map file keeps at most 63 characters of a password: a longer one
    // would not be the password it was meant to be.
    if (first.size() >= static_cast<size_t>(PASSWD_BUF_SIZE)) {
      error("Error - The password is too long. A password may have at most " +
            std::to_string(PASSWD_BUF_SIZE - 1) + " characters.");
      return false;
    }
    // The connection refuses an empty password: stored, it could never
    // be used.
    if (first.empty()) {
      error("Error - The password may not be empty.");
      return false;
    }
    if (first.find('\0') != std::string::npos) {
      error("Error - The password may not contain a NUL character.");
      return false;
    }
    *password = first;
    return true;
  }
  error("Error - Too many tries");
  return false;
}
