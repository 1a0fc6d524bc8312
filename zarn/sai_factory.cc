// The storage array interface drenable uses: this system's arrays, reached
// through SMI-S.
#include "drif/sai_factory.h"

#include "zarn/zarn_storage_array_interface.h"

StorageArrayInterface* SAIFactory::create() {
  return new ZARNStorageArrayInterface();
}

void SAIFactory::destroy(StorageArrayInterface* sai) { delete sai; }
