// Creates and destroys the storage array interface the decision engine
// works with. The engine holds one by value. Exactly one definition is
// linked into a program: the array's own (zarn/array/sai_factory.cc) in
// production, a scripted one in the engine's tests.
#ifndef DRIF_SAI_FACTORY_H
#define DRIF_SAI_FACTORY_H

#include "drif/storage_array_interface.h"

class SAIFactory {
 public:
  // A new interface, not yet initialised; null when none can be made.
  virtual StorageArrayInterface* create();
  // Deletes the interface; null is ignored.
  virtual void destroy(StorageArrayInterface* sai);
};

#endif  // DRIF_SAI_FACTORY_H
