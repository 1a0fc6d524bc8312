// A CoreDataRep initialised from a package environment on fake platform,
// with the scripted array interface behind it.
#ifndef TESTS_SFCORE_ENGINE_FIXTURE_H
#define TESTS_SFCORE_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "sfcore/core_data_rep.h"
#include "tests/support/fake_platform.h"
#include "tests/support/scripted_sai.h"

namespace support {

const char* const ENV_FILE = "/pkg/pkg1.env";
const char* const FORCEFLAG = "/pkg/FORCEFLAG";

struct EngineOptions {
  std::string policy = "AVAILABILITY_PREFERRED";
  int waitMinutes = 5;
  bool debug = false;        // DATAREP_DEBUG
  bool sfcoreDebug = false;  // SFCORE_DEBUG
};

inline std::string envText(const std::string& policy, int waitMinutes) {
  return "CLUSTER_TYPE=nearspan\nPKGDIR=/pkg\nDT_APPLICATION_STARTUP_POLICY=" +
         policy + "\nWAIT_TIME=" + std::to_string(waitMinutes) + "\n";
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    scripted::script() = scripted::Script();
    sys.files.dirs.insert("/pkg");
  }
  ~EngineTest() override {
    dataRep.reset();
    logger_.reset();
  }

  // Sets the switches and the logger up, then makes the module (not yet
  // initialised).
  void make(const EngineOptions& o) {
    dataRep.reset();  // a module of an earlier make() uses the old logger
    logger_.reset();
    debug_.emplace("DATAREP_DEBUG",
                   o.debug ? std::optional<std::string>("") : std::nullopt);
    sfcore_.emplace("SFCORE_DEBUG", o.sfcoreDebug
                                        ? std::optional<std::string>("1")
                                        : std::nullopt);
    logger_.emplace();
    dataRep = std::make_unique<CoreDataRep>();
  }

  bool initialize() {
    char name[] = "/pkg/pkg1.env";
    return dataRep->initialize(name);
  }

  // A module ready for prepStorage, with the logs and calls of the set-up
  // cleared. A policy that validation refuses is put in afterwards.
  void start(const EngineOptions& o) {
    bool valid = o.policy == "AVAILABILITY_PREFERRED" ||
                 o.policy == "DATA_CURRENCY_PREFERRED" ||
                 o.policy == "REMOTE_PROTECTION_PREFERRED";
    sys.files.contents[ENV_FILE] =
        envText(valid ? o.policy : "AVAILABILITY_PREFERRED", o.waitMinutes);
    make(o);
    ASSERT_TRUE(initialize());
    if (!valid) {
      std::string policy = o.policy;
      coreEnvironment()->setStartupPolicy(&policy[0]);
    }
    sys.console.writes.clear();
    sys.files.opened.clear();
    scripted::script().calls.clear();
  }

  CoreEnvironment* coreEnvironment() {
    return dynamic_cast<CoreEnvironment*>(dataRep->getEnvironment());
  }

  fake::ScopedPlatform sys;
  std::unique_ptr<CoreDataRep> dataRep;

 private:
  std::optional<fake::ScopedEnv> debug_;
  std::optional<fake::ScopedEnv> sfcore_;
  std::optional<fake::ScopedLogger> logger_;
};

}  // namespace support

#endif  // TESTS_SFCORE_ENGINE_FIXTURE_H
