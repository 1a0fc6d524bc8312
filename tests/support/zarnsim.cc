#include "tests/support/zarnsim.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/files.h"
#include "tests/support/ports.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

namespace support {

const char* const SIM_USER = "zarnadmin";
const char* const SIM_PASSWORD = "zarn-pw";

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0, end;
  while ((end = line.find('\t', start)) != std::string::npos) {
    out.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  out.push_back(line.substr(start));
  return out;
}

SimRequest parseRequest(const std::string& line) {
  SimRequest r;
  r.line = line;
  std::vector<std::string> fields = splitTabs(line);
  if (!fields.empty()) r.operation = fields[0];
  if (fields.size() > 1) r.target = fields[1];
  for (size_t i = 2; i < fields.size(); ++i) {
    size_t eq = fields[i].find('=');
    std::string name = fields[i].substr(0, eq);
    std::string value = eq == std::string::npos ? "" : fields[i].substr(eq + 1);
    if (name == "status")
      r.status = value;
    else
      r.details.emplace_back(name, value);
  }
  return r;
}

}  // namespace

std::string SimRequest::detail(const std::string& name) const {
  for (const auto& d : details)
    if (d.first == name) return d.second;
  return "";
}

ZarnSim::ZarnSim(const std::string& zarnSimBin, const std::string& scenarioText,
                 const SimOptions& options)
    : binary_(zarnSimBin), netns_(options.netns) {
  if (!makeFolder()) return;
  const std::string scenario = folder_ + "/scenario.json";
  spit(scenario, scenarioText);
  logPath_ = folder_ + "/requests.log";
  std::vector<std::string> args = {"--scenario", scenario, "--port", "0",
                                   "--bind", options.bind, "--request-log", logPath_};
  if (!options.user.empty())
    args.insert(args.end(), {"--user", options.user, "--password", options.password});
  args.insert(args.end(), options.args.begin(), options.args.end());
  start(args);
}

ZarnSim::ZarnSim(std::string zarnSimBin) : binary_(std::move(zarnSimBin)) {}

bool ZarnSim::makeFolder() {
  if (!folder_.empty()) return true;
  char name[] = "/tmp/zarnsim.XXXXXX";
  if (mkdtemp(name) == nullptr) {
    error_ = "cannot make a temporary folder";
    return false;
  }
  folder_ = name;
  return true;
}

bool ZarnSim::start(const std::vector<std::string>& arguments) {
  if (pid_ > 0 || !makeFolder()) return false;
  const std::string errPath = folder_ + "/stderr";
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return false;
  }
  // Everything the child needs is made before the fork.
  std::vector<std::string> args = {binary_};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int netns = -1;
  if (!netns_.empty() && (netns = open(netns_.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
    close(out[0]);
    close(out[1]);
    error_ = "cannot open " + netns_;
    return false;
  }
  port_ = 0;
  status_ = -1;
  pid_ = fork();
  if (pid_ == 0) {
    // The simulator goes with the test, bench or demo that started it,
    // also when that one dies without cleaning up.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (netns >= 0 && setns(netns, CLONE_NEWNET) != 0) _exit(126);
    dup2(out[1], 1);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  if (netns >= 0) close(netns);
  if (pid_ < 0) {
    close(out[0]);
    error_ = "fork failed";
    return false;
  }
  // Wait for "zarnsim ready on port N".
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (text.find('\n') == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  readyLine_ = text.substr(0, text.find('\n'));
  int port = 0;
  if (std::sscanf(readyLine_.c_str(), "zarnsim ready on port %d", &port) == 1 &&
      port > 0) {
    port_ = port;
    return true;
  }
  stop();
  error_ = "zarnsim did not start: " + text + errors();
  return false;
}

std::string ZarnSim::errors() const {
  return folder_.empty() ? "" : slurp(folder_ + "/stderr");
}

ZarnSim::~ZarnSim() {
  stop();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

int ZarnSim::stop() {
  if (pid_ <= 0) return status_;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 250; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = status;
      return status_;
    }
    usleep(20000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  status_ = status;
  return status_;
}

std::vector<SimRequest> ZarnSim::requests() const {
  if (logPath_.empty()) return {};
  std::string text = slurp(logPath_);
  std::vector<SimRequest> out;
  if (logOffset_ > text.size()) return out;
  std::istringstream lines(text.substr(logOffset_));
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) out.push_back(parseRequest(line));
  return out;
}

std::vector<SimRequest> ZarnSim::requests(const std::string& operation) const {
  std::vector<SimRequest> out;
  for (auto& r : requests())
    if (r.operation == operation) out.push_back(r);
  return out;
}

void ZarnSim::clearRequests() {
  if (!logPath_.empty()) logOffset_ = slurp(logPath_).size();
}

SmisEntry simEntry(const ZarnSim& sim, const std::string& host) {
  SmisEntry e;
  e.host = host;
  e.port = sim.port();
  return e;
}

SmisEntry deadEntry(const std::string& host) {
  SmisEntry e;
  e.host = host;
  e.port = unusedPort();
  return e;
}

std::string mapFileText(const std::vector<SmisEntry>& servers,
                        const std::vector<DeviceEntry>& devices) {
  SMISManager list;
  for (const SmisEntry& s : servers) {
    SMISData d;
    d.hostname = s.host;
    d.port = s.port;
    d.cimNamespace = s.cimNamespace;
    d.useSSL = s.useSSL;
    d.username = s.user;
    d.password = s.password;
    list.addOrUpdateSMIS(d);
  }
  std::string text;
  list.writeText(nullptr, &text);
  if (devices.empty()) return text;
  ZARNIDMap map;
  for (const DeviceEntry& e : devices) {
    DeviceID id;
    id.instanceID = e.instanceId;
    id.wwidList = e.wwidList;
    map.setID(e.storageName, e.drGroupName, id);
  }
  std::string withMap;
  map.writeText(text, &withMap);
  return withMap;
}

std::string packageEnvText(const std::string& pkgDir, const std::string& policy,
                           int waitMinutes, const ArrayVariables& a,
                           const std::string& clusterType) {
  std::string t = "# package environment\n";
  t += "CLUSTER_TYPE=" + clusterType + "\n";
  t += "PKGDIR=" + pkgDir + "\n";
  t += "DT_APPLICATION_STARTUP_POLICY=" + policy + "\n";
  t += "WAIT_TIME=" + std::to_string(waitMinutes) + "\n";
  t += "DR_GROUP_NAME=" + a.drGroup + "\n";
  t += "DC1_STORAGE_WORLD_WIDE_NAME=" + a.dc1Wwn + "\n";
  t += "DC2_STORAGE_WORLD_WIDE_NAME=" + a.dc2Wwn + "\n";
  t += "DC1_SMIS_LIST=" + a.dc1Smis + "\n";
  t += "DC1_HOST_LIST=" + a.dc1Hosts + "\n";
  t += "DC2_SMIS_LIST=" + a.dc2Smis + "\n";
  t += "DC2_HOST_LIST=" + a.dc2Hosts + "\n";
  if (!a.queryTimeout.empty()) t += "QUERY_TIME_OUT=" + a.queryTimeout + "\n";
  return t;
}

}  // namespace support
