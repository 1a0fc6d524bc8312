// Load and save times and peak memory of the map file store, at two sizes,
// to show that the cost grows linearly with the size of the map.
//
//   map_bench [folder]
//
// Each size runs in a child process of its own so that its peak memory is
// its own. Saves include the flush to disk; the folder (default /tmp) says
// which disk.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

namespace {

struct Size {
  int servers;
  int groups;
  int disks;  // per DR group
};

const int STORAGE_SYSTEMS = 100;
const int REPEATS = 7;

long peakKB() {
  struct rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Median time of fn in milliseconds.
double timeMs(const std::function<void()>& fn) {
  std::vector<double> times;
  for (int i = 0; i < REPEATS; ++i) {
    auto start = std::chrono::steady_clock::now();
    fn();
    std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - start;
    times.push_back(took.count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void fail(const char* what, const std::string& why) {
  std::fprintf(stderr, "map_bench: %s: %s\n", what, why.c_str());
  std::exit(1);
}

void runSize(const std::string& folder, const Size& size) {
  const std::string path = folder + "/map_bench." + std::to_string(getpid());
  long before = peakKB();

  SMISManager servers(false, path);
  for (int i = 0; i < size.servers; ++i) {
    SMISData d;
    d.hostname = "smis-" + std::to_string(i) + ".example.com";
    d.port = 5989;
    d.cimNamespace = "root/eva";
    d.useSSL = "Y";
    d.username = "administrator";
    d.password = "password-" + std::to_string(i);
    servers.addOrUpdateSMIS(d);
  }
  ZARNIDMap map(false, path);
  for (int g = 0; g < size.groups; ++g) {
    char storage[17];
    std::snprintf(storage, sizeof storage, "5001438002%06d",
                  g % STORAGE_SYSTEMS);
    DeviceID d;
    d.instanceID = "5001438002-DRG-" + std::to_string(g);
    for (int k = 0; k < size.disks; ++k) {
      char wwid[40];
      std::snprintf(wwid, sizeof wwid, "6005-08b4-0010-%04x-0000-%08x", k, g);
      if (k > 0) d.wwidList += ",";
      d.wwidList += wwid;
    }
    map.setID(storage, "\\Data Replication\\DRG_" + std::to_string(g), d);
  }

  if (servers.writeFile() != 0) fail("server list save", servers.getErrorMessage());
  if (map.writeFile() != 0) fail("device ID map save", map.getErrorMessage());

  double saveServers = timeMs([&] {
    if (servers.writeFile() != 0) fail("save", servers.getErrorMessage());
  });
  double saveMap = timeMs([&] {
    if (map.writeFile() != 0) fail("save", map.getErrorMessage());
  });
  SMISManager loadedServers(false, path);
  double loadServers = timeMs([&] {
    if (loadedServers.readFile(true) != 0)
      fail("load", loadedServers.getErrorMessage());
  });
  ZARNIDMap loadedMap(false, path);
  double loadMap = timeMs([&] {
    if (loadedMap.readFile() != 0) fail("load", loadedMap.getErrorMessage());
  });

  FILE* f = std::fopen(path.c_str(), "rb");
  long bytes = 0;
  if (f != nullptr) {
    std::fseek(f, 0, SEEK_END);
    bytes = std::ftell(f);
    std::fclose(f);
  }
  unlink(path.c_str());
  unlink((path + ".lock").c_str());

  std::printf("%7d %7d %5d %9.1f | %10.2f %10.2f %10.2f %10.2f | %8ld %8ld\n",
              size.servers, size.groups, size.disks, bytes / 1048576.0,
              loadServers, saveServers, loadMap, saveMap, peakKB() / 1024,
              (peakKB() - before) / 1024);
}

}  // namespace

int main(int argc, char* argv[]) {
  std::string folder = argc > 1 ? argv[1] : "/tmp";
  const std::vector<Size> sizes = {{1000, 10000, 8}, {2000, 20000, 8}};
  std::printf(
      "map file store: median of %d runs, times in ms, memory in MiB\n"
      "servers  groups disks  file MiB | load list  save list   load map   "
      "save map | peak RSS  growth\n",
      REPEATS);
  std::fflush(stdout);
  for (const Size& size : sizes) {
    pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
      runSize(folder, size);
      std::fflush(stdout);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  }
  return 0;
}
