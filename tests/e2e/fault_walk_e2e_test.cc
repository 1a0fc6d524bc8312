// drenable with a fault on the wire: three decisions (a failover, a
// synchronous merge wait, a start refused for data currency), each run
// once clean and then once for every request of the clean run broken in
// every way zarnsim can break it. What the data allows is not each
// message but a few things that must never happen: a start or a switch
// where the clean run refuses, a second FastFailover, a switch without a
// success received, a failover before a reading that shows the merge done.
// The waits cost nothing (sleep() is skipped, the wall clock jumps ahead)
// and libfaketime runs the clock ten times faster, so that a query
// time-out of one second is a tenth of one.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"
#include "tests/support/zarnsim.h"

namespace {

using json = nlohmann::json;

const char* const DC1_WWN = "50014380025B4A80";  // the source's array
const char* const DC2_WWN = "50014380025B4C20";  // this node's: the destination
const char* const PKGDIR = "/opt/kxcluster/pkg/pkg1";
const char* const ENV_FILE = "/opt/kxcluster/pkg/pkg1/pkg1.env";

// The query time-out (and the bound on a new connection) is 100 ms of
// real time; a late answer comes three times later.
const char* const FAKETIME = "@2024-01-01 00:00:00 x10";
const char* const QUERY_TIME_OUT = "1";
const unsigned LATE_MS = 300;

// The source is merging 40 writes, 10 a read of the DR group: the fifth
// read of the group (either side) is the first to show the merge done.
const int READS_BEFORE_MERGED = 4;

json side(const char* role, const json& changes = json::object()) {
  json s = {{"ParticipationType", role}, {"LinkState", "good"},
            {"LogState", "normal"},      {"FailSafe", "disabled"},
            {"FailSafeLock", "no"},      {"Suspend", "no"},
            {"WriteMode", "synchronous"}, {"Fullcopystate", "no"},
            {"TotalTransmit", "0"}};
  for (auto it = changes.begin(); it != changes.end(); ++it) s[it.key()] = it.value();
  return s;
}

struct Decision {
  const char* name;
  const char* policy;
  int waitMinutes;
  json source;
  json more;  // further members of the DR group (countdowns)
  bool merge;
  int cleanExit;
};

const Decision DECISIONS[] = {
    {"failover", "AVAILABILITY_PREFERRED", 0, side("source"), json::object(), false, 3},
    {"merge", "DATA_CURRENCY_PREFERRED", 3,
     side("source", {{"LogState", "merging"}, {"TotalTransmit", "40"}}),
     {{"countdowns",
       {{{"side", "source"}, {"step", 10},
         {"then", {{{"side", "source"}, {"set", {{"LogState", "normal"}}}}}}}}}},
     true, 3},
    {"refused", "DATA_CURRENCY_PREFERRED", 0, side("source", {{"LogState", "logging"}}),
     json::object(), false, 1},
};

struct Fault {
  const char* name;
  json spec;
  bool carriedOut;
};

const Fault FAULTS[] = {
    {"closed before", {{"action", "drop"}}, false},
    {"closed after", {{"action", "drop"}, {"execute", true}}, true},
    {"late", {{"action", "delay"}, {"delayMs", LATE_MS}}, true},
    {"CIM error", {{"action", "cimError"}}, false},
    {"HTTP 500", {{"action", "http500"}}, false},
    {"garbled", {{"action", "garbled"}, {"execute", true}}, true},
};

struct Outcome {
  support::RunResult run;
  std::vector<support::SimRequest> requests;
};

// One run of drenable on node3 (data centre 2, the destination), against a
// simulator of its own with at most this one fault on the request at index.
// The node is kept from run to run: each run writes its files afresh.
Outcome decide(support::Sandbox& node, const Decision& d, const Fault* fault, size_t index) {
  json group = {{"name", "dg01"},
                {"sides",
                 {{{"array", "dc1"}, {"volumes", {"vd01"}}, {"state", d.source}},
                  {{"array", "dc2"}, {"volumes", {"vd01"}}, {"state", side("destination")}}}}};
  for (auto it = d.more.begin(); it != d.more.end(); ++it) group[it.key()] = it.value();
  json faults = json::array();
  if (fault != nullptr) {
    json f = fault->spec;
    f["skip"] = index;
    f["times"] = 1;
    faults.push_back(f);
  }
  json scenario = {
      {"arrays",
       {{{"id", "dc1"}, {"wwn", DC1_WWN}, {"volumes", {{{"id", "vd01"}, {"wwn", "600A0001"}}}}},
        {{"id", "dc2"}, {"wwn", DC2_WWN}, {"volumes", {{{"id", "vd01"}, {"wwn", "600B0001"}}}}}}},
      {"drGroups", {group}},
      {"faults", faults}};
  support::ZarnSim sim(ZARNSIM_BIN, scenario.dump());
  EXPECT_TRUE(sim.ok()) << sim.error();

  node.writeFile("/etc/hosts", "127.0.0.1\tlocalhost smis-dc1 smis-dc2\n");
  std::vector<support::SmisEntry> servers(2);
  servers[0].host = "smis-dc1";
  servers[1].host = "smis-dc2";
  for (auto& s : servers) s.port = sim.port();
  const std::string name = "\\Data Replication\\dg01";
  node.writeFile(support::MAP_FILE,
                 support::mapFileText(servers,
                                      {{DC1_WWN, name, std::string(DC1_WWN) + "\\DRG\\0001",
                                        "600A0001"},
                                       {DC2_WWN, name, std::string(DC2_WWN) + "\\DRG\\0001",
                                        "600B0001"}}),
                 0600);
  support::ArrayVariables vars;
  vars.queryTimeout = QUERY_TIME_OUT;
  node.makeDir(PKGDIR);
  node.writeFile(ENV_FILE, support::packageEnvText(PKGDIR, d.policy, d.waitMinutes, vars));

  support::RunOptions o;
  o.args = {ENV_FILE, "0", "0", "", ""};
  o.env["PACKAGE"] = "pkg1";
  support::preloadFakeTime(o, SKIP_SLEEP_LIB, FAKETIME);
  o.timeoutSeconds = 10;
  Outcome out{node.run(DRENABLE_BIN, o), {}};
  EXPECT_EQ(out.run.setupError, "");
  out.requests = sim.requests();
  return out;
}

bool faulted(const support::SimRequest& r) { return !r.detail("fault").empty(); }
bool readOfTheGroup(const support::SimRequest& r) {
  return r.operation == "GetInstance" && r.target.find("QNZARN_ConsistencySet") == 0;
}

// What must never happen, whatever the fault; every breach is reported.
void checkInvariants(const Decision& d, const Fault& fault, const Outcome& clean,
                     const Outcome& o) {
  EXPECT_FALSE(o.run.timedOut);
  EXPECT_GE(o.run.exitCode, 0);
  EXPECT_LE(o.run.exitCode, 3);
  const bool cleanRefuses = clean.run.exitCode == 1 || clean.run.exitCode == 2;
  if (cleanRefuses) {
    EXPECT_NE(o.run.exitCode, 0) << "a start the data does not allow";
    EXPECT_NE(o.run.exitCode, 3) << "a switch the data does not allow";
  }

  size_t failovers = 0, carriedOut = 0, received = 0;
  int groupReads = 0;
  bool mergeSeenDone = false;
  for (const support::SimRequest& r : o.requests) {
    const bool executed = !faulted(r) || fault.carriedOut;
    if (r.operation == "FastFailover") {
      ++failovers;
      if (executed && r.detail("return") == "0") ++carriedOut;
      if (!faulted(r) && r.status == "ok" && r.detail("return") == "0") ++received;
      EXPECT_TRUE(mergeSeenDone || !d.merge) << "failover before the merge was seen done";
    }
    if (readOfTheGroup(r)) {
      if (!faulted(r) && r.target.find(DC1_WWN) != std::string::npos &&
          groupReads >= READS_BEFORE_MERGED)
        mergeSeenDone = true;
      if (executed) ++groupReads;
    }
  }
  EXPECT_LE(failovers, 1u) << "FastFailover sent again";
  EXPECT_LE(carriedOut, 1u);
  EXPECT_TRUE(o.run.exitCode != 3 || received == 1) << "a switch without a success received";
}

// Every run adds one decision record; a run whose outcome the fault
// changed has a record that names a request that failed (the faulted one,
// or one the fault made fail after it: a time-out on a slow machine counts
// too).
void checkRecord(const support::Sandbox& node, size_t runsOnNode, const Outcome& clean,
                 const Outcome& o) {
  const std::string text = node.readFile(std::string(PKGDIR) + "/decisions.jsonl").value_or("");
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(runsOnNode)) << text;
  const size_t start = text.rfind('\n', text.size() - 2);
  const json rec = json::parse(text.substr(start == std::string::npos ? 0 : start + 1));
  EXPECT_EQ(rec["exit"], o.run.exitCode);
  if (o.run.exitCode == clean.run.exitCode) return;
  bool named = false;
  for (const json& f : rec.value("failures", json::array()))
    named = named || f["request"] == "local state" || f["request"] == "remote state" ||
            f["request"] == "failover";
  for (const json& f : rec.value("failovers", json::array())) named = named || f["code"].is_null();
  EXPECT_TRUE(named) << "the record names no request that failed: " << rec.dump();
}

TEST(FaultWalkE2E, NoFaultOnTheWireStartsOrSwitchesWhatTheDataDoesNotAllow) {
  const auto began = std::chrono::steady_clock::now();
  size_t runs = 0;
  for (const Decision& d : DECISIONS) {
    SCOPED_TRACE(d.name);
    support::Sandbox node("node3");
    Outcome clean = decide(node, d, nullptr, 0);
    ++runs;
    size_t runsOnNode = 1;
    ASSERT_EQ(clean.run.exitCode, d.cleanExit) << clean.run.describe();
    int exits[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < clean.requests.size(); ++i) {
      for (const Fault& f : FAULTS) {
        Outcome o = decide(node, d, &f, i);
        ++runs;
        ++runsOnNode;
        std::string tried = std::string(f.name) + " on request " + std::to_string(i) + " (" +
                            clean.requests[i].operation + ")";
        SCOPED_TRACE(tried);
        checkInvariants(d, f, clean, o);
        checkRecord(node, runsOnNode, clean, o);
        if (o.run.exitCode >= 0 && o.run.exitCode <= 3) ++exits[o.run.exitCode];
        if (::testing::Test::HasFailure()) {
          ADD_FAILURE() << o.run.describe();
          return;
        }
      }
    }
    std::printf("%s: clean exit %d after %zu requests; faulted exits 0:%d 1:%d 2:%d 3:%d\n",
                d.name, clean.run.exitCode, clean.requests.size(), exits[0], exits[1], exits[2],
                exits[3]);
  }
  std::printf("%zu runs in %.1f s\n", runs,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
}

}  // namespace
