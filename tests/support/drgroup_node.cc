#include "tests/support/drgroup_node.h"

#include <cstdio>
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
