// Creates and destroys drenable's data replication module (a CoreDataRep).
#ifndef SFCORE_DR_FACTORY_H
#define SFCORE_DR_FACTORY_H

#include "drif/data_rep.h"

class DRFactory {
 public:
  DataRep* createDataRep();
  // Null is ignored.
  void destroyDataRep(DataRep* dataRep);
};

#endif  // SFCORE_DR_FACTORY_H
