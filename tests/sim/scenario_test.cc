// Reading scenario files: defaults, and one clear message per mistake.
#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace sim {
namespace {

TEST(ScenarioTest, DefaultsForNamesIdsAndState) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(parseScenario(R"(
    // Comments are allowed.
    {"arrays": [{"id": "a", "wwn": "1111222233334444",
                 "volumes": [{"id": "v", "wwn": "60014380"}]},
                {"id": "b", "wwn": "5555666677778888"}],
     "drGroups": [{"name": "x", "sides": [{"array": "a"}, {"array": "b"}]},
                  {"name": "y", "elementName": "custom", "sides": [
                    {"array": "b", "instanceId": "5555666677778888:7"}]}]})",
                            &s, &error))
      << error;
  const Model& m = s.model;
  EXPECT_EQ("root/ZARN", m.nameSpace);
  EXPECT_EQ("MXRud", m.qnKey);
  EXPECT_EQ("a", m.arrays[0].name);
  EXPECT_EQ("v", m.arrays[0].volumes[0].deviceId);
  EXPECT_EQ("v", m.arrays[0].volumes[0].name);
  const DrGroup& x = m.drGroups[0];
  EXPECT_EQ("\\Data Replication\\x", x.elementName);
  EXPECT_EQ("1111222233334444\\DRG\\0001", x.sides[0].instanceId);
  EXPECT_EQ("5555666677778888\\DRG\\0001", x.sides[1].instanceId);
  EXPECT_EQ("source", Model::stateText(x.sides[0], "ParticipationType"));
  EXPECT_EQ("destination", Model::stateText(x.sides[1], "ParticipationType"));
  EXPECT_EQ("good", Model::stateText(x.sides[1], "LinkState"));
  EXPECT_EQ("normal", Model::stateText(x.sides[1], "LogState"));
  EXPECT_EQ("disabled", Model::stateText(x.sides[1], "FailSafe"));
  EXPECT_EQ(4u, x.sides[0].state.size()) << "optional properties start absent";
  EXPECT_EQ("custom", m.drGroups[1].elementName);
  EXPECT_EQ("5555666677778888:7", m.drGroups[1].sides[0].instanceId);
}

TEST(ScenarioTest, StatePropertiesKeepTheirServedOrder) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(parseScenario(R"({"arrays": [{"id": "a", "wwn": "w"}],
      "drGroups": [{"name": "x", "sides": [{"array": "a", "state":
        {"TotalTransmit": "4", "Extra": "e", "writemode": "synchronous"}}]}]})",
                            &s, &error))
      << error;
  std::vector<std::string> names;
  for (const cim::Property& p : s.model.drGroups[0].sides[0].state)
    names.push_back(p.getName().str());
  EXPECT_EQ((std::vector<std::string>{"ParticipationType", "LinkState", "LogState",
                                      "FailSafe", "WriteMode", "TotalTransmit",
                                      "Extra"}),
            names);
}

TEST(ScenarioTest, FaultsAndTheirDefaults) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(parseScenario(R"({"faults": [
      {"delayMs": 2500},
      {"operation": "GetInstance", "drGroup": "dg01", "skip": 2, "times": 1,
       "action": "chunkedError", "code": 6, "description": "gone", "execute": true}]})",
                            &s, &error))
      << error;
  ASSERT_EQ(2u, s.faults.size());
  EXPECT_EQ("*", s.faults[0].operation);
  EXPECT_EQ(FaultAction::DELAY, s.faults[0].action);
  EXPECT_EQ(2500u, s.faults[0].delayMs);
  EXPECT_EQ(FaultAction::CHUNKED_ERROR, s.faults[1].action);
  EXPECT_EQ(6u, s.faults[1].code);
  EXPECT_EQ("gone", s.faults[1].description);
  EXPECT_TRUE(s.faults[1].execute);
}

TEST(ScenarioTest, MistakesAreNamedWithTheirPlace) {
  const std::string arrays =
      R"("arrays": [{"id": "a", "wwn": "1111"}, {"id": "b", "wwn": "2222"}])";
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {R"({"arrayz": []})", "scenario.arrayz: unknown member"},
      {R"({"arrays": [{"id": "a"}]})", "arrays[0].wwn: missing"},
      {R"({"arrays": [{"id": "a", "wwn": 7}]})", "arrays[0].wwn: must be a string"},
      {R"({"arrays": [{"id": "a", "wwn": "1"}, {"id": "a", "wwn": "2"}]})",
       "arrays[1]: array \"a\" or its wwn given twice"},
      {R"({"arrays": [{"id": "a", "wwn": "1", "volumes": [{"id": "v", "wwn": "x"},
           {"id": "v", "wwn": "y"}]}]})",
       "arrays[0].volumes[1]: volume \"v\" given twice"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": []}]})",
       "drGroups[0].sides: a DR group has one or two sides"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "c"}]}]})",
       "drGroups[0].sides[0].array: no array \"c\""},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a"},
           {"array": "1111"}]}]})",
       "drGroups[0].sides[1].array: the DR group has a side on \"1111\" already"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a",
           "volumes": ["v9"]}]}]})",
       "drGroups[0].sides[0].volumes: no volume \"v9\" on array \"a\""},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a",
           "state": {"LinkState": true}}]}]})",
       "drGroups[0].sides[0].state.LinkState: must be a string, a number of 0 or "
       "more, or null"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a",
           "state": {"Link State": "good"}}]}]})",
       "drGroups[0].sides[0].state.Link State: is not a legal property name"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a"}],
           "failoverResults": ["LOCK"]}]})",
       "drGroups[0].failoverResults[0]: must be a number of 0 or more or a result "
       "name such as LOCK_COLLISION"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a"}],
           "failoverResults": [{"swap": "remote"}]}]})",
       "drGroups[0].failoverResults[0].swap: must be both, local or none"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a"}],
           "events": [{"afterReads": 0, "side": "both", "set": {}}]}]})",
       "drGroups[0].events[0].afterReads: must be 1 or more"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a"}],
           "events": [{"afterReads": 1, "side": "b", "set": {}}]}]})",
       "drGroups[0].events[0].side: \"b\" is neither source, destination, both nor "
       "an array of this DR group"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a"}],
           "countdowns": [{"side": "source", "step": 0}]}]})",
       "drGroups[0].countdowns[0]: step and everyReads must be 1 or more"},
      {"{" + arrays + R"(, "drGroups": [{"name": "g", "sides": [{"array": "a",
           "instanceId": "same"}]}, {"name": "h", "sides": [{"array": "b",
           "instanceId": "same"}]}]})",
       "drGroups[1]: instanceId \"same\" used twice"},
      {R"({"faults": [{"action": "explode"}]})",
       "faults[0].action: \"explode\" is not one of delay, drop, http500, cimError, "
       "chunkedError, chunked, garbled"},
      {R"({"faults": [{"code": -1}]})",
       "faults[0].code: must be a number from 0 to 4294967295"},
  };
  for (const Case& c : cases) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(parseScenario(c.text, &s, &error)) << c.text;
    EXPECT_EQ(c.error, error) << c.text;
  }
}

TEST(ScenarioTest, BadJsonSaysWhere) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(parseScenario("{\"arrays\": [", &s, &error));
  EXPECT_NE(std::string::npos, error.find("parse error")) << error;
}

// The scenarios shipped with the simulator must stay loadable.
TEST(ScenarioTest, ShippedScenariosLoad) {
  for (const char* name : {"demo", "failover", "merging", "faults"}) {
    std::ifstream in(std::string(SIM_SCENARIO_DIR) + "/" + name + ".json");
    ASSERT_TRUE(in) << name;
    std::stringstream text;
    text << in.rdbuf();
    Scenario s;
    std::string error;
    EXPECT_TRUE(parseScenario(text.str(), &s, &error)) << name << ": " << error;
  }
}

}  // namespace
}  // namespace sim
