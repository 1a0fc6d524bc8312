#include "tests/e2e/zarnsim_process.h"

#include <fcntl.h>
#include <poll.h>
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

#include "zarn/smis_manager.h"
#include "zarn/zarn_id_map.h"

namespace e2e {

const char* const SIM_USER = "zarnadmin";
const char* const SIM_PASSWORD = "zarn-pw";

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

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
                 const std::vector<std::string>& extraArgs) {
  char name[] = "/tmp/zarnsim.XXXXXX";
  if (mkdtemp(name) == nullptr) {
    error_ = "cannot make a temporary folder";
    return;
  }
  folder_ = name;
  const std::string scenario = folder_ + "/scenario.json";
  logPath_ = folder_ + "/requests.log";
  const std::string errPath = folder_ + "/stderr";
  spit(scenario, scenarioText);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  // Everything the child needs is made before the fork.
  std::vector<std::string> args = {
      zarnSimBin, "--scenario", scenario,     "--port",        "0",
      "--bind",   "127.0.0.1",  "--user",     SIM_USER,        "--password",
      SIM_PASSWORD, "--request-log", logPath_};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    // The simulator goes with the test, bench or demo that started it,
    // also when that one dies without cleaning up.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(out[1], 1);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err >= 0) dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  if (pid_ < 0) {
    close(out[0]);
    error_ = "fork failed";
    return;
  }
  // Wait for "zarnsim ready on port N".
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
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
  int port = 0;
  if (std::sscanf(text.c_str(), "zarnsim ready on port %d", &port) == 1 &&
      port > 0) {
    port_ = port;
  } else {
    error_ = "zarnsim did not start: " + text + slurp(errPath);
    stop();
  }
}

ZarnSim::~ZarnSim() {
  stop();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

void ZarnSim::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    usleep(20000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::vector<SimRequest> ZarnSim::requests() const {
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

void ZarnSim::clearRequests() { logOffset_ = slurp(logPath_).size(); }

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

}  // namespace e2e
