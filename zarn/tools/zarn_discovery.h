// zarndiscovery, the administrator's command that builds the device ID map
// of the map file: it reads an input file of storage system pairs (the two
// arrays of the two data centres, by world wide name) and the DR groups they
// replicate, asks the default SMI-S server for each DR group's identifier
// and member disks on both arrays, and replaces the map file's device ID map
// section with the result. It also lists the stored map. A build holds the
// new map in memory and writes the map file once, at the end, only when
// every line and every lookup succeeded; the server list section is carried
// over unchanged.
#ifndef ZARN_TOOLS_ZARN_DISCOVERY_H
#define ZARN_TOOLS_ZARN_DISCOVERY_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "zarn/store/zarn_id_map.h"
#include "zarn/tools/admin_tool.h"

// Input lines longer than this are refused.
const size_t DISCOVERY_MAX_LINE = 255;
// A prefixed DR group name must be shorter than this.
const size_t DISCOVERY_MAX_DRG_NAME = 256;

// The token of one input line: leading blanks and tabs skipped, everything
// from a "#" on dropped, trailing blanks and tabs removed. "" for a line
// to ignore.
std::string discoveryToken(const std::string& line);

// "AAAA-BBBB-CCCC-DDDD" (19 characters, dashes at the 5th, 10th and 15th
// places) as its 16 characters without dashes; false for any other form.
bool discoveryStorageName(const std::string& quoted, std::string* name);

// The state machine over the tokens of the input file. Each line is fed in
// turn; a line that holds a DR group name hands back the name (prefixed)
// for the current pair. A refused line gives its error messages and the
// build must stop.
class DiscoveryInput {
 public:
  enum Expect {
    PAIR_START,     // "<storage_pair_info>"
    FIRST_NAME,     // the first storage system's world wide name, quoted
    SECOND_NAME,    // the second one's
    DRGROUP_START,  // "<dr_group_info>"
    DRGROUP_NAME,   // a quoted DR group name
    MORE_DRGROUPS,  // another DR group name, or "<storage_pair_info>"
  };

  struct Message {
    bool toStdout;  // standard error otherwise
    std::string text;
  };

  struct Step {
    bool failed = false;
    std::vector<Message> messages;  // the error messages, in order
    bool drGroup = false;           // drGroupName is a DR group to store
    std::string drGroupName;        // with its "\Data Replication\" prefix
  };

  // Handles line number lineNumber (counted from 1) of the input.
  Step feed(const std::string& line, int lineNumber);
  // The last token was an accepted DR group name: the input may end here.
  bool complete() const { return expect == MORE_DRGROUPS; }
  Expect expecting() const { return expect; }
  // The storage systems of the current pair, 16 characters each.
  const std::string& firstStorage() const { return first; }
  const std::string& secondStorage() const { return second; }

 private:
  Step acceptStorageName(const std::string& token, int lineNumber,
                         bool second);
  Step acceptDRGroupName(const std::string& token, int lineNumber);

  Expect expect = PAIR_START;
  std::string first;
  std::string second;
};

// Where a build gets the DR groups' identifiers: the default SMI-S server
// through ZARNAPI in the program, a table in tests.
class DeviceIDSource {
 public:
  virtual ~DeviceIDSource() = default;
  // Loads the SMI-S server list; 1 when the map file is missing or
  // unreadable.
  virtual int initiateSMISData() = 0;
  // Query time-out in seconds; 0 leaves the default (300 seconds).
  virtual void setQueryTime(int seconds) = 0;
  // 0 with devID filled, 1 when the DR group could not be looked up (the
  // reason is logged).
  virtual int findDeviceID(const std::string& storageName,
                           const std::string& drGrpName, DeviceID& devID) = 0;
};

// The source the program uses: a ZARNAPI on the map file mapFile.
std::unique_ptr<DeviceIDSource> makeSMISDeviceIDSource(
    const std::string& mapFile);

class ZARNDiscovery : public AdminTool {
 public:
  // mapFile is the map file, source answers the lookups (null: the SMI-S
  // provider through the map file's default server); both for tests only.
  explicit ZARNDiscovery(const ToolOutput& io, const std::string& mapFile = MAP_FILE,
                         DeviceIDSource* source = nullptr);

  // Carries out the action of the command line; the exit status, 0 or 1.
  int run(int argc, char* argv[]) override;

 private:
  int buildMap(const std::string& inputFile, const std::string& queryTime,
               bool queryTimeGiven);
  // Reads and handles the lines of text; 0 when the whole input was
  // accepted and every DR group stored in map.
  int readInput(const std::string& text, DeviceIDSource& source,
                ZARNIDMap& map);
  int storeDRGroup(DeviceIDSource& source, ZARNIDMap& map,
                   const std::string& storageName,
                   const std::string& drGroupName);
  int listMap(int argc, bool withIDs);

  void printUsage();
  void print(const std::string& text);  // one line
  void error(const std::string& text);  // one line
  int usageFailure();

  std::ostream* err;
  DeviceIDSource* source;
  std::string mapFile;
  std::string command;  // the tool's name as called
};

#endif  // ZARN_TOOLS_ZARN_DISCOVERY_H
