#include "sfcore/decision_rules.h"

namespace {

// The way out of the refusals that need the DR group looked at.
const char* const CHECK_GROUP =
    "Check the DR group with ZARNGetDRState and on the arrays; start the "
    "package again once its state is sound.";
const char* const FIX_POLICY =
    "Set DT_APPLICATION_STARTUP_POLICY to AVAILABILITY_PREFERRED, "
    "DATA_CURRENCY_PREFERRED or REMOTE_PROTECTION_PREFERRED, then start the "
    "package again.";
const char* const POLICY_UNKNOWN = "The start-up policy %policy% has no start for this state.";

}  // namespace

const std::vector<DecisionRule>& decisionRules() {
  static const std::vector<DecisionRule> rules = {
      // ---- before the table ----
      {rule::ENVIRONMENT_INVALID,
       "The package environment could not be read, or holds a value drenable "
       "cannot use.",
       "package environment not valid",
       "Correct the package environment (the package log names the variable), "
       "then start the package again.",
       "fix the environment", false},
      {rule::ARRAY_SETUP_FAILED,
       "The array variables of the package, the SMI-S server list or the "
       "device ID map could not be used.",
       "array variables, server list or device map unusable",
       "Check the package's array variables, smiscred -l and zarndiscovery -l, "
       "then start the package again.",
       "see the package log", false},
      {rule::STATE_UNREADABLE,
       "The DR group's state could not be read, or the two arrays contradict "
       "each other.",
       "DR group state not readable",
       "Check the SMI-S servers (smiscred -l) and the DR group "
       "(ZARNGetDRState), then start the package again.",
       "check ZARNGetDRState", false},
      {rule::FAILSAFE_ENABLED,
       "The DR group's failsafe mode is enabled, which drenable does not "
       "support.",
       "DR group in failsafe mode",
       "Disable the DR group's failsafe mode on the array, then start the "
       "package again.",
       "disable failsafe", false},
      // ---- the table's first checks ----
      {rule::ROLE_UNKNOWN,
       "The DR group's role on this site's array is not known: no SMI-S server "
       "of this site could be used, or the array does not report it.",
       "DR group's role here unknown",
       "A node of the other site may start the package; to start it here, "
       "make an SMI-S server of this site usable (smiscred -l, "
       "ZARNGetDRState).",
       "another node may start it", false},
      {rule::LINK_UNKNOWN, "The arrays report the replication link's state as unknown.",
       "link state unknown", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::CURRENCY_UNKNOWN, "The arrays report the DR group's failsafe state as unknown.",
       "failsafe state unknown", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::LINK_INVALID, "The replication link's state is not one drenable knows.",
       "link state invalid", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::ROLE_INVALID, "The DR group's role is not one drenable knows.",
       "role invalid", CHECK_GROUP, "check ZARNGetDRState", false},
      // ---- source site, link up ----
      {rule::SRC_UP_SYNCED,
       "This site's array holds the source, the replication link is up and the "
       "destination is in step.",
       "source here, data current", nullptr, nullptr, false},
      {rule::SRC_UP_BEHIND,
       "This site's array holds the source; the destination is not in step, "
       "which %policy% accepts for a start on the source.",
       "source here, destination behind", nullptr, nullptr, false},
      {rule::SRC_UP_BEHIND_REFUSED,
       "This site's array holds the source, but the destination is not in step "
       "and %policy% starts only while the remote copy is current.",
       "destination not in step",
       "Let the destination catch up (the DR group must not be suspended), or "
       "choose another start-up policy; then start the package again.",
       "start after resync", false},
      {rule::SRC_UP_POLICY_INVALID, "The start-up policy %policy% is not one drenable knows.",
       "unknown start-up policy", FIX_POLICY, "fix the policy", false},
      {rule::SRC_UP_UNEXPECTED,
       "The arrays report a replication state a source cannot be in.",
       "state a source cannot be in", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::SRC_UP_INVALID, "The DR group's replication state is not valid.",
       "invalid DR group state", CHECK_GROUP, "check ZARNGetDRState", false},
      // ---- source site, link down ----
      {rule::SRC_DOWN_SYNCED,
       "This site's array holds the source and its data is current; the "
       "replication link is down, which %policy% accepts.",
       "source here, link down", nullptr, nullptr, false},
      {rule::SRC_DOWN_SYNCED_REFUSED,
       "This site's array holds the source, but the replication link is down "
       "and %policy% starts only while the data is replicated.",
       "replication link down",
       "Repair the replication link, or choose another start-up policy; then "
       "start the package again.",
       "repair the link", false},
      {rule::SRC_DOWN_BEHIND,
       "This site's array holds the source and its data is current; the link "
       "is down and the destination behind, which %policy% accepts.",
       "source here, link down, destination behind", nullptr, nullptr, false},
      {rule::SRC_DOWN_BEHIND_REFUSED,
       "This site's array holds the source, but the replication link is down, "
       "the destination is behind and %policy% starts only while the data is "
       "replicated.",
       "link down, destination behind",
       "Repair the replication link, or choose another start-up policy; then "
       "start the package again.",
       "repair the link", false},
      {rule::SRC_DOWN_POLICY_INVALID, "The start-up policy %policy% is not one drenable knows.",
       "unknown start-up policy", FIX_POLICY, "fix the policy", false},
      {rule::SRC_DOWN_CURRENCY_INVALID,
       "The arrays report a failsafe state drenable does not know.",
       "unknown failsafe state", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::SRC_DOWN_UNEXPECTED,
       "The arrays report a replication state a source cannot be in.",
       "state a source cannot be in", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::SRC_DOWN_INVALID, "The DR group's replication state is not valid.",
       "invalid DR group state", CHECK_GROUP, "check ZARNGetDRState", false},
      // ---- destination site, link up ----
      {rule::DST_UP_SYNCED,
       "This site's array holds the destination, the replication link is up "
       "and the data here is current: the DR group is failed over to this "
       "site.",
       "data here current", nullptr, nullptr, false},
      {rule::DST_UP_BEHIND,
       "This site's array holds the destination and the data here may not be "
       "current; %policy% fails the DR group over to this site all the same.",
       "data here may not be current", nullptr, nullptr, true},
      {rule::DST_UP_BEHIND_FORCED,
       "The data here may not be current, but an operator's FORCEFLAG file "
       "forced the failover to this site.",
       "forced by FORCEFLAG, data may not be current", nullptr, nullptr, true},
      {rule::DST_UP_BEHIND_REFUSED,
       "This site's array holds the destination and the data here may not be "
       "current (the source has writes not yet copied here), and %policy% "
       "does not start on such data.",
       "data here may not be current",
       "Let the DR group resynchronise (resume it if it is suspended) and "
       "start the package again; or, to start here on the data as it is, "
       "create the file %forceflag% and start the package again: the DR group "
       "is then failed over to this site and the writes not yet copied are "
       "given up.",
       "FORCEFLAG overrides", false},
      {rule::DST_UP_BEHIND_POLICY_INVALID, POLICY_UNKNOWN, "unknown start-up policy",
       FIX_POLICY, "fix the policy", false},
      {rule::DST_UP_UNEXPECTED,
       "The arrays report a replication state a destination cannot be in.",
       "state a destination cannot be in", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::DST_UP_COPYING_WAIT,
       "A full copy to this site was running; WAIT_TIME (%minutes% minutes) "
       "let drenable wait for its end before the failover.",
       "waited for the full copy to this site", nullptr, nullptr, false},
      {rule::DST_UP_COPYING_NO_WAIT,
       "A full copy to this site is running and WAIT_TIME is 0: drenable does "
       "not wait for it.",
       "full copy to this site running, WAIT_TIME 0",
       "Start the package again once the copy has ended (ZARNGetDRState), or "
       "set WAIT_TIME to wait for it.",
       "start again after the copy", false},
      {rule::DST_UP_MERGING_FORCED,
       "Logged writes were being merged to this site in asynchronous mode; an "
       "operator's FORCEFLAG file forced the failover without waiting.",
       "forced by FORCEFLAG during a merge", nullptr, nullptr, true},
      {rule::DST_UP_MERGING_WAIT,
       "Logged writes were being merged to this site; WAIT_TIME (%minutes% "
       "minutes) let drenable wait for the merge before the failover.",
       "waited for the merge to this site", nullptr, nullptr, false},
      {rule::DST_UP_MERGING_NO_WAIT,
       "Logged writes were being merged to this site in asynchronous mode and "
       "WAIT_TIME is 0; %policy% fails over without waiting.",
       "merge not waited for", nullptr, nullptr, true},
      {rule::DST_UP_MERGING_NO_WAIT_FORCED,
       "Logged writes were being merged in asynchronous mode and WAIT_TIME is "
       "0; an operator's FORCEFLAG file forced the failover.",
       "forced by FORCEFLAG during a merge", nullptr, nullptr, true},
      {rule::DST_UP_MERGING_NO_WAIT_REFUSED,
       "Logged writes are being merged to this site in asynchronous mode, "
       "WAIT_TIME is 0 and %policy% does not start on data that may not be "
       "current.",
       "merge to this site running, WAIT_TIME 0",
       "Start the package again once the merge has ended, or set WAIT_TIME to "
       "wait for it; or create the file %forceflag% and start again to fail "
       "over now, giving up the writes not yet merged.",
       "start again after the merge", false},
      {rule::DST_UP_MERGING_POLICY_INVALID, POLICY_UNKNOWN, "unknown start-up policy",
       FIX_POLICY, "fix the policy", false},
      {rule::DST_UP_MERGING_SYNC_NO_WAIT,
       "Logged writes are being merged to this site in synchronous mode and "
       "WAIT_TIME is 0: drenable does not wait.",
       "merge to this site running, WAIT_TIME 0",
       "Start the package again once the merge has ended, or set WAIT_TIME to "
       "wait for it.",
       "start again after the merge", false},
      {rule::DST_UP_INVALID, "The DR group's replication state is not valid.",
       "invalid DR group state", CHECK_GROUP, "check ZARNGetDRState", false},
      // ---- destination site, link down ----
      {rule::DST_DOWN_SYNCED,
       "This site's array holds the destination and its data was current when "
       "the replication link went down; %policy% fails the DR group over to "
       "this site.",
       "link down, data here current", nullptr, nullptr, false},
      {rule::DST_DOWN_SYNCED_FORCED,
       "The replication link is down and %policy% would refuse, but an "
       "operator's FORCEFLAG file forced the failover to this site.",
       "forced by FORCEFLAG, link down", nullptr, nullptr, false},
      {rule::DST_DOWN_SYNCED_REFUSED,
       "The data here is current, but the replication link is down and "
       "%policy% starts only while the data is replicated.",
       "replication link down",
       "Repair the replication link and start the package again; or create "
       "the file %forceflag% and start again to fail over to this site "
       "without remote protection.",
       "FORCEFLAG overrides", false},
      {rule::DST_DOWN_SYNCED_POLICY_INVALID, POLICY_UNKNOWN, "unknown start-up policy",
       FIX_POLICY, "fix the policy", false},
      {rule::DST_DOWN_BEHIND,
       "This site's array holds the destination, the replication link is down "
       "and the data here may not be current; %policy% fails the DR group over "
       "to this site all the same.",
       "link down, data here may not be current", nullptr, nullptr, true},
      {rule::DST_DOWN_BEHIND_FORCED,
       "The replication link is down and the data here may not be current, "
       "but an operator's FORCEFLAG file forced the failover to this site.",
       "forced by FORCEFLAG, link down", nullptr, nullptr, true},
      {rule::DST_DOWN_BEHIND_REFUSED,
       "The replication link is down and the data here may not be current, "
       "and %policy% does not start on such data.",
       "link down, data here may not be current",
       "Repair the replication link and let the DR group resynchronise, then "
       "start the package again; or create the file %forceflag% and start "
       "again: the DR group is then failed over to this site and the writes "
       "not yet copied are given up.",
       "FORCEFLAG overrides", false},
      {rule::DST_DOWN_BEHIND_POLICY_INVALID,
       "The replication link is down and the data here may not be current; "
       "the start-up policy %policy% has no start for this state.",
       "link down, data may not be current",
       "Repair the replication link and let the DR group resynchronise, then "
       "start the package again.",
       "repair the link", false},
      {rule::DST_DOWN_MERGING_WAIT,
       "The replication link is down while logged writes were being merged to "
       "this site; %policy% waits for the merge, then fails over.",
       "link down, waited for the merge", nullptr, nullptr, false},
      {rule::DST_DOWN_MERGING_FORCED,
       "The replication link went down during a merge to this site, but an "
       "operator's FORCEFLAG file forced the failover.",
       "forced by FORCEFLAG during a merge", nullptr, nullptr, true},
      {rule::DST_DOWN_MERGING_REFUSED,
       "The replication link went down during a merge to this site: the data "
       "here may not be current, and %policy% does not start on such data.",
       "link down during a merge",
       "Repair the replication link and let the merge end, then start the "
       "package again; or create the file %forceflag% and start again: the DR "
       "group is then failed over to this site and the writes not yet merged "
       "are given up.",
       "FORCEFLAG overrides", false},
      {rule::DST_DOWN_MERGING_POLICY_INVALID,
       "The replication link went down during a merge to this site; the "
       "start-up policy %policy% has no start for this state.",
       "link down during a merge",
       "Repair the replication link and let the merge end, then start the "
       "package again.",
       "repair the link", false},
      {rule::DST_DOWN_COPYING,
       "The replication link went down during a full copy to this site: the "
       "data here may be inconsistent.",
       "link down during a full copy to this site",
       "Repair the replication link and let the full copy end, then start the "
       "package again.",
       "let the copy end", false},
      {rule::DST_DOWN_UNEXPECTED,
       "The arrays report a replication state a destination cannot be in.",
       "state a destination cannot be in", CHECK_GROUP, "check ZARNGetDRState", false},
      {rule::DST_DOWN_INVALID, "The DR group's replication state is not valid.",
       "invalid DR group state", CHECK_GROUP, "check ZARNGetDRState", false},
  };
  return rules;
}

const DecisionRule* findRule(const std::string& name) {
  for (const DecisionRule& r : decisionRules())
    if (name == r.name) return &r;
  return nullptr;
}

std::string fillRuleText(const char* text, const std::string& policy,
                         long waitMinutes, const std::string& forceFlagPath) {
  std::string out = text != nullptr ? text : "";
  const std::pair<const char*, std::string> fills[] = {
      {"%policy%", policy},
      {"%minutes%", std::to_string(waitMinutes)},
      {"%forceflag%", forceFlagPath},
  };
  for (const auto& f : fills) {
    const std::string key = f.first;
    for (size_t at = out.find(key); at != std::string::npos;
         at = out.find(key, at + f.second.size()))
      out.replace(at, key.size(), f.second);
  }
  return out;
}
