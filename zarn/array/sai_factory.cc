// The storage array interface drenable uses: this system's arrays, reached
// through SMI-S.
#include "drif/sai_factory.h"

#include <memory>

#include "zarn/array/zarn_api.h"
#include "zarn/array/zarn_storage_array_interface.h"

StorageArrayInterface* SAIFactory::create() {
  return new ZARNStorageArrayInterface(std::make_unique<ZARNAPI>());
}

void SAIFactory::destroy(StorageArrayInterface* sai) { delete sai; }
