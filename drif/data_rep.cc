#include "drif/data_rep.h"

#include "drif/logger.h"

bool preview = false;

DataRep::DataRep() : log(Logger::getInstance()) {
  log->logDebug("Inside the DataRep constructor");
}

DataRep::~DataRep() { log->logDebug("Inside the DataRep destructor"); }
