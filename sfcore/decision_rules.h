// The rules of the start-up decision, by the stable names the decision
// record and drenable -explain use: one name a row of the decision table
// (core_data_rep.cc), and one for each way a run ends before the table is
// asked. The same name always means the same row; a new row gets a new
// name. Each rule carries the words that explain it.
#ifndef SFCORE_DECISION_RULES_H
#define SFCORE_DECISION_RULES_H

#include <string>
#include <vector>

namespace rule {
// Before the table.
constexpr char ENVIRONMENT_INVALID[] = "environment-invalid";
constexpr char ARRAY_SETUP_FAILED[] = "array-setup-failed";
constexpr char STATE_UNREADABLE[] = "state-unreadable";
constexpr char FAILSAFE_ENABLED[] = "failsafe-enabled";
// The table's checks before the role and the link.
constexpr char ROLE_UNKNOWN[] = "role-unknown";
constexpr char LINK_UNKNOWN[] = "link-unknown";
constexpr char CURRENCY_UNKNOWN[] = "currency-unknown";
constexpr char LINK_INVALID[] = "link-invalid";
constexpr char ROLE_INVALID[] = "role-invalid";
// Source site, link up.
constexpr char SRC_UP_SYNCED[] = "source-link-up-synced";
constexpr char SRC_UP_BEHIND[] = "source-link-up-destination-behind";
constexpr char SRC_UP_BEHIND_REFUSED[] = "source-link-up-destination-behind-refused";
constexpr char SRC_UP_POLICY_INVALID[] = "source-link-up-policy-invalid";
constexpr char SRC_UP_UNEXPECTED[] = "source-link-up-unexpected-state";
constexpr char SRC_UP_INVALID[] = "source-link-up-invalid-state";
// Source site, link down.
constexpr char SRC_DOWN_SYNCED[] = "source-link-down-synced";
constexpr char SRC_DOWN_SYNCED_REFUSED[] = "source-link-down-synced-refused";
constexpr char SRC_DOWN_BEHIND[] = "source-link-down-destination-behind";
constexpr char SRC_DOWN_BEHIND_REFUSED[] = "source-link-down-destination-behind-refused";
constexpr char SRC_DOWN_POLICY_INVALID[] = "source-link-down-policy-invalid";
constexpr char SRC_DOWN_CURRENCY_INVALID[] = "source-link-down-currency-invalid";
constexpr char SRC_DOWN_UNEXPECTED[] = "source-link-down-unexpected-state";
constexpr char SRC_DOWN_INVALID[] = "source-link-down-invalid-state";
// Destination site, link up.
constexpr char DST_UP_SYNCED[] = "destination-link-up-synced";
constexpr char DST_UP_BEHIND[] = "destination-link-up-behind";
constexpr char DST_UP_BEHIND_FORCED[] = "destination-link-up-behind-forced";
constexpr char DST_UP_BEHIND_REFUSED[] = "destination-link-up-behind-refused";
constexpr char DST_UP_BEHIND_POLICY_INVALID[] = "destination-link-up-behind-policy-invalid";
constexpr char DST_UP_UNEXPECTED[] = "destination-link-up-unexpected-state";
constexpr char DST_UP_COPYING_WAIT[] = "destination-link-up-copying-wait";
constexpr char DST_UP_COPYING_NO_WAIT[] = "destination-link-up-copying-no-wait";
constexpr char DST_UP_MERGING_FORCED[] = "destination-link-up-merging-forced";
constexpr char DST_UP_MERGING_WAIT[] = "destination-link-up-merging-wait";
constexpr char DST_UP_MERGING_NO_WAIT[] = "destination-link-up-merging-no-wait";
constexpr char DST_UP_MERGING_NO_WAIT_FORCED[] = "destination-link-up-merging-no-wait-forced";
constexpr char DST_UP_MERGING_NO_WAIT_REFUSED[] = "destination-link-up-merging-no-wait-refused";
constexpr char DST_UP_MERGING_POLICY_INVALID[] = "destination-link-up-merging-policy-invalid";
constexpr char DST_UP_MERGING_SYNC_NO_WAIT[] = "destination-link-up-merging-synchronous-no-wait";
constexpr char DST_UP_INVALID[] = "destination-link-up-invalid-state";
// Destination site, link down.
constexpr char DST_DOWN_SYNCED[] = "destination-link-down-synced";
constexpr char DST_DOWN_SYNCED_FORCED[] = "destination-link-down-synced-forced";
constexpr char DST_DOWN_SYNCED_REFUSED[] = "destination-link-down-synced-refused";
constexpr char DST_DOWN_SYNCED_POLICY_INVALID[] = "destination-link-down-synced-policy-invalid";
constexpr char DST_DOWN_BEHIND[] = "destination-link-down-behind";
constexpr char DST_DOWN_BEHIND_FORCED[] = "destination-link-down-behind-forced";
constexpr char DST_DOWN_BEHIND_REFUSED[] = "destination-link-down-behind-refused";
constexpr char DST_DOWN_BEHIND_POLICY_INVALID[] = "destination-link-down-behind-policy-invalid";
constexpr char DST_DOWN_MERGING_WAIT[] = "destination-link-down-merging-wait";
constexpr char DST_DOWN_MERGING_FORCED[] = "destination-link-down-merging-forced";
constexpr char DST_DOWN_MERGING_REFUSED[] = "destination-link-down-merging-refused";
constexpr char DST_DOWN_MERGING_POLICY_INVALID[] = "destination-link-down-merging-policy-invalid";
constexpr char DST_DOWN_COPYING[] = "destination-link-down-copying";
constexpr char DST_DOWN_UNEXPECTED[] = "destination-link-down-unexpected-state";
constexpr char DST_DOWN_INVALID[] = "destination-link-down-invalid-state";
}  // namespace rule

// The actions, as the record names them.
namespace action {
constexpr char START[] = "start";
constexpr char REFUSE[] = "refuse";
constexpr char REFUSE_HERE[] = "refuse-here";
constexpr char FAILOVER[] = "failover";
constexpr char WAIT_FOR_COPY[] = "wait-for-copy";
constexpr char WAIT_FOR_MERGE[] = "wait-for-merge";
constexpr char NONE[] = "none";
}  // namespace action

// In the texts, "%policy%" stands for the start-up policy, "%minutes%" for
// WAIT_TIME in minutes and "%forceflag%" for the FORCEFLAG file's path.
struct DecisionRule {
  const char* name;
  // Why the decision came out so, in one sentence.
  const char* cause;
  // The cause in a few words, for the short reason.
  const char* shortCause;
  // What an operator can do about it; null when the rule starts the package.
  const char* wayOut;
  // The way out in a few words; null leaves the policy to end the reason.
  const char* shortWayOut;
  // The rule goes ahead on data that may not be current: the writes still
  // on their way from the source are given up.
  bool givesUpWrites;
};

// The rule of that name; null for a name no rule has.
const DecisionRule* findRule(const std::string& name);
const std::vector<DecisionRule>& decisionRules();

// text with the placeholders filled in.
std::string fillRuleText(const char* text, const std::string& policy,
                         long waitMinutes, const std::string& forceFlagPath);

#endif  // SFCORE_DECISION_RULES_H
