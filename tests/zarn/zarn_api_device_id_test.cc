// ZARNAPI::findDeviceID over many DR groups, as a discovery run asks: the
// provider's DR groups are enumerated once for all lookups, and again only
// when a DR group is not in the list read before.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/support/map_store.h"
#include "tests/support/zarnsim.h"
#include "zarn/store/smis_manager.h"
#include "zarn/array/zarn_api.h"

namespace {

const std::string A = "50014380025B4A80";
const std::string B = "50014380025B4C20";
const std::string DR = "\\Data Replication\\";

const char SCENARIO[] = R"({
  "arrays": [
    {"id": "dc1", "wwn": "50014380025B4A80", "volumes": [
      {"id": "v1", "wwn": "600A0001"}, {"id": "v2", "wwn": "600A0002"}]},
    {"id": "dc2", "wwn": "50014380025B4C20", "volumes": [
      {"id": "v1", "wwn": "600B0001"}, {"id": "v2", "wwn": "600B0002"}]}
  ],
  "drGroups": [
    {"name": "dg01", "sides": [
      {"array": "dc1", "instanceId": "50014380025B4A80.1", "volumes": ["v1"]},
      {"array": "dc2", "instanceId": "50014380025B4C20.1", "volumes": ["v1"]}]},
    {"name": "dg02", "sides": [
      {"array": "dc2", "instanceId": "50014380025B4C20.2", "volumes": ["v2"]},
      {"array": "dc1", "instanceId": "50014380025B4A80.2", "volumes": ["v2"]}]}
  ]
})";

class FindDeviceIDTest : public ::testing::Test {
 protected:
  FindDeviceIDTest()
      : debug_("DATAREP_DEBUG", std::nullopt), sim(ZARNSIM_BIN, SCENARIO) {
    logger_ = std::make_unique<fake::ScopedLogger>();
  }

  void SetUp() override {
    ASSERT_TRUE(sim.ok()) << sim.error();
    SMISManager list;
    list.setFileName(dir.file("yrzarn.map"));
    list.addOrUpdateSMIS(support::server("127.0.0.1", sim.port(), "root/ZARN", "N",
                                         support::SIM_USER, support::SIM_PASSWORD));
    ASSERT_EQ(0, list.writeFile()) << list.getErrorMessage();
    api = std::make_unique<ZARNAPI>();
    api->setMapFileName(dir.file("yrzarn.map"));
    ASSERT_EQ(0, api->initiateSMISData());
  }

  // "instanceID wwids", or "failed".
  std::string lookUp(const std::string& storage, const std::string& drGroup) {
    DeviceID id;
    if (api->findDeviceID(storage, DR + drGroup, id) != 0) return "failed";
    return id.instanceID + " " + id.wwidList;
  }
  size_t enumerations() const { return sim.requests("EnumerateInstances").size(); }

  fake::ScopedPlatform sys;

 private:
  fake::ScopedEnv debug_;
  std::unique_ptr<fake::ScopedLogger> logger_;

 protected:
  support::TempDir dir;
  support::ZarnSim sim;
  std::unique_ptr<ZARNAPI> api;
};

TEST_F(FindDeviceIDTest, OneEnumerationServesEveryLookup) {
  EXPECT_EQ(A + ".1 600A0001", lookUp(A, "dg01"));
  EXPECT_EQ(B + ".1 600B0001", lookUp(B, "dg01"));
  EXPECT_EQ(A + ".2 600A0002", lookUp(A, "dg02"));
  EXPECT_EQ(B + ".2 600B0002", lookUp(B, "dg02"));
  EXPECT_EQ(1u, enumerations());
  EXPECT_EQ(4u, sim.requests("AssociatorNames").size());
  EXPECT_EQ(4u, sim.requests("GetInstance").size());
}

TEST_F(FindDeviceIDTest, UnknownDRGroupIsAskedForAgainBeforeItFails) {
  EXPECT_EQ(A + ".1 600A0001", lookUp(A, "dg01"));
  sys.console.writes.clear();
  EXPECT_EQ("failed", lookUp(A, "dg09"));
  EXPECT_EQ(2u, enumerations());
  EXPECT_EQ(std::vector<std::string>{"Exception: DR group " + DR +
                                     "dg09 not found in the SMI-S 127.0.0.1. A "
                                     "possible cause of this problem is: \n  - "
                                     "Incorrect DR group name defined in the "
                                     "zarndiscovery tool input file."},
            sys.normalMessages());
  // dg02 is on the other array only under its own array's name.
  EXPECT_EQ("failed", lookUp(A + "0", "dg02"));
  EXPECT_EQ(B + ".2 600B0002", lookUp(B, "dg02"));
  EXPECT_EQ(3u, enumerations());
}

}  // namespace
