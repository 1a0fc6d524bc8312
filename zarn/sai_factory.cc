// The storage array interface drenable uses.
#include "drif/sai_factory.h"

#include "drif/logger.h"

namespace {

// Stands in until the array interface of this system is linked: it can't
// reach the arrays, so it refuses to be initialised and decides nothing.
class UnavailableArrayInterface : public StorageArrayInterface {
 public:
  int initialize(const char*) override {
    Logger::getInstance()->log(
        "Error - The storage array interface is not available in this "
        "build.");
    return 1;
  }
  int getState(DataRepState&) override { return 1; }
  int failoverSwap(int) override { return 1; }
  int failover(DataRepState&) override { return 1; }
  int waitForMerging(int, std::string) override { return 1; }
  int waitForCopying(int) override { return 1; }
  int failback() override { return 1; }
  int resyncFromTarget() override { return 1; }
  int sourceWriteEnable() override { return 1; }
};

}  // namespace

StorageArrayInterface* SAIFactory::create() {
  return new UnavailableArrayInterface();
}

void SAIFactory::destroy(StorageArrayInterface* sai) { delete sai; }
