// drenable's driver. It checks the volume-manager arguments, lets the data
// replication module read the package environment and decide about the
// storage, and afterwards, in a farspan cluster whose storage was just
// switched to this site, rewrites the LVM cluster IDs and force-imports the
// VxVM and CVM disk groups so that the package's control script can
// activate them. The module and the argument strings belong to the caller
// and must outlive the object; the group lists are split in place.
#ifndef DRIF_DR_CHECK_H
#define DRIF_DR_CHECK_H

#include <string>

#include "drif/data_rep.h"

class Logger;

// Argument counts of the two long command-line forms, with the program name.
const int NEWARGS = 8;
const int OLDARGS = 6;
// Size of the buffer commands are built in.
const int MAX_STRING_LEN = 1024;

// The result of a command from its wait status: the status itself when the
// command was killed by a signal (or the status is -1), else its exit code.
int convertReturn(int status);

class DRCheck {
 public:
  // The preview form: no volume or disk groups.
  DRCheck(DataRep* dataRep, char* envFileName);
  // The "used" flags are decimal numbers (as atoi: anything else is 0);
  // the lists hold names separated by blanks, tabs or line feeds.
  DRCheck(DataRep* dataRep, char* envFileName, char* lvmIsUsed,
          char* vxvmIsUsed, char* cvmIsUsed, char* lvmVG, char* vxvmVG,
          char* cvmVG);
  ~DRCheck();
  DRCheck(const DRCheck&) = delete;
  DRCheck& operator=(const DRCheck&) = delete;

  // The whole check; the exit code of drenable (0 to 3).
  int run();

 private:
  bool initialize();
  // True when every name of a list in use is one the tools accept and
  // the commands built from it fit the buffer; reports each bad name.
  bool checkGroupNames();
  int ccSupport();
  int importCVMDiskGroups();
  // Fills buffer from the template (whose first %s is the "Executing:"
  // prefix); false, with an error message, when the text would not fit.
  bool buildCommand(char* buffer, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // Logs and runs a command built by buildCommand; 0 on success. The first
  // output line, without its line feed, goes to firstLine, and whether
  // there was one to hadLine, when given.
  int execCommand(char* command, std::string* firstLine = nullptr,
                  bool* hadLine = nullptr);

  DataRep* dataRep;
  Environment* env;
  Logger* log;
  char* envFileName;
  char* lvmVG;
  char* vxvmVG;
  char* cvmVG;
  int lvmUsed;
  int vxvmUsed;
  int cvmUsed;
};

#endif  // DRIF_DR_CHECK_H
