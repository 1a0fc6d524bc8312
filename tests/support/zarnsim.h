// The array simulator as the unit, process and end-to-end tests, the demo
// and the benchmarks use it: a zarnsim process serving a scenario on a free
// port of 127.0.0.1 with its request log (or started with a command line of
// the test's own), and the files a node needs to reach it (the map file
// with the SMI-S server list and the device ID map, and the package
// environment).
#ifndef TESTS_SUPPORT_ZARNSIM_H
#define TESTS_SUPPORT_ZARNSIM_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace support {

// Credentials zarnsim asks for and the map file hands out.
extern const char* const SIM_USER;      // "zarnadmin"
extern const char* const SIM_PASSWORD;  // "zarn-pw"

// One line of zarnsim's request log.
struct SimRequest {
  std::string operation;  // intrinsic or method name, "-" when none
  std::string target;     // class name or object path, "-" when none
  std::vector<std::pair<std::string, std::string>> details;
  std::string status;     // "ok", "cim:<code>" or "http:<code>"
  std::string line;       // the whole line

  // The value of a detail ("" when absent).
  std::string detail(const std::string& name) const;
};

// How ZarnSim starts the simulator on a scenario.
struct SimOptions {
  // --user and --password; neither when user is empty.
  std::string user = SIM_USER;
  std::string password = SIM_PASSWORD;
  // More arguments: "--https", "--cert", path, "--key", path,
  // "--local-socket", path, ...
  std::vector<std::string> args;
  // The address it listens on, and the network namespace it runs in (a
  // /proc/<pid>/ns/net path; the test's own when empty).
  std::string bind = "127.0.0.1";
  std::string netns;
};

class ZarnSim {
 public:
  // Starts zarnSimBin on the scenario (JSON text, written to a temporary
  // folder) on a free port of the options' address, with the options' credentials and
  // arguments and a request log. Check ok() before use.
  ZarnSim(const std::string& zarnSimBin, const std::string& scenarioText,
          const SimOptions& options = SimOptions());
  // Not started: start() gives the whole command line.
  explicit ZarnSim(std::string zarnSimBin);
  ~ZarnSim();  // stops the process and removes its folder
  ZarnSim(const ZarnSim&) = delete;
  ZarnSim& operator=(const ZarnSim&) = delete;

  // Starts the program with these arguments (its name is added) and waits
  // up to 60 s for its ready line. False if it did not get ready; then
  // exitStatus() tells how it ended and errors() what it said.
  bool start(const std::vector<std::string>& args);

  bool ok() const { return port_ > 0; }
  // Why it did not start (with its standard error), when !ok().
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  // The first line it printed ("zarnsim ready on port N").
  const std::string& readyLine() const { return readyLine_; }
  // Its standard error so far.
  std::string errors() const;
  // The wait status once it has ended (as from waitpid), else -1.
  int exitStatus() const { return status_; }

  // Every request so far, in order (scenario start only).
  std::vector<SimRequest> requests() const;
  // Those of one operation ("GetInstance", "FastFailover", ...).
  std::vector<SimRequest> requests(const std::string& operation) const;
  // Forgets the requests logged so far.
  void clearRequests();
  // Stops the server now (SIGTERM, SIGKILL after 5 s); the wait status.
  // requests() stays readable.
  int stop();

 private:
  bool makeFolder();

  std::string binary_;
  std::string folder_;
  std::string logPath_;
  size_t logOffset_ = 0;
  pid_t pid_ = -1;
  int port_ = 0;
  int status_ = -1;
  std::string readyLine_;
  std::string error_;
  std::string netns_;
};

// One SMI-S server entry of the map file.
struct SmisEntry {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string cimNamespace = "root/ZARN";
  std::string useSSL = "N";
  std::string user = SIM_USER;
  std::string password = SIM_PASSWORD;
};

// One DR group of the device ID map: the key (array world wide name and DR
// group name as the array knows it) and the value.
struct DeviceEntry {
  std::string storageName;
  std::string drGroupName;  // "\Data Replication\..." as the array names it
  std::string instanceId;
  std::string wwidList;
};

// An entry for the simulator under this host name, and one for a server
// that refuses connections.
SmisEntry simEntry(const ZarnSim& sim, const std::string& host = "127.0.0.1");
SmisEntry deadEntry(const std::string& host);

// The map file: the device ID map (if any) and the server list, as the
// system's own map file store writes them.
std::string mapFileText(const std::vector<SmisEntry>& servers,
                        const std::vector<DeviceEntry>& devices);

// The array variables of a package environment file.
struct ArrayVariables {
  std::string drGroup = "dg01";
  std::string dc1Wwn = "5001-4380-025B-4A80";
  std::string dc2Wwn = "5001-4380-025B-4C20";
  std::string dc1Smis = "smis-dc1";
  std::string dc1Hosts = "node1 node2";
  std::string dc2Smis = "smis-dc2";
  std::string dc2Hosts = "node3 node4";
  std::string queryTimeout;  // not written when empty
};

// A whole package environment file: the core variables and the array ones.
std::string packageEnvText(const std::string& pkgDir, const std::string& policy,
                           int waitMinutes, const ArrayVariables& array,
                           const std::string& clusterType = "nearspan");

}  // namespace support

#endif  // TESTS_SUPPORT_ZARNSIM_H
