#include "sfcore/dr_factory.h"

#include "drif/logger.h"
#include "sfcore/core_data_rep.h"

DataRep* DRFactory::createDataRep() {
  Logger::getInstance()->logDebug("Inside the DRFactory::createDataRep method");
  return new CoreDataRep();
}

void DRFactory::destroyDataRep(DataRep* dataRep) {
  Logger::getInstance()->logDebug(
      "Inside the DRFactory::destroyDataRep method");
  delete dataRep;
}
