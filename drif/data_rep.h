// The data replication module that drenable's driver runs, and the exit
// codes of drenable. The module reads the package environment, examines
// the replication state and takes the start-up action; the driver (DRCheck)
// then prepares the volume and disk groups. Created and destroyed through
// DRFactory.
#ifndef DRIF_DATA_REP_H
#define DRIF_DATA_REP_H

#include "drif/environment.h"

class Logger;

// Exit codes of drenable; prepStorage and the start-up actions answer the
// first three.
const int SUCCESS = 0;       // the package may start on this node
const int NO_START = 1;      // the package must not start
const int NO_START_CUR = 2;  // the package must not start on this node now
const int SWITCH_TRUE = 3;   // may start; storage switched to read-write

// Set by "drenable -preview": decide, but change nothing on the arrays and
// skip the volume and disk group preparation.
extern bool preview;

class DataRep {
 public:
  DataRep();
  virtual ~DataRep();
  DataRep(const DataRep&) = delete;
  DataRep& operator=(const DataRep&) = delete;

  // Prepares the module from the environment file path or package name;
  // true when ready.
  virtual bool initialize(char* envFileName) = 0;
  // Decides and acts; SUCCESS, NO_START or NO_START_CUR.
  virtual int prepStorage() = 0;
  // The environment read by initialize; null before it succeeded.
  virtual Environment* getEnvironment() = 0;

 protected:
  Logger* log;
};

#endif  // DRIF_DATA_REP_H
