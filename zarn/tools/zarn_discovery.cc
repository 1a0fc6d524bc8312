#include "zarn/tools/zarn_discovery.h"

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <list>

#include "drif/logger.h"
#include "drif/platform.h"
#include "zarn/store/map_file.h"
#include "zarn/smis/schema.h"
#include "zarn/store/text.h"
#include "zarn/array/zarn_api.h"

namespace {

const char PAIR_TAG[] = "<storage_pair_info>";
const char DRGROUP_TAG[] = "<dr_group_info>";

bool isQuoted(const std::string& token) {
  return token.size() >= 2 && token.front() == '"' && token.back() == '"';
}

std::string unquoted(const std::string& token) {
  return token.substr(1, token.size() - 2);
}

DiscoveryInput::Message toErr(const std::string& text) { return {false, text}; }
DiscoveryInput::Message toOut(const std::string& text) { return {true, text}; }

DiscoveryInput::Step refused(std::vector<DiscoveryInput::Message> messages) {
  DiscoveryInput::Step step;
  step.failed = true;
  step.messages = std::move(messages);
  return step;
}

DiscoveryInput::Step missingQuote(int lineNumber) {
  return refused({toErr("Error - Wrong data format; Missing double quote"),
                  toErr("Error - Wrong data format. Line " +
                        std::to_string(lineNumber))});
}

DiscoveryInput::Step wrongFormat(int lineNumber, const char* expected) {
  return refused({toErr("Error - Wrong file format. Line " +
                        std::to_string(lineNumber) + ": " + "The " +
                        expected + " expected.")});
}

// The map file store's DR group lookups, through the default SMI-S server.
class SMISDeviceIDSource : public DeviceIDSource {
 public:
  explicit SMISDeviceIDSource(const std::string& mapFile) {
    api.setMapFileName(mapFile);
  }
  int initiateSMISData() override { return api.initiateSMISData(); }
  void setQueryTime(int seconds) override { api.SMISQueryTime = seconds; }
  int findDeviceID(const std::string& storageName, const std::string& drGrpName,
                   DeviceID& devID) override {
    return api.findDeviceID(storageName, drGrpName, devID);
  }

 private:
  ZARNAPI api;
};

}  // namespace

std::string discoveryToken(const std::string& line) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == '#') return "";
  size_t hash = line.find('#', start);
  std::string token = line.substr(start, hash == std::string::npos
                                             ? std::string::npos
                                             : hash - start);
  token.erase(token.find_last_not_of(" \t") + 1);
  return token;
}

bool discoveryStorageName(const std::string& text, std::string* name) {
  if (text.size() != 19 || text[4] != '-' || text[9] != '-' || text[14] != '-')
    return false;
  *name = text.substr(0, 4) + text.substr(5, 4) + text.substr(10, 4) +
          text.substr(15, 4);
  return true;
}

DiscoveryInput::Step DiscoveryInput::feed(const std::string& line,
                                          int lineNumber) {
  // A longer line would end the input there, as if the file ended: the
  // DR groups after it would silently leave the map.
  if (line.size() > DISCOVERY_MAX_LINE) {
    return refused({toErr("Error - Line " + std::to_string(lineNumber) +
                          " of the input file is longer than 255 characters")});
  }
  std::string token = discoveryToken(line);
  if (token.empty()) return Step();
  switch (expect) {
    case PAIR_START:
      if (token != PAIR_TAG) return wrongFormat(lineNumber, PAIR_TAG);
      expect = FIRST_NAME;
      return Step();
    case FIRST_NAME:
      return acceptStorageName(token, lineNumber, false);
    case SECOND_NAME:
      return acceptStorageName(token, lineNumber, true);
    case DRGROUP_START:
      if (token != DRGROUP_TAG) return wrongFormat(lineNumber, DRGROUP_TAG);
      expect = DRGROUP_NAME;
      return Step();
    case DRGROUP_NAME:
      return acceptDRGroupName(token, lineNumber);
    case MORE_DRGROUPS:
      if (token == PAIR_TAG) {
        expect = FIRST_NAME;
        return Step();
      }
      return acceptDRGroupName(token, lineNumber);
  }
  return Step();
}

DiscoveryInput::Step DiscoveryInput::acceptStorageName(const std::string& token,
                                                       int lineNumber,
                                                       bool isSecond) {
  if (!isQuoted(token)) return missingQuote(lineNumber);
  std::string name;
  if (!discoveryStorageName(unquoted(token), &name)) {
    std::string text = "Error - Wrong format of the Storage World Wide Name. Line " +
                       std::to_string(lineNumber);
    return refused({isSecond ? toOut(text) : toErr(text)});
  }
  if (isSecond) {
    second = name;
    expect = DRGROUP_START;
  } else {
    first = name;
    expect = SECOND_NAME;
  }
  return Step();
}

DiscoveryInput::Step DiscoveryInput::acceptDRGroupName(const std::string& token,
                                                       int lineNumber) {
  if (!isQuoted(token)) return missingQuote(lineNumber);
  std::string name = unquoted(token);
  if (name.find(schema::DR_GROUP_PREFIX) == std::string::npos)
    name = schema::DR_GROUP_PREFIX + name;
  if (name.size() >= DISCOVERY_MAX_DRG_NAME) {
    return refused({toErr("Error - The DR Group Name is too long. Line " +
                          std::to_string(lineNumber))});
  }
  expect = MORE_DRGROUPS;
  Step step;
  step.drGroup = true;
  step.drGroupName = name;
  return step;
}

std::unique_ptr<DeviceIDSource> makeSMISDeviceIDSource(
    const std::string& mapFile) {
  return std::make_unique<SMISDeviceIDSource>(mapFile);
}

ZARNDiscovery::ZARNDiscovery(const ToolOutput& io, const std::string& mapFile,
                             DeviceIDSource* source)
    : AdminTool(io), err(io.err), source(source), mapFile(mapFile) {}

void ZARNDiscovery::print(const std::string& text) { io.out->write(text + "\n"); }

void ZARNDiscovery::error(const std::string& text) {
  *err << text << '\n';
  err->flush();
}

void ZARNDiscovery::printUsage() {
  const std::string& c = command;
  io.out->write(
      "Usage: \n"
      "To generate the map data:\n"
      "\t" + c + " -f SF_ZARN_configuration_file\n"
      "\n"
      "To display the map list:\n"
      "\t" + c + " -l\n"
      "\n"
      "To pass SMIS QUERY timeout period in seconds with -f flag\n"
      "\t" + c + " -f SF_ZARN_configuration_file -t Query_Time_In_Seconds\n");
}

int ZARNDiscovery::usageFailure() {
  printUsage();
  return 1;
}

int ZARNDiscovery::run(int argc, char* argv[]) {
  Logger::getInstance()->logDebug("Inside the ZARNDiscovery::run method");
  command = calledName(argc, argv, "zarndiscovery");
  bool build = false, list = false, listIDs = false, queryTimeGiven = false;
  std::string inputFile, queryTime;
  restartOptions(/*printErrors=*/true);
  int opt;
  while ((opt = getopt(argc, argv, "f:ldt:")) != -1) {
    switch (opt) {
      case 'f': build = true; inputFile = optarg; break;
      case 'l': list = true; break;
      case 'd': listIDs = true; break;
      case 't': queryTimeGiven = true; queryTime = optarg; break;
      default: return usageFailure();
    }
  }
  if (argc < 2 || argc > 5 || (queryTimeGiven && !build)) return usageFailure();
  if (list) return listMap(argc, false);
  if (listIDs) return listMap(argc, true);
  if (build) return buildMap(inputFile, queryTime, queryTimeGiven);
  return 0;
}

int ZARNDiscovery::buildMap(const std::string& inputFile,
                            const std::string& queryTime, bool queryTimeGiven) {
  Logger::getInstance()->logDebug("Inside the ZARNDiscovery::buildMap method");
  if (inputFile.empty()) {
    error("Error - Missing input file name");
    return usageFailure();
  }
  // A negative time makes every lookup time out at once, which would be
  // reported as lookup failures; 0 stands for the default.
  if (queryTimeGiven && leadingInt(queryTime) < 0) {
    error("Error - invalid argument for -t option. Require a query time of 0 "
          "or more seconds");
    return usageFailure();
  }
  std::string text;
  if (sys::platform().files->readAll(inputFile, &text) != 0) {
    error("Error - Could not open the input file " + inputFile);
    return 1;
  }
  std::unique_ptr<DeviceIDSource> own;
  DeviceIDSource* lookups = source;
  if (lookups == nullptr) {
    own = makeSMISDeviceIDSource(mapFile);
    lookups = own.get();
  }
  if (lookups->initiateSMISData() != 0) {
    error("Error - Fail to initialize the SMIS Data list");
    return 1;
  }
  lookups->setQueryTime(queryTimeGiven ? leadingInt(queryTime) : 0);

  // The map starts empty: what this run finds replaces the stored map.
  ZARNIDMap map(false, mapFile);
  if (readInput(text, *lookups, map) != 0) return 1;

  print("Adding the mapping data to the file .... ");
  if (map.writeFile() != 0) {
    print("Error - " + map.getErrorMessage());
    return 1;
  }
  print("The mapping data is successfully generated.");
  return 0;
}

int ZARNDiscovery::readInput(const std::string& text, DeviceIDSource& lookups,
                             ZARNIDMap& map) {
  DiscoveryInput input;
  MapReader in(text);
  std::string line;
  int lineNumber = 0;
  while (in.getLine(&line)) {
    DiscoveryInput::Step step = input.feed(line, ++lineNumber);
    for (const DiscoveryInput::Message& m : step.messages)
      m.toStdout ? print(m.text) : error(m.text);
    if (step.failed) return 1;
    if (step.drGroup &&
        (storeDRGroup(lookups, map, input.firstStorage(), step.drGroupName) != 0 ||
         storeDRGroup(lookups, map, input.secondStorage(), step.drGroupName) != 0))
      return 1;
  }
  if (!input.complete()) {
    error("Error - input file contains incomplate data");
    return 1;
  }
  return 0;
}

int ZARNDiscovery::storeDRGroup(DeviceIDSource& lookups, ZARNIDMap& map,
                                const std::string& storageName,
                                const std::string& drGroupName) {
  print("Verifying the storage system " + storageName + " and DR Group " +
        drGroupName + " ......");
  DeviceID devID;
  if (lookups.findDeviceID(storageName, drGroupName, devID) != 0) {
    error("Error - Failed to verify the storage system and DR Group");
    return 1;
  }
  print("Generating the mapping data ...... ");
  if (map.setID(storageName, drGroupName, devID) != 0) {
    error("Error - " + map.getErrorMessage());
    return 1;
  }
  return 0;
}

int ZARNDiscovery::listMap(int argc, bool withIDs) {
  Logger::getInstance()->logDebug("Inside the ZARNDiscovery::listMap method");
  if (argc > 2) {
    error("Error - Too many arguments");
    return usageFailure();
  }
  ZARNIDMap map(false, mapFile);
  if (map.readFile() != 0) {
    std::string text = "Error - " + map.getErrorMessage();
    withIDs ? print(text) : error(text);
    return 1;
  }
  std::list<EDStorageCell> cells;
  map.getList(cells);
  std::string out = "SF ZARN Storage System and DR Groups map list:\n";
  for (const EDStorageCell& cell : cells) {
    out += "Storage WWN: " + cell.name + "\n";
    for (const EDDRGroup& group : cell.drgList) {
      out += "    DR Group Name: " + group.name + "\n";
      out += "        WWID List: \n";
      size_t pos = 0;
      while (pos < group.wwidList.size()) {
        size_t comma = group.wwidList.find(',', pos);
        if (comma == std::string::npos) comma = group.wwidList.size();
        out += std::string(19, ' ') + group.wwidList.substr(pos, comma - pos) +
               "\n";
        pos = comma + 1;
      }
      out += withIDs ? " (" + group.id + ")\n" : "\n";
    }
    out += "\n";
  }
  io.out->write(out);
  return 0;
}
