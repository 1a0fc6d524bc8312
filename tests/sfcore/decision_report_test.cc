// The decision record made readable: the short reason a cluster shows, the
// site that holds the source after a run, the journal entry, and drenable
// -explain over a decision log on a real folder.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "drif/decision_log.h"
#include "drif/decision_record.h"
#include "sfcore/decision_explain.h"
#include "sfcore/decision_facts.h"
#include "sfcore/decision_report.h"
#include "sfcore/decision_rules.h"
#include "tests/support/fake_platform.h"
#include "tests/support/files.h"

namespace {

using nlohmann::json;

json destination(json more) {
  json r = {{"site", "DC2"},
            {"policy", "DATA_CURRENCY_PREFERRED"},
            {"state", {{"role", "TARGET"}, {"link", "UP"}}}};
  for (auto it = more.begin(); it != more.end(); ++it) r[it.key()] = it.value();
  return r;
}

TEST(DecisionReportTest, ShortReasonLeadsWithOutcomeThenCausePolicyAndWayOut) {
  const std::string longPolicy(200, 'P');
  const struct {
    const char* name;
    json record;
    std::string reason;
  } cases[] = {
      {"RefusedNotCurrent",
       destination({{"rule", "destination-link-up-behind-refused"}, {"exit", 1},
                    {"action", "refuse"}, {"writes_outstanding", 17}}),
       "refused: data here may not be current (17 writes behind); DATA_CURRENCY_PREFERRED; "
       "FORCEFLAG overrides"},
      {"StartedOnTheSource",
       {{"rule", "source-link-up-synced"}, {"exit", 0}, {"action", "start"},
        {"policy", "AVAILABILITY_PREFERRED"}, {"state", {{"role", "SOURCE"}}}},
       "started: source here, data current; AVAILABILITY_PREFERRED"},
      {"FailedOverGivingUpWrites",
       destination({{"rule", "destination-link-up-behind"}, {"exit", 3}, {"action", "failover"},
                    {"policy", "AVAILABILITY_PREFERRED"}, {"writes_given_up", 17}}),
       "started after failover to DC2: data here may not be current (17 writes given up); "
       "AVAILABILITY_PREFERRED"},
      {"NoUsableServer",
       {{"rule", "role-unknown"}, {"exit", 2}, {"site", "DC2"}, {"action", "refuse-here"},
        {"policy", "AVAILABILITY_PREFERRED"},
        {"failures", {{{"request", "local state"}, {"error", "Cannot find a local usable SMI-S."}}}}},
       "refused here: no usable SMI-S server of DC2; AVAILABILITY_PREFERRED; another node may "
       "start it"},
      {"TimeLimitBeforeTheFailover",
       destination({{"rule", "destination-link-up-synced"}, {"exit", 1}, {"action", "failover"},
                    {"time_limit", 880}, {"time_limit_reached", "failover"}}),
       "refused: start time limit of 880 s ran out before the failover; "
       "DATA_CURRENCY_PREFERRED; raise the start time-out"},
      {"MergeOutlastedWaitTime",
       destination({{"rule", "destination-link-up-merging-wait"}, {"exit", 1},
                    {"action", "wait-for-merge"},
                    {"waits", {{{"for", "merge"}, {"end", "expired"}, {"writes", {40, 40}}}}}}),
       "refused: WAIT_TIME ran out waiting for the merge (40 writes left); "
       "DATA_CURRENCY_PREFERRED; raise WAIT_TIME or retry later"},
      {"FailoverAnswerLost",
       destination({{"rule", "destination-link-up-synced"}, {"exit", 1}, {"action", "failover"},
                    {"failovers", {{{"code", nullptr}, {"answered", false}}}}}),
       "refused: no answer to the failover; check ZARNGetDRState; DATA_CURRENCY_PREFERRED"},
      {"PreviewOfAFailover",
       destination({{"rule", "destination-link-up-synced"}, {"exit", 0}, {"action", "failover"},
                    {"preview", true}}),
       "preview: would fail over to DC2: data here current; DATA_CURRENCY_PREFERRED"},
      {"EndedBeforeTheTable",
       {{"rule", "environment-invalid"}, {"exit", 1}, {"policy", "DATA_CURRENCY_PREFERRED"}},
       "refused: package environment not valid; DATA_CURRENCY_PREFERRED; fix the environment"},
      {"EndedBeforeTheTableOnAnError",
       {{"rule", "array-setup-failed"}, {"exit", 1}, {"policy", "DATA_CURRENCY_PREFERRED"},
        {"first_error", "Error - The DC2_SMIS_LIST variable has not been set properly."}},
       "refused: The DC2_SMIS_LIST variable has not been set properly; DATA_CURRENCY_PREFERRED; "
       "see the package log"},
      {"CutToFit", {{"rule", "source-link-up-policy-invalid"}, {"exit", 1}, {"policy", longPolicy}},
       "refused: unknown start-up policy; " + longPolicy.substr(0, 128 - 3 - 34) + "..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string reason = shortReason(c.record);
    EXPECT_EQ(reason, c.reason);
    EXPECT_LE(reason.size(), MAX_REASON);
  }
}

TEST(DecisionReportTest, SourceSiteAfterTheRun) {
  const json sourceHere = {{"site", "DC1"}, {"state", {{"role", "SOURCE"}}}};
  const struct {
    const char* name;
    json record;
    const char* site;
  } cases[] = {
      {"SourceHere", sourceHere, "DC1"},
      {"FailedOverHere", destination({{"failovers", {{{"code", 0}}}}}), "DC2"},
      {"Refused", destination({}), "DC1"},
      {"FailoverRefusedByTheArray", destination({{"failovers", {{{"code", 4}, {"refusal", 32801}}}}}),
       "DC1"},
      {"FailoverAnswerLost", destination({{"failovers", {{{"code", nullptr}, {"answered", false}}}}}),
       ""},
      {"RoleNotRead", {{"site", "DC1"}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(facts::sourceSiteAfter(c.record), c.site);
  }
}

TEST(DecisionReportTest, JournalEntryCarriesThePlainFieldsAndTheRecord) {
  const json r = destination({{"rule", "destination-link-up-behind-refused"}, {"exit", 1},
                              {"package", "pkg1"}, {"reason", "refused: why"},
                              {"writes_outstanding", 17}});
  const std::vector<std::string> fields = journalFields(r);
  auto has = [&fields](const std::string& f) {
    return std::find(fields.begin(), fields.end(), f) != fields.end();
  };
  EXPECT_TRUE(has("MESSAGE=drenable: package pkg1: refused: why"));
  EXPECT_TRUE(has("MESSAGE_ID=a03ebe107da641489bf7b3d7daaa0983"));
  EXPECT_TRUE(has("PRIORITY=4"));
  EXPECT_TRUE(has("DRENABLE_RULE=destination-link-up-behind-refused"));
  EXPECT_TRUE(has("DRENABLE_WRITES_OUTSTANDING=17"));
  EXPECT_TRUE(has("DRENABLE_RECORD=" + recordLine(r)));
  EXPECT_FALSE(has("DRENABLE_STATE=" + recordLine(r["state"])));  // only in the record
}

// Every rule has its words, and the manual page names every rule (its names
// are what monitors rely on).
TEST(DecisionReportTest, EveryRuleIsExplainedAndDocumented) {
  std::string page = support::slurp(std::string(DRE_SOURCE_DIR) + "/man/drenable.8");
  for (size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at))
    page.erase(at, 1);
  std::set<std::string> names;
  for (const DecisionRule& r : decisionRules()) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(names.insert(r.name).second) << "named twice";
    EXPECT_NE(page.find(r.name), std::string::npos) << "not in drenable(8)";
    EXPECT_TRUE(r.cause != nullptr && r.shortCause != nullptr);
    EXPECT_EQ(r.wayOut == nullptr, r.shortWayOut == nullptr);
  }
}

// Given a decision log with a damaged line among good ones, -explain shows
// the good ones asked for and names the damaged one.
TEST(DecisionExplainTest, ReadsTheLastRecordsAndNamesADamagedOne) {
  fake::ScopedLogger logger;
  support::TempDir dir;
  const std::string env = dir.path() + "/pkg1.env";
  support::spit(env, "PKGDIR=" + dir.path() + "\n");
  const json first = {{"time", "2026-12-09T01:00:00Z"}, {"exit", 0}, {"package", "pkg1"}};
  const json last = {{"time", "2026-12-09T02:00:00Z"}, {"exit", 1}, {"package", "pkg1"},
                     {"reason", "refused: because"}, {"site", "DC2"}};
  support::spit(decisionLogPath(dir.path()),
                recordLine(first) + "\n{\"exit\":\n" + recordLine(last) + "\n");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"-json", env}, 0, recordLine(last) + "\n", ""},
      {{"-json", "-n", "3", env},
       1,
       recordLine(first) + "\n" + recordLine(last) + "\n",
       "drenable -explain: line 2 of " + decisionLogPath(dir.path()) +
           " is not a decision record (it is not JSON)\n"},
      {{"-summary", env},
       0,
       "time=2026-12-09T02:00:00Z\nexit=1\noutcome=refused\nrule=\nreason=refused: because\n"
       "site=DC2\nrole=\nlink=\nwrites_outstanding=\nsource_site=\n",
       ""},
      {{"-n", "x", env}, 2, "", ""},
      {{"-json", "-summary", env}, 2, "", ""},
      {{}, 2, "", ""},
      {{dir.path() + "/none.env"}, 1, "",
       "drenable -explain: no package directory (PKGDIR) could be read from " + dir.path() +
           "/none.env\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(explainDecisions(c.args, out, err), c.status) << err.str();
    EXPECT_EQ(out.str(), c.out);
    if (c.status != 2) {
      EXPECT_EQ(err.str(), c.err);
    }
  }
}

}  // namespace
