// The simulated provider model: scripted and natural FastFailover results,
// role swaps, state changes after reads, associations and visibility.
#include "sim/model.h"

#include <gtest/gtest.h>

#include "sim/scenario.h"
#include "sim/schema.h"

namespace sim {
namespace {

const char* const TWO_ARRAYS = R"({
  "arrays": [
    {"id": "dc1", "wwn": "AAAABBBBCCCC0001", "volumes": [
      {"id": "v1", "wwn": "WWN-V1", "name": "data", "hosts": ["node1", "node2"]},
      {"id": "v2", "wwn": "WWN-V2", "name": "logs", "hosts": ["node1"]}]},
    {"id": "dc2", "wwn": "AAAABBBBCCCC0002", "volumes": [
      {"id": "v1", "wwn": "WWN-R1", "hosts": ["node3"]}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "volumes": ["v2", "v1"]},
      {"array": "dc2", "volumes": ["v1"]}]%s}
  ]
})";

Model load(const std::string& groupExtra = "", const std::string& base = TWO_ARRAYS) {
  std::string text = base;
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, groupExtra);
  Scenario s;
  std::string error;
  EXPECT_TRUE(parseScenario(text, &s, &error)) << error;
  return s.model;
}

cim::ObjectPath servicePath(const std::string& wwn) {
  return cim::ObjectPath("", cim::NamespaceName(), REPLICATION_SERVICE,
                         {{"CreationClassName", REPLICATION_SERVICE},
                          {"Name", wwn + "\\RS"},
                          {"SystemCreationClassName", STORAGE_SYSTEM},
                          {"SystemName", wwn}});
}

cim::ObjectPath setPath(const std::string& instanceId) {
  return cim::ObjectPath("", cim::NamespaceName(), CONSISTENCY_SET,
                         {{"InstanceID", instanceId}});
}

cim::ObjectPath systemPath(const std::string& wwn) {
  return cim::ObjectPath("", cim::NamespaceName(), STORAGE_SYSTEM,
                         {{"CreationClassName", STORAGE_SYSTEM}, {"Name", wwn}});
}

const std::string LOCAL_SET = "AAAABBBBCCCC0002\\DRG\\0001";   // destination
const std::string REMOTE_SET = "AAAABBBBCCCC0001\\DRG\\0001";  // source

// FastFailover on dc2, the destination side, as drenable sends it.
FailoverOutcome failover(Model* m, CimError* error = nullptr,
                         const std::string& set = LOCAL_SET) {
  FailoverOutcome out;
  CimError e = m->fastFailover(servicePath("AAAABBBBCCCC0002"), "MXRud",
                               {setPath(set).toString()}, &out);
  if (error) *error = e;
  else EXPECT_TRUE(e.ok()) << e.description;
  return out;
}

std::string role(const Model& m, size_t side) {
  return Model::stateText(m.drGroups[0].sides[side], "ParticipationType");
}

std::string read(Model* m, const std::string& set, const std::string& property) {
  cim::Instance inst;
  CimError e = m->getInstance(setPath(set), &inst);
  EXPECT_TRUE(e.ok()) << e.description;
  size_t i = inst.findProperty(property);
  return i == cim::Instance::NOT_FOUND ? "<absent>"
                                       : inst.getProperty(i).getValue().getText();
}

TEST(ModelFailoverTest, ScriptedResultsComeInOrderThenSuccessSwapsRoles) {
  Model m = load(R"(, "failoverResults": ["LOCK_COLLISION", "STORAGE_SYSTEM_BUSY",
                    32770, "DR_GROUP_IS_MERGING", 0])");
  const std::uint32_t refusals[] = {LOCK_COLLISION, STORAGE_SYSTEM_BUSY,
                                    INVALID_DR_STATE, DR_GROUP_IS_MERGING};
  for (std::uint32_t code : refusals) {
    FailoverOutcome out = failover(&m);
    EXPECT_TRUE(out.scripted);
    EXPECT_EQ(FAILOVER_REFUSED, out.returnValue) << code;
    EXPECT_EQ(std::vector<std::uint32_t>{code}, out.errorCodes);
    EXPECT_EQ("source", role(m, 0)) << "a refusal changes nothing";
  }
  FailoverOutcome out = failover(&m);
  EXPECT_EQ(0u, out.returnValue);
  EXPECT_TRUE(out.errorCodes.empty());
  EXPECT_EQ("destination", role(m, 0));
  EXPECT_EQ("source", role(m, 1));
  EXPECT_EQ("\\Data Replication\\dg01", out.drGroup);
  EXPECT_EQ("AAAABBBBCCCC0002", out.array);

  // The queue is used up: dc2 is now the source, which cannot fail over.
  out = failover(&m);
  EXPECT_FALSE(out.scripted);
  EXPECT_EQ(std::vector<std::uint32_t>{INVALID_DR_MODE}, out.errorCodes);
}

TEST(ModelFailoverTest, FullResultFormKeepsReturnValueOutputShapeAndSwap) {
  Model m = load(R"(, "failoverResults": [
      {"returnValue": 5, "errorCodes": [32801]},
      {"code": 32790, "scalarOutput": true},
      {"returnValue": 0, "swap": "none"},
      {"code": 0, "swap": "local", "then": [{"side": "both", "set": {"LogState": "logging"}}]}])");
  FailoverOutcome out = failover(&m);
  EXPECT_EQ(5u, out.returnValue);
  EXPECT_EQ(std::vector<std::uint32_t>{LOCK_COLLISION}, out.errorCodes);
  out = failover(&m);
  EXPECT_TRUE(out.scalarOutput);
  EXPECT_EQ(std::vector<std::uint32_t>{STORAGE_SYSTEM_BUSY}, out.errorCodes);
  out = failover(&m);
  EXPECT_EQ(0u, out.returnValue);
  EXPECT_EQ("destination", role(m, 1)) << "accepted without a swap";
  out = failover(&m);
  EXPECT_EQ("source", role(m, 0)) << "only the local side swapped";
  EXPECT_EQ("source", role(m, 1));
  EXPECT_EQ("logging", Model::stateText(m.drGroups[0].sides[0], "LogState"));
  EXPECT_EQ("logging", Model::stateText(m.drGroups[0].sides[1], "LogState"));
}

// Without a script the answer follows the state of the DR group.
TEST(ModelFailoverTest, NaturalResultFollowsState) {
  struct Case {
    const char* local;   // state of the dc2 side
    const char* remote;  // state of the dc1 side
    std::uint32_t code;  // 0: accepted
  } cases[] = {
      {R"({})", R"({})", 0},
      {R"({"ParticipationType": "source"})", R"({"ParticipationType": "destination"})",
       INVALID_DR_MODE},
      {R"({"Suspend": "yes"})", R"({})", CONNECTION_SUSPENDED},
      {R"({"Fullcopystate": "yes"})", R"({})", INVALID_DR_STATE},
      {R"({})", R"({"Fullcopystate": "yes"})", INVALID_DR_STATE},
      {R"({})", R"({"LogState": "merging"})", DR_GROUP_IS_MERGING},
      {R"({"LinkState": "failed"})", R"({"LinkState": "failed", "LogState": "logging"})", 0},
  };
  for (const Case& c : cases) {
    std::string text = std::string(R"({"arrays": [{"id": "dc1", "wwn": "AAAABBBBCCCC0001"},
        {"id": "dc2", "wwn": "AAAABBBBCCCC0002"}], "drGroups": [{"name": "dg01", "sides": [
        {"array": "dc1", "state": )") + c.remote +
                       R"(}, {"array": "dc2", "state": )" + c.local + "}]}]}";
    Model m = load("", text);
    FailoverOutcome out = failover(&m);
    if (c.code == 0) {
      EXPECT_EQ(0u, out.returnValue) << c.local << " / " << c.remote;
      EXPECT_EQ("source", role(m, 1));
      EXPECT_EQ("destination", role(m, 0));
    } else {
      EXPECT_EQ(FAILOVER_REFUSED, out.returnValue) << c.local << " / " << c.remote;
      EXPECT_EQ(std::vector<std::uint32_t>{c.code}, out.errorCodes)
          << c.local << " / " << c.remote;
    }
  }
}

TEST(ModelFailoverTest, BadCallsAreCimErrors) {
  Model m = load(R"(, "failoverResults": [0])");
  struct Case {
    cim::ObjectPath service;
    std::string key;
    std::vector<std::string> sets;
    std::uint32_t code;
  } cases[] = {
      {servicePath("AAAABBBBCCCC0002"), "wrong", {setPath(LOCAL_SET).toString()},
       cim::CIM_ERR_INVALID_PARAMETER},
      {servicePath("AAAABBBBCCCC0002"), "MXRud", {}, cim::CIM_ERR_INVALID_PARAMETER},
      // Single backslashes are not the text form.
      {servicePath("AAAABBBBCCCC0002"), "MXRud",
       {"QNZARN_ConsistencySet.InstanceID=\"AAAABBBBCCCC0002\\DRG\\0001\""},
       cim::CIM_ERR_INVALID_PARAMETER},
      {servicePath("AAAABBBBCCCC0002"), "MXRud", {setPath("nothing").toString()},
       cim::CIM_ERR_NOT_FOUND},
      // The DR group side of the other array.
      {servicePath("AAAABBBBCCCC0002"), "MXRud", {setPath(REMOTE_SET).toString()},
       cim::CIM_ERR_INVALID_PARAMETER},
      {servicePath("FFFF"), "MXRud", {setPath(LOCAL_SET).toString()},
       cim::CIM_ERR_NOT_FOUND},
      {systemPath("AAAABBBBCCCC0002"), "MXRud", {setPath(LOCAL_SET).toString()},
       cim::CIM_ERR_METHOD_NOT_FOUND},
  };
  for (const Case& c : cases) {
    FailoverOutcome out;
    CimError e = m.fastFailover(c.service, c.key, c.sets, &out);
    EXPECT_EQ(c.code, e.code) << e.description;
  }
  EXPECT_EQ(1u, m.drGroups[0].failoverResults.size()) << "no call used the script";
  EXPECT_EQ("destination", role(m, 1));
}

TEST(ModelReadTest, EventFiresAfterTheNthReadOfEitherSide) {
  Model m = load(R"(, "events": [{"afterReads": 2, "side": "both",
                                  "set": {"LinkState": "failed"}}])");
  EXPECT_EQ("good", read(&m, LOCAL_SET, "LinkState"));
  EXPECT_EQ("good", read(&m, REMOTE_SET, "LinkState"));
  EXPECT_EQ("failed", read(&m, LOCAL_SET, "LinkState"));
  EXPECT_EQ("failed", read(&m, REMOTE_SET, "LinkState"));
}

TEST(ModelReadTest, EventsPickSidesByCurrentRole) {
  Model m = load(R"(, "failoverResults": [0],
      "events": [{"afterReads": 1, "side": "source", "set": {"LogState": "logging"}}])");
  failover(&m);  // dc2 becomes the source
  read(&m, LOCAL_SET, "LogState");
  EXPECT_EQ("logging", Model::stateText(m.drGroups[0].sides[1], "LogState"));
  EXPECT_EQ("normal", Model::stateText(m.drGroups[0].sides[0], "LogState"));
}

TEST(ModelReadTest, CountdownLowersWritesThenFinishesOnce) {
  const char* text = R"({"arrays": [{"id": "dc1", "wwn": "AAAABBBBCCCC0001"},
      {"id": "dc2", "wwn": "AAAABBBBCCCC0002"}], "drGroups": [{"name": "dg01",
      "sides": [{"array": "dc1", "state": {"LogState": "merging", "TotalTransmit": "25"}},
                {"array": "dc2"}],
      "countdowns": [{"side": "source", "step": 10,
                      "then": [{"side": "source", "set": {"LogState": "normal"}}]}]}]})";
  Model m = load("", text);
  std::vector<std::string> seen;
  for (int i = 0; i < 5; ++i) {
    std::string writes = read(&m, REMOTE_SET, "TotalTransmit");
    seen.push_back(writes + "/" + read(&m, REMOTE_SET, "LogState"));
  }
  // Each read counts, so the log state read after the writes reads 5 is
  // already the one made when they reached 0.
  EXPECT_EQ((std::vector<std::string>{"25/merging", "5/normal", "0/normal",
                                      "0/normal", "0/normal"}),
            seen);
}

TEST(ModelReadTest, NumericPropertiesStayNumeric) {
  const char* text = R"({"arrays": [{"id": "dc1", "wwn": "AAAABBBBCCCC0001"}],
      "drGroups": [{"name": "dg01", "sides": [{"array": "dc1",
        "state": {"TotalTransmit": 3, "FailSafe": null}}],
      "countdowns": [{"side": "dc1"}]}]})";
  Model m = load("", text);
  cim::Instance inst;
  ASSERT_TRUE(m.getInstance(setPath(REMOTE_SET), &inst).ok());
  EXPECT_EQ(cim::Type::UINT32, inst.getProperty("TotalTransmit").getValue().getType());
  EXPECT_FALSE(inst.hasProperty("FailSafe")) << "null removes a default";
  EXPECT_FALSE(inst.hasProperty("WriteMode")) << "optional ones default to absent";
  ASSERT_TRUE(m.getInstance(setPath(REMOTE_SET), &inst).ok());
  EXPECT_EQ("2", inst.getProperty("TotalTransmit").getValue().getText());
  EXPECT_EQ(cim::Type::UINT32, inst.getProperty("TotalTransmit").getValue().getType());
}

std::vector<std::string> associators(const Model& m, const cim::ObjectPath& p,
                                     const char* assoc, const char* result,
                                     const std::string& role = "",
                                     const std::string& resultRole = "") {
  std::vector<cim::ObjectPath> found;
  CimError e = m.associatorNames(p, assoc ? cim::Name(assoc) : cim::Name(),
                                 result ? cim::Name(result) : cim::Name(), role,
                                 resultRole, &found);
  EXPECT_TRUE(e.ok()) << e.description;
  std::vector<std::string> out;
  for (const cim::ObjectPath& f : found) {
    EXPECT_EQ("zarnsim", f.getHost());
    EXPECT_EQ("root/ZARN", f.getNameSpace().str());
    out.push_back(f.toLocalString());
  }
  return out;
}

std::string volume(const std::string& array, const std::string& id) {
  return "QNZARN_StorageVolume.CreationClassName=\"QNZARN_StorageVolume\",DeviceID=\"" +
         id + "\",SystemCreationClassName=\"QNZARN_StorageSystem\",SystemName=\"" +
         array + "\"";
}

cim::ObjectPath volumePath(const std::string& array, const std::string& id) {
  return cim::ObjectPath::parse(volume(array, id));
}

TEST(ModelAssociationTest, BothDirectionsWithFilters) {
  Model m = load();
  const std::string dc1 = "AAAABBBBCCCC0001";
  EXPECT_EQ(std::vector<std::string>{servicePath(dc1).toLocalString()},
            associators(m, systemPath(dc1), HOSTED_SERVICE, REPLICATION_SERVICE));
  EXPECT_EQ(std::vector<std::string>{systemPath(dc1).toLocalString()},
            associators(m, servicePath(dc1), HOSTED_SERVICE, nullptr));
  // Members in the DR group's order, not the array's.
  EXPECT_EQ((std::vector<std::string>{volume(dc1, "v2"), volume(dc1, "v1")}),
            associators(m, setPath(REMOTE_SET), ORDERED_MEMBER, STORAGE_VOLUME));
  // The ordered membership is a kind of CIM_MemberOfCollection.
  EXPECT_EQ(std::vector<std::string>{setPath(REMOTE_SET).toLocalString()},
            associators(m, volumePath(dc1, "v1"), MEMBER_OF_COLLECTION,
                        CONSISTENCY_SET));
  EXPECT_EQ(std::vector<std::string>{setPath(REMOTE_SET).toLocalString()},
            associators(m, systemPath(dc1), HOSTED_DR_GROUP, CONSISTENCY_SET));
  // The system's devices include its controllers; the result class sorts
  // them out.
  EXPECT_EQ((std::vector<std::string>{volume(dc1, "v1"), volume(dc1, "v2")}),
            associators(m, systemPath(dc1), SYSTEM_DEVICE, STORAGE_VOLUME));
  EXPECT_EQ(4u, associators(m, systemPath(dc1), SYSTEM_DEVICE, nullptr).size());
  EXPECT_EQ(2u, associators(m, volumePath(dc1, "v1"), CONTROLLER_FOR_VOLUME,
                            PROTOCOL_CONTROLLER).size());
  EXPECT_EQ(0u, associators(m, volumePath(dc1, "v1"), CONTROLLER_FOR_VOLUME,
                            PROTOCOL_CONTROLLER, "Antecedent").size())
      << "the volume is the Dependent";
  EXPECT_EQ(2u, associators(m, volumePath(dc1, "v1"), nullptr, nullptr, "Dependent",
                            "Antecedent").size());
}

TEST(ModelAssociationTest, ControllersNameTheHosts) {
  Model m = load();
  std::vector<cim::ObjectPath> found;
  ASSERT_TRUE(m.associatorNames(volumePath("AAAABBBBCCCC0001", "v1"),
                                CONTROLLER_FOR_VOLUME, PROTOCOL_CONTROLLER, "", "",
                                &found).ok());
  std::vector<std::string> hosts;
  for (const cim::ObjectPath& p : found) {
    cim::Instance inst;
    ASSERT_TRUE(m.getInstance(p, &inst).ok());
    hosts.push_back(inst.getProperty("ElementName").getValue().getText());
  }
  EXPECT_EQ((std::vector<std::string>{"node1", "node2"}), hosts);
}

TEST(ModelAssociationTest, UnknownObjectsAndClasses) {
  Model m = load();
  std::vector<cim::ObjectPath> found;
  EXPECT_EQ(cim::CIM_ERR_NOT_FOUND,
            m.associatorNames(systemPath("nope"), cim::Name(), cim::Name(), "", "", &found).code);
  EXPECT_EQ(cim::CIM_ERR_INVALID_PARAMETER,
            m.associatorNames(systemPath("AAAABBBBCCCC0001"), "QNZARN_Nothing", cim::Name(),
                              "", "", &found).code);
  cim::Instance inst;
  EXPECT_EQ(cim::CIM_ERR_INVALID_CLASS,
            m.getInstance(cim::ObjectPath::parse("QNZARN_Nothing.Name=\"x\""), &inst).code);
}

TEST(ModelVisibilityTest, UnmanagedArrayIsHiddenButStillSwaps) {
  const char* text = R"({"arrays": [{"id": "dc1", "wwn": "AAAABBBBCCCC0001", "managed": false},
      {"id": "dc2", "wwn": "AAAABBBBCCCC0002"}], "drGroups": [{"name": "dg01",
      "sides": [{"array": "dc1"}, {"array": "dc2"}]}]})";
  Model m = load("", text);
  EXPECT_EQ(1u, m.instances(STORAGE_SYSTEM).size());
  EXPECT_EQ(1u, m.instances(CONSISTENCY_SET).size());
  cim::Instance inst;
  EXPECT_EQ(cim::CIM_ERR_NOT_FOUND, m.getInstance(setPath(REMOTE_SET), &inst).code);
  failover(&m);
  EXPECT_EQ("destination", role(m, 0));
}

TEST(ModelInstancesTest, SuperclassEnumerationFindsSubclassInstances) {
  Model m = load();
  EXPECT_EQ(3u, m.instances("CIM_StorageVolume").size());
  EXPECT_EQ(3u, m.instances("cim_storagevolume").size());
  EXPECT_EQ(2u, m.instances("CIM_System").size());
  EXPECT_EQ(0u, m.instances("CIM_Dependency").size());
}

// Lookups go through an index of the layout; it must match paths as
// samePath() does and serve the current state.
TEST(ModelIndexTest, PathsMatchWithoutCaseAndKeysAsSets) {
  Model m = load();
  struct Case {
    const char* path;
    std::uint32_t code;
  } cases[] = {
      {R"(QNZARN_StorageSystem.CreationClassName="QNZARN_StorageSystem",Name="AAAABBBBCCCC0001")", 0},
      {R"(qnzarn_storagesystem.name="AAAABBBBCCCC0001",CREATIONCLASSNAME="QNZARN_StorageSystem")", 0},
      {R"(QNZARN_StorageSystem.CreationClassName="QNZARN_StorageSystem",Name="aaaabbbbcccc0001")",
       cim::CIM_ERR_NOT_FOUND},
      {R"(QNZARN_StorageSystem.Name="AAAABBBBCCCC0001")", cim::CIM_ERR_NOT_FOUND},
      {R"(QNZARN_StorageSystem.Name="AAAABBBBCCCC0001",Name="AAAABBBBCCCC0001")",
       cim::CIM_ERR_NOT_FOUND},
      {R"(QNZARN_StorageVolume.CreationClassName="QNZARN_StorageSystem",Name="AAAABBBBCCCC0001")",
       cim::CIM_ERR_NOT_FOUND},
      {"QNZARN_ConsistencySet.InstanceID=\"AAAABBBBCCCC0002\\\\DRG\\\\0001\"", 0},
  };
  for (const Case& c : cases) {
    cim::Instance inst;
    EXPECT_EQ(c.code, m.getInstance(cim::ObjectPath::parse(c.path), &inst).code) << c.path;
  }
}

TEST(ModelIndexTest, LookupsFollowStateAndLayoutChanges) {
  Model m = load(R"(, "failoverResults": [0])");
  ASSERT_EQ(1u, m.instancesAt(setPath(LOCAL_SET)).size());  // builds the index
  failover(&m);
  EXPECT_EQ("source", read(&m, LOCAL_SET, "ParticipationType"));
  std::vector<std::string> roles;
  for (const cim::Instance& i : m.instances(CONSISTENCY_SET))
    roles.push_back(i.getProperty("ParticipationType").getValue().getText());
  EXPECT_EQ((std::vector<std::string>{"destination", "source"}), roles);
  EXPECT_EQ("source", m.instancesAt(setPath(LOCAL_SET))[0]
                          .getProperty("ParticipationType").getValue().getText());
  EXPECT_EQ(&m.drGroups[0], m.drGroupOf(setPath(LOCAL_SET)));

  // A DR group added after the first lookup is found; other layout changes
  // are announced with reindex().
  DrGroup added = m.drGroups[0];
  added.sides.resize(1);
  added.sides[0].instanceId = "ADDED";
  m.drGroups.push_back(added);
  EXPECT_EQ("destination", read(&m, "ADDED", "ParticipationType"));
  m.drGroups[1].sides[0].instanceId = "RENAMED";
  m.reindex();
  cim::Instance inst;
  EXPECT_EQ(cim::CIM_ERR_NOT_FOUND, m.getInstance(setPath("ADDED"), &inst).code);
  EXPECT_EQ(&m.drGroups[1], m.drGroupOf(setPath("RENAMED")));
}

TEST(ModelSetPropertyTest, OnlyFailSafeIsWritable) {
  Model m = load();
  struct Case {
    const char* property;
    cim::Value value;
    std::uint32_t code;
  } cases[] = {
      {"FailSafe", cim::Value("disable"), 0},
      {"failsafe", cim::Value("enabled"), 0},
      {"FailSafe", cim::Value("off"), cim::CIM_ERR_INVALID_PARAMETER},
      {"FailSafe", cim::Value(std::uint32_t{1}), cim::CIM_ERR_TYPE_MISMATCH},
      {"FailSafe", cim::Value::null(cim::Type::STRING), cim::CIM_ERR_TYPE_MISMATCH},
      {"LinkState", cim::Value("failed"), cim::CIM_ERR_NOT_SUPPORTED},
      {"Suspend", cim::Value("yes"), cim::CIM_ERR_NOT_SUPPORTED},  // declared, absent
      {"Colour", cim::Value("red"), cim::CIM_ERR_NO_SUCH_PROPERTY},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.code, m.setProperty(setPath(LOCAL_SET), c.property, c.value).code)
        << c.property << "=" << c.value.toString();
  EXPECT_EQ("enabled", Model::stateText(m.drGroups[0].sides[1], "FailSafe"));
  EXPECT_EQ(cim::CIM_ERR_NOT_SUPPORTED,
            m.setProperty(systemPath("AAAABBBBCCCC0001"), "ElementName", cim::Value("x")).code);
}

TEST(SamePathTest, NamesWithoutCaseValuesAsTextKeysAsSets) {
  cim::ObjectPath a = cim::ObjectPath::parse(R"(root/ZARN:C.A="1",B="x")");
  EXPECT_TRUE(samePath(a, cim::ObjectPath::parse(R"(c.b="x",a=1)")));
  EXPECT_FALSE(samePath(a, cim::ObjectPath::parse(R"(C.A="1",B="X")")));
  EXPECT_FALSE(samePath(a, cim::ObjectPath::parse(R"(C.A="1")")));
  EXPECT_FALSE(samePath(a, cim::ObjectPath::parse(R"(D.A="1",B="x")")));
}

}  // namespace
}  // namespace sim
