#include "sfcore/core_data_rep.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sfcore/dr_factory.h"
#include "tests/sfcore/engine_fixture.h"

namespace {

using support::EngineOptions;
using support::FORCEFLAG;
using Messages = std::vector<std::string>;

const std::string POLICY_LINE =
    "The configured startup policy for the package is AVAILABILITY_PREFERRED";
const std::string FAILED_SWAP =
    "Error - Failed to failover and swap the role of the device "
    "group.\n\t\t\t\tThe package is NOT allowed to start up.";

class CoreDataRepTest : public support::EngineTest {
 protected:
  void setState(DRRole role, DRLinkState link, DRRepState rep,
                DRAbsoluteCurrency currency = NO) {
    scripted::script().state.role = role;
    scripted::script().state.linkState = link;
    scripted::script().state.repState = rep;
    scripted::script().state.absoluteCurrency = currency;
    scripted::script().state.writeMode = SYNCHRONOUS;
  }
};

TEST_F(CoreDataRepTest, InitializeReadsValidatesThenPreparesTheArray) {
  sys.files.contents[support::ENV_FILE] =
      support::envText("AVAILABILITY_PREFERRED", 2);
  make(EngineOptions());
  EXPECT_EQ(dataRep->getEnvironment(), nullptr);
  EXPECT_TRUE(initialize());
  EXPECT_EQ(scripted::script().calls, Messages{"initialize /pkg/pkg1.env"});
  EXPECT_EQ(coreEnvironment()->getWaitTime(), 120);
  EXPECT_TRUE(sys.normalMessages().empty());
}

TEST_F(CoreDataRepTest, EnvironmentThatDoesNotValidateNeverReachesTheArray) {
  sys.files.contents[support::ENV_FILE] =
      "CLUSTER_TYPE=farspan\nPKGDIR=/pkg\n"
      "DT_APPLICATION_STARTUP_POLICY=fast\nWAIT_TIME=1\n";
  make(EngineOptions());
  EXPECT_FALSE(initialize());
  EXPECT_EQ(sys.normalMessages(),
            (Messages{"Error - The DT_APPLICATION_STARTUP_POLICY has not been "
                      "set properly.\n\t\t\t\tThe value needs to be set to "
                      "\"Availability_Preferred\" or "
                      "\n\t\t\t\t\"Data_Currency_Preferred\".",
                      "Error - One or more environment variables have not "
                      "been set\n\t\t\t\t properly."}));
  EXPECT_EQ(scripted::script().created, 0);
  EXPECT_EQ(dataRep->prepStorage(), NO_START);
  EXPECT_TRUE(scripted::script().calls.empty());
}

TEST_F(CoreDataRepTest, EnvironmentFileThatCannotBeRead) {
  make(EngineOptions());
  EXPECT_FALSE(initialize());
  EXPECT_EQ(sys.normalMessages().back(),
            "Error - Error found in the environment file /pkg/pkg1.env");
  EXPECT_EQ(scripted::script().created, 0);
}

TEST_F(CoreDataRepTest, ArrayInterfaceThatCannotBeMadeOrInitialised) {
  sys.files.contents[support::ENV_FILE] =
      support::envText("AVAILABILITY_PREFERRED", 2);
  scripted::script().createFails = true;
  make(EngineOptions());
  EXPECT_FALSE(initialize());
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - (Internal) Unable to create an object to handle "
                     "the storage array interface."});

  scripted::script() = scripted::Script();
  scripted::script().initializeResult = 1;
  sys.console.writes.clear();
  make(EngineOptions());
  EXPECT_FALSE(initialize());
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - (Internal) Failed to initialize storage array "
                     "interface."});
  dataRep.reset();
  EXPECT_EQ(scripted::script().destroyed, 1);
}

TEST_F(CoreDataRepTest, StateThatCannotBeRead) {
  start(EngineOptions());
  scripted::script().getStateResult = 1;
  EXPECT_EQ(dataRep->prepStorage(), NO_START);
  EXPECT_EQ(sys.normalMessages(),
            Messages{"Error - Unable getting the Data Replication state or the "
                     "state\n\t\t\t\tis not valid. Fix the problem and then "
                     "restart the package"});
}

// Failsafe mode is refused before the table, whatever else the state says.
TEST_F(CoreDataRepTest, FailsafeModeIsRefusedBeforeTheTable) {
  start(EngineOptions{"DATA_CURRENCY_PREFERRED", 5, false, false});
  sys.files.contents[FORCEFLAG] = "";
  setState(TARGET, UP, TARGET_OUT_DATED, YES);
  EXPECT_EQ(dataRep->prepStorage(), NO_START);
  EXPECT_EQ(sys.normalMessages(),
            Messages{"This version of SF/YRZARN does not support Failsafe mode "
                     "enable.\n\t\t\t\tChange Failsafe mode of this DR group "
                     "to disable, \n\t\t\t\tand then restart the package."});
  EXPECT_TRUE(sys.files.opened.empty());
  EXPECT_EQ(sys.files.contents.count(FORCEFLAG), 1u);
  EXPECT_EQ(scripted::script().calls, Messages{"getState"});
}

TEST_F(CoreDataRepTest, StateDumpAndActionLinesOnlyWithSfcoreDebug) {
  EngineOptions o;
  o.sfcoreDebug = true;
  start(o);
  setState(SOURCE, UP, SYNCED);
  scripted::script().state.absoluteCurrency =
      static_cast<DRAbsoluteCurrency>(9);
  EXPECT_EQ(dataRep->prepStorage(), SUCCESS);
  Messages m = sys.normalMessages();
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[0],
            "Data Replication State: \n\tRole: SOURCE\n\tLinkState: UP"
            "\n\tRepState: SYNCED\n\tAbsoluteCurrency: invalid value\n");
  EXPECT_EQ(m[1], POLICY_LINE);
  EXPECT_EQ(m[3], "Action: noOpSuccessAction");

  for (auto [role, line] : {std::pair{TARGET, "Action: noOpNoStartAction"},
                            std::pair{UNKNOWN_ROLE, "Action: noOpNoStartCurAction"}}) {
    sys.console.writes.clear();
    setState(role, DOWN, TRACK_COPY_IN_PROGRESS);
    dataRep->prepStorage();
    EXPECT_EQ(sys.normalMessages().back(), line);
  }
  sys.console.writes.clear();
  setState(static_cast<DRRole>(4), static_cast<DRLinkState>(-3),
           static_cast<DRRepState>(12), UNKNOWN_ABSOLUTE_CURRENCY);
  dataRep->prepStorage();
  EXPECT_EQ(sys.normalMessages().at(0),
            "Data Replication State: \n\tRole: invalid value\n\tLinkState: "
            "invalid value\n\tRepState: invalid value\n\tAbsoluteCurrency: "
            "UNKNOWN_ABSOLUTE_CURRENCY\n");
}

TEST_F(CoreDataRepTest, NoDumpNorActionLinesWithoutSfcoreDebug) {
  start(EngineOptions());
  setState(SOURCE, UP, SYNCED);
  EXPECT_EQ(dataRep->prepStorage(), SUCCESS);
  EXPECT_EQ(sys.normalMessages().size(), 2u);
  EXPECT_EQ(sys.normalMessages()[0], POLICY_LINE);
}

TEST_F(CoreDataRepTest, ArrayAnswerThreeIsSuccess) {
  start(EngineOptions());
  setState(TARGET, UP, SYNCED);
  scripted::script().failoverSwapResult = 3;
  EXPECT_EQ(dataRep->prepStorage(), SUCCESS);
  EXPECT_TRUE(dataRep->getEnvironment()->getSwitch());
}

TEST_F(CoreDataRepTest, FailedFailoversLeaveTheSwitchOff) {
  struct Case {
    DRRepState rep;
    int minutes;
    int scripted::Script::*result;
  };
  for (const Case& c : {Case{SYNCED, 5, &scripted::Script::failoverSwapResult},
                        Case{TRACK_COPY_IN_PROGRESS, 5,
                             &scripted::Script::waitForCopyingResult},
                        Case{LOG_COPY_IN_PROGRESS, 5,
                             &scripted::Script::waitForMergingResult}}) {
    scripted::script() = scripted::Script();
    start(EngineOptions());
    setState(TARGET, UP, c.rep);
    scripted::script().*c.result = 2;
    EXPECT_EQ(dataRep->prepStorage(), NO_START) << c.rep;
    EXPECT_EQ(sys.normalMessages().back(), FAILED_SWAP) << c.rep;
    EXPECT_FALSE(dataRep->getEnvironment()->getSwitch()) << c.rep;
  }
}

// A FORCEFLAG file that is consulted is removed even when the failover
// then fails.
TEST_F(CoreDataRepTest, ConsultedForceFlagIsRemovedEvenIfTheFailoverFails) {
  start(EngineOptions{"DATA_CURRENCY_PREFERRED", 5, false, false});
  sys.files.contents[FORCEFLAG] = "";
  setState(TARGET, DOWN, TARGET_OUT_DATED);
  scripted::script().failoverSwapResult = 1;
  EXPECT_EQ(dataRep->prepStorage(), NO_START);
  EXPECT_EQ(sys.files.removed, Messages{FORCEFLAG});
  EXPECT_EQ(sys.files.contents.count(FORCEFLAG), 0u);
}

TEST_F(CoreDataRepTest, UnreadableForceFlagCountsAsAbsentAndStays) {
  start(EngineOptions{"DATA_CURRENCY_PREFERRED", 5, true, false});
  sys.files.contents[FORCEFLAG] = "";
  sys.files.unreadable.insert(FORCEFLAG);
  setState(TARGET, DOWN, TARGET_OUT_DATED);
  EXPECT_EQ(dataRep->prepStorage(), NO_START);
  EXPECT_TRUE(sys.files.removed.empty());
  Messages all = sys.messages();
  EXPECT_NE(std::find(all.begin(), all.end(), "DEBUG No FORCEFLAG file"),
            all.end());
}

TEST_F(CoreDataRepTest, ForceFlagThatCannotBeRemovedStillForcesTheStart) {
  start(EngineOptions{"DATA_CURRENCY_PREFERRED", 5, false, false});
  sys.files.contents[FORCEFLAG] = "";
  sys.files.undeletable.insert(FORCEFLAG);
  setState(TARGET, DOWN, TARGET_OUT_DATED);
  EXPECT_EQ(dataRep->prepStorage(), SUCCESS);
  Messages m = sys.normalMessages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[1], "The FORCEFLAG file exists. It will be removed.");
  EXPECT_EQ(m[2],
            "Warning - Failed to remove the FORCEFLAG file. Try to manually "
            "remove it.");
}

TEST_F(CoreDataRepTest, TableTracesTheRoleAndLinkItTook) {
  start(EngineOptions{"AVAILABILITY_PREFERRED", 5, true, false});
  setState(TARGET, DOWN, SYNCED);
  dataRep->prepStorage();
  Messages all = sys.messages();
  EXPECT_NE(std::find(all.begin(), all.end(),
                      "DEBUG Inside CoreDataRep::getAction method "
                      "drState.role == TARGET drState.linkState == DOWN"),
            all.end());
}

TEST(DRFactoryTest, CreatesACoreDataRepAndIgnoresNull) {
  fake::ScopedPlatform sys;
  fake::ScopedEnv debug("DATAREP_DEBUG", std::string(""));
  fake::ScopedLogger logger;
  DRFactory factory;
  DataRep* dataRep = factory.createDataRep();
  EXPECT_NE(dynamic_cast<CoreDataRep*>(dataRep), nullptr);
  factory.destroyDataRep(dataRep);
  sys.console.writes.clear();
  factory.destroyDataRep(nullptr);
  EXPECT_EQ(sys.messages(),
            Messages{"DEBUG Inside the DRFactory::destroyDataRep method"});
}

TEST(DataRepStateTest, DefaultsAreUnknownAndCopiesAreWhole) {
  DataRepState state;
  EXPECT_EQ(state.role, UNKNOWN_ROLE);
  EXPECT_EQ(state.linkState, UNKNOWN_LINK_STATE);
  EXPECT_EQ(state.absoluteCurrency, UNKNOWN_ABSOLUTE_CURRENCY);
  EXPECT_EQ(state.repState, INVALID);
  EXPECT_EQ(state.writeMode, UNKNOWN_WRITEMODE);
  DataRepState other;
  other.writeMode = ASYNCHRONOUS;
  other.repState = LOG_COPY_IN_PROGRESS;
  state = other;
  EXPECT_EQ(state.writeMode, ASYNCHRONOUS);
  EXPECT_EQ(state.repState, LOG_COPY_IN_PROGRESS);
}

}  // namespace
