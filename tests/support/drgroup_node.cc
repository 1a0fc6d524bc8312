#include "tests/support/drgroup_node.h"

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

namespace support {

const char* const DRGROUP_AGENT = "/usr/lib/ocf/resource.d/drenabler/drgroup";
const char* const DC1_ARRAY_WWN = "50014380025B4A80";
const char* const DC2_ARRAY_WWN = "50014380025B4C20";

namespace {

using json = nlohmann::json;

std::string instanceId(const char* wwn, size_t index) {
  char id[32];
  std::snprintf(id, sizeof id, "\\DRG\\%04zu", index + 1);
  return wwn + std::string(id);
}

}  // namespace

void installDrgroup(Sandbox& node, const DrgroupPrograms& programs) {
  node.writeFile(DRGROUP_AGENT, readHostFile(programs.agent), 0755);
  node.writeFile("/opt/kxcluster/bin/drenable", readHostFile(programs.drenable), 0755);
  node.writeFile("/opt/kxcluster/bin/ZARNGetDRState", readHostFile(programs.zarnGetDrState),
                 0755);
}

std::string sideState(const std::string& role, const std::string& changes) {
  json state = {{"ParticipationType", role}, {"LinkState", "good"},
                {"LogState", "normal"},      {"FailSafe", "disabled"},
                {"FailSafeLock", "no"},      {"Suspend", "no"},
                {"WriteMode", "synchronous"}, {"Fullcopystate", "no"},
                {"TotalTransmit", "0"}};
  state.update(json::parse(changes));
  return state.dump();
}

std::string twoArrayScenario(const std::vector<SimGroup>& groups) {
  json drGroups = json::array();
  for (size_t i = 0; i < groups.size(); ++i) {
    drGroups.push_back(
        {{"name", groups[i].name},
         {"sides",
          {{{"array", "dc1"}, {"instanceId", instanceId(DC1_ARRAY_WWN, i)},
            {"volumes", {"vd01"}}, {"state", json::parse(groups[i].dc1State)}},
           {{"array", "dc2"}, {"instanceId", instanceId(DC2_ARRAY_WWN, i)},
            {"volumes", {"vd01"}}, {"state", json::parse(groups[i].dc2State)}}}}});
  }
  return json{{"host", "smis-dc1"},
              {"arrays",
               {{{"id", "dc1"}, {"wwn", DC1_ARRAY_WWN},
                 {"volumes", {{{"id", "vd01"}, {"wwn", "6001438002A3C1E00000A00001240000"}}}}},
                {{"id", "dc2"}, {"wwn", DC2_ARRAY_WWN},
                 {"volumes", {{{"id", "vd01"}, {"wwn", "6001438002A3C2F00000B00003410000"}}}}}}},
              {"drGroups", drGroups}}
      .dump();
}

std::string twoArrayMapFile(const std::vector<SimGroup>& groups, int port) {
  std::vector<SmisEntry> servers(2);
  servers[0].host = "smis-dc1";
  servers[1].host = "smis-dc2";
  for (auto& s : servers) s.port = port;
  std::vector<DeviceEntry> devices;
  for (size_t i = 0; i < groups.size(); ++i) {
    const std::string name = "\\Data Replication\\" + groups[i].name;
    devices.push_back({DC1_ARRAY_WWN, name, instanceId(DC1_ARRAY_WWN, i),
                       "6001438002A3C1E00000A00001240000"});
    devices.push_back({DC2_ARRAY_WWN, name, instanceId(DC2_ARRAY_WWN, i),
                       "6001438002A3C2F00000B00003410000"});
  }
  return mapFileText(servers, devices);
}

namespace {

// Where the attribute doubles keep the values: <folder>/<node>/<name>.
const char* const ATTRIBUTE_FOLDER = "/var/lib/attribute-double";

// attrd_updater and crm_attribute in one script, told apart by its name.
const char* const ATTRIBUTE_DOUBLE =
    "#!/bin/sh\n"
    "store=/var/lib/attribute-double\n"
    "node=$(uname -n); name=; value=; delete=; get=\n"
    "while [ $# -gt 0 ]; do\n"
    "  case $1 in\n"
    "  -n) name=$2; shift ;;\n"
    "  -N) node=$2; shift ;;\n"
    "  -U|-v) value=$2; shift ;;\n"
    "  -l) shift ;;\n"
    "  -D) delete=1 ;;\n"
    "  -G) get=1 ;;\n"
    "  esac\n"
    "  shift\n"
    "done\n"
    "file=$store/$node/$name\n"
    "if [ -n \"$get\" ]; then\n"
    "  [ -f \"$file\" ] || exit 105\n"
    "  cat \"$file\"; echo; exit 0\n"
    "fi\n"
    "if [ -n \"$delete\" ]; then rm -f \"$file\"; exit 0; fi\n"
    "mkdir -p \"$store/$node\" && printf '%s' \"$value\" > \"$file\"\n";

}  // namespace

void installNodeAttributes(Sandbox& node, const std::vector<std::string>& clusterNodes) {
  node.writeFile("/usr/sbin/attrd_updater", ATTRIBUTE_DOUBLE, 0755);
  node.writeFile("/usr/sbin/crm_attribute", ATTRIBUTE_DOUBLE, 0755);
  std::string list;
  for (size_t i = 0; i < clusterNodes.size(); ++i)
    list += std::to_string(i + 1) + " " + clusterNodes[i] + " member\n";
  node.writeFile("/usr/sbin/crm_node",
                 "#!/bin/sh\n[ \"$1\" = -l ] || exit 1\nprintf '%s' '" + list + "'\n", 0755);
  node.makeDir(ATTRIBUTE_FOLDER);
}

std::map<std::string, std::string> nodeAttributes(const Sandbox& node,
                                                  const std::string& clusterNode) {
  std::map<std::string, std::string> out;
  const std::string folder = node.hostPath(std::string(ATTRIBUTE_FOLDER) + "/" + clusterNode);
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(folder, ignored))
    out[e.path().filename().string()] = readHostFile(e.path().string());
  return out;
}

std::vector<std::string> exitReasons(const std::string& err) {
  const std::string prefix = "ocf-exit-reason:";
  std::vector<std::string> out;
  std::istringstream lines(err);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  return out;
}

}  // namespace support
