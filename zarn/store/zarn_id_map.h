// The device ID map: for each pair of storage system and DR group, the DR
// group's identifier on the array and the WWIDs of its member disks, kept in
// the device ID map section of the map file. zarndiscovery builds and saves
// it; drenable and the query tools load it to look DR groups up without
// searching the array. Operations answer 0 for success; the text of the last
// failure is kept for getErrorMessage().
#ifndef ZARN_STORE_ZARN_ID_MAP_H
#define ZARN_STORE_ZARN_ID_MAP_H

#include <list>
#include <map>
#include <string>

#include "zarn/store/map_file.h"

class Logger;

constexpr char KEY_JOINT[] = ":";  // storage and DR group name in a map key

// The value stored for one DR group.
class DeviceID {
 public:
  std::string instanceID;  // the DR group's InstanceID on the array
  std::string wwidList;    // member disk WWIDs joined with ","
};

// Plain byte order of map keys (case-sensitive).
struct LTString {
  bool operator()(const std::string& a, const std::string& b) const {
    return a < b;
  }
};

// One DR group of a storage system, as getList gives it.
class EDDRGroup {
 public:
  std::string name;
  std::string id;
  std::string wwidList;
};

// One storage system with its DR groups, as getList gives it.
class EDStorageCell {
 public:
  std::string name;
  std::list<EDDRGroup> drgList;
};

class ZARNIDMap {
 public:
  ZARNIDMap();
  // Loads the map with readFile() when readFromFile is set; the outcome
  // shows in validate(). fileName is the map file (tests only).
  explicit ZARNIDMap(bool readFromFile, const std::string& fileName = MAP_FILE);
  ZARNIDMap(const ZARNIDMap& other);
  ZARNIDMap& operator=(const ZARNIDMap& other);
  ~ZARNIDMap();

  void setFileName(const std::string& fileName) { this->fileName = fileName; }
  const std::string& getFileName() const { return fileName; }

  // Replaces the map with the file's device ID map section; any failure
  // leaves the map empty.
  int readFile();
  // Rewrites the file with this map, keeping everything after the
  // separator line. Never creates the file; the saved file has mode 0600.
  // An empty map leaves the file alone. Refuses (1) an entry the file could not carry
  // back.
  int writeFile();

  // The two halves of readFile and writeFile that work on the file's text.
  int readText(const std::string& text);
  int writeText(const std::string& current, std::string* next);

  bool validate();
  std::string& getErrorMessage() { return errorMessage; }

  int setID(const std::string& storageName, const std::string& drGrpName,
            const DeviceID& devID);
  int getID(const std::string& storageName, const std::string& drGrpName,
            DeviceID& devID);
  int resetZARNMap();
  // 0 copied and advanced, 1 at the end, 2 map empty.
  int getNextElement(std::string& storageName, std::string& drGrpName,
                     DeviceID& devID);
  // Appends the whole map to scList, grouped by storage system: storage
  // systems in the order of their first key, DR groups in key order. Cells
  // already in scList with the same name receive the DR groups.
  int getList(std::list<EDStorageCell>& scList);

 private:
  using Entries = std::map<std::string, DeviceID, LTString>;

  std::string generateKey(const std::string& storageName,
                          const std::string& drGroupName);
  int generateNames(const std::string& key, std::string& storageName,
                    std::string& drGroupName);
  void debug(const char* msg);
  int checkNames(const std::string& storageName, const std::string& drGrpName);
  // The section text of this map, with room for extra bytes more; 1 when
  // an entry cannot be carried.
  int buildSection(std::string* section, size_t extra);

  Logger* log;
  Entries zarnMap;
  Entries::iterator zarnIter;
  std::string errorMessage;
  std::string fileName;
};

#endif  // ZARN_STORE_ZARN_ID_MAP_H
