#include "zarn/store/zarn_id_map.h"

#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>

#include "drif/logger.h"
#include "zarn/store/map_file.h"
#include "zarn/store/smis_manager.h"

namespace {

const char CORRUPTED[] = "Corrupted ZARN data in the map file";

// Lines with a meaning of their own in the map file: a storage system name
// or a WWID equal to one of them would be read back as something else.
bool isReservedLine(std::string_view line) {
  static const char* const reserved[] = {
      SECTION_SEPARATOR, MAP_BEGIN_TAG,      MAP_END_TAG,
      DRGROUP_BEGIN_TAG, DRGROUP_END_TAG,    WWIDLIST_BEGIN_TAG,
      WWIDLIST_END_TAG,  SMIS_BEGIN_TAG,     SMIS_END_TAG};
  for (const char* tag : reserved)
    if (line == tag) return true;
  return false;
}

// Calls each(piece) for every non-empty piece of text between commas.
template <typename F>
void forEachWWID(std::string_view list, F each) {
  size_t pos = 0;
  while (pos < list.size()) {
    size_t end = list.find(',', pos);
    if (end == std::string_view::npos) end = list.size();
    if (end > pos) each(list.substr(pos, end - pos));
    pos = end + 1;
  }
}

bool has(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

// Why a storage system name could not be read back, or "".
std::string storageProblem(std::string_view storage) {
  if (has(storage, "\n")) return "the storage system name contains a line feed";
  if (isReservedLine(storage))
    return "the storage system name is a tag of the map file";
  return "";
}

// Why a DR group line and its WWID lines could not be read back, or "".
std::string groupProblem(std::string_view name, const DeviceID& value) {
  if (has(name, ID_JOINT))
    return std::string("the DR group name contains \"") + ID_JOINT + "\"";
  if (has(name, "\n")) return "the DR group name contains a line feed";
  if (value.instanceID.empty()) return "the DR group ID is empty";
  if (has(value.instanceID, ID_JOINT))
    return std::string("the DR group ID contains \"") + ID_JOINT + "\"";
  if (has(value.instanceID, "\n")) return "the DR group ID contains a line feed";
  if (has(value.wwidList, "\n")) return "the WWID list contains a line feed";
  std::string problem;
  forEachWWID(value.wwidList, [&](std::string_view wwid) {
    if (problem.empty() && isReservedLine(wwid))
      problem = "the WWID " + std::string(wwid) + " is a tag of the map file";
  });
  return problem;
}

}  // namespace

ZARNIDMap::ZARNIDMap()
    : log(Logger::getInstance()), zarnIter(zarnMap.end()), fileName(MAP_FILE) {
  debug("Inside the ZARNIDMap constructor");
}

ZARNIDMap::ZARNIDMap(bool readFromFile, const std::string& fileName)
    : log(Logger::getInstance()), zarnIter(zarnMap.end()), fileName(fileName) {
  debug("Inside the ZARNIDMap copy constructor");
  if (readFromFile) readFile();
}

ZARNIDMap::ZARNIDMap(const ZARNIDMap& other)
    : log(other.log), zarnIter(zarnMap.end()) {
  *this = other;
}

ZARNIDMap& ZARNIDMap::operator=(const ZARNIDMap& other) {
  if (this == &other) return *this;
  log = other.log;
  zarnMap = other.zarnMap;
  errorMessage = other.errorMessage;
  fileName = other.fileName;
  Entries::const_iterator at = other.zarnIter;
  zarnIter = at == other.zarnMap.end() ? zarnMap.end() : zarnMap.find(at->first);
  return *this;
}

ZARNIDMap::~ZARNIDMap() {
  debug("Inside the ZARNIDMap destructor");
  zarnMap.clear();
}

void ZARNIDMap::debug(const char* msg) {
  if (log != nullptr) log->logDebug(msg);
}

int ZARNIDMap::readFile() {
  debug("Inside the ZARNIDMap::readFile method");
  std::string text;
  if (!MapFile(fileName).read(&text)) {
    zarnMap.clear();
    zarnIter = zarnMap.end();
    errorMessage = "Could not open the file " + fileName + " for read";
    return 1;
  }
  return readText(text);
}

int ZARNIDMap::readText(const std::string& text) {
  zarnMap.clear();
  zarnIter = zarnMap.end();
  MapReader in(text);
  if (!in.skipTo(MAP_BEGIN_TAG)) {
    debug("ZARN ID Map - No map data found in the file");
    return 0;
  }

  bool ok = false;
  std::string line, storage, groupLine, name, id, wwid, wwids;
  for (;;) {
    if (!in.getLine(&line)) break;
    if (line == MAP_END_TAG) {
      ok = true;
      break;
    }
    storage = line;
    if (!in.getLine(&line) || line != DRGROUP_BEGIN_TAG) break;
    if (!in.getLine(&groupLine)) break;
    bool storageDone = false;
    for (;;) {
      // Name and ID are the first two pieces between colons; runs of colons
      // count as one.
      size_t a = groupLine.find_first_not_of(ID_JOINT);
      size_t b = a == std::string::npos ? a : groupLine.find(ID_JOINT, a);
      size_t c = b == std::string::npos ? b : groupLine.find_first_not_of(ID_JOINT, b);
      if (c == std::string::npos) break;
      size_t d = groupLine.find(ID_JOINT, c);
      name = groupLine.substr(a, b - a);
      id = groupLine.substr(c, d == std::string::npos ? d : d - c);

      if (!in.getLine(&line) || line != WWIDLIST_BEGIN_TAG) break;
      wwids.clear();
      bool listDone = false;
      size_t count = 0;
      while (in.getLine(&wwid)) {
        if (wwid == WWIDLIST_END_TAG) {
          listDone = true;
          break;
        }
        if (count++ > 0) wwids.push_back(',');
        wwids.append(wwid);
      }
      if (!listDone) break;
      DeviceID value;
      value.instanceID = id;
      value.wwidList = wwids;
      if (setID(storage, name, value) != 0) break;

      if (!in.getLine(&groupLine)) break;
      if (groupLine == DRGROUP_END_TAG) {
        storageDone = true;
        break;
      }
    }
    if (!storageDone) break;
  }
  if (!ok) {
    errorMessage = CORRUPTED;
    zarnMap.clear();
    zarnIter = zarnMap.end();
    return 1;
  }
  zarnIter = zarnMap.begin();
  return 0;
}

int ZARNIDMap::buildSection(std::string* section, size_t extra) {
  section->clear();
  size_t size = 32 + extra;
  for (const auto& entry : zarnMap)
    size += entry.first.size() + entry.second.instanceID.size() +
            entry.second.wwidList.size() + 64;
  section->reserve(size);  // one allocation for the whole file

  // The keys of one storage system are next to each other in key order, so
  // one walk gives the storage systems and DR groups in getList's order.
  section->append(MAP_BEGIN_TAG).append("\n");
  bool first = true;
  std::string_view storage;
  for (const auto& entry : zarnMap) {
    const std::string& key = entry.first;
    size_t at = key.find(KEY_JOINT);
    if (at == std::string::npos || at + 1 == key.size()) continue;
    std::string_view keyStorage = std::string_view(key).substr(0, at);
    std::string_view group = std::string_view(key).substr(at + 1);
    std::string problem;
    if (first || keyStorage != storage) {
      if (!first) section->append(DRGROUP_END_TAG).append("\n");
      first = false;
      storage = keyStorage;
      problem = storageProblem(storage);
      section->append(storage).append("\n");
      section->append(DRGROUP_BEGIN_TAG).append("\n");
    }
    if (problem.empty()) problem = groupProblem(group, entry.second);
    if (!problem.empty()) {
      errorMessage = "The DR group " + std::string(group) +
                     " of the storage system " + std::string(storage) +
                     " cannot be stored in the map file: " + problem;
      section->clear();
      return 1;
    }
    section->append(group).append(ID_JOINT).append(entry.second.instanceID);
    section->append("\n").append(WWIDLIST_BEGIN_TAG).append("\n");
    forEachWWID(entry.second.wwidList, [section](std::string_view wwid) {
      section->append(wwid).append("\n");
    });
    section->append(WWIDLIST_END_TAG).append("\n");
  }
  if (!first) section->append(DRGROUP_END_TAG).append("\n");
  section->append(MAP_END_TAG).append("\n");
  return 0;
}

int ZARNIDMap::writeText(const std::string& current, std::string* next) {
  // Keep everything after the separator line, byte for byte.
  size_t separator = findLine(current, SECTION_SEPARATOR);
  size_t tail = current.size();
  if (separator != std::string::npos) {
    tail = separator + 1;
    if (tail < current.size()) ++tail;  // the separator's line feed
  }
  if (buildSection(next, current.size() - tail + 2) != 0) return 1;
  if (separator != std::string::npos) {
    next->append(SECTION_SEPARATOR).append("\n");
    next->append(current, tail, std::string::npos);
  }
  return 0;
}

int ZARNIDMap::writeFile() {
  debug("Inside the ZARNIDMap::writeFile method");
  if (zarnMap.empty()) {
    debug("The ZARN map contains no data; No write to the file");
    return 0;
  }
  std::string error;
  bool saved = MapFile(fileName).save(
      [this](const std::string* current, std::string* next,
             std::string* why) {
        if (writeText(*current, next) == 0) return true;
        *why = errorMessage;
        return false;
      },
      true, &error);
  if (!saved) {
    errorMessage = error;
    return 1;
  }
  return 0;
}

bool ZARNIDMap::validate() {
  debug("Inside the ZARNIDMap::validate method");
  return !errorMessage.empty();
}

int ZARNIDMap::checkNames(const std::string& storageName,
                          const std::string& drGrpName) {
  if (storageName.empty()) {
    errorMessage = "(Internal) - Set ZARN ID map - invalid storage name";
    return 1;
  }
  if (drGrpName.empty()) {
    errorMessage = "(Internal) - Set ZARN ID map - invalid DR group name";
    return 1;
  }
  return 0;
}

int ZARNIDMap::setID(const std::string& storageName,
                     const std::string& drGrpName, const DeviceID& devID) {
  debug("Inside the ZARNIDMap::setID method");
  if (checkNames(storageName, drGrpName) != 0) return 1;
  // Entries loaded from a file come in key order: the hint makes that
  // insertion constant time.
  zarnMap.insert_or_assign(zarnMap.end(), generateKey(storageName, drGrpName),
                           devID);
  return 0;
}

int ZARNIDMap::getID(const std::string& storageName,
                     const std::string& drGrpName, DeviceID& devID) {
  debug("Inside the ZARNIDMap::getID method");
  if (checkNames(storageName, drGrpName) != 0) return 1;
  auto found = zarnMap.find(generateKey(storageName, drGrpName));
  if (found == zarnMap.end()) {
    errorMessage = "Device ID of the storage " + storageName +
                   " and DR group " + drGrpName + " not found in the yrzarn.map";
    return 1;
  }
  devID = found->second;
  return 0;
}

int ZARNIDMap::resetZARNMap() {
  debug("Inside the ZARNIDMap::resetZARNMap method");
  zarnIter = zarnMap.begin();
  return 0;
}

int ZARNIDMap::getNextElement(std::string& storageName, std::string& drGrpName,
                              DeviceID& devID) {
  debug("Inside the ZARNIDMap::getNextElement method");
  if (zarnMap.empty()) {
    errorMessage = "No ID in the map.";
    return 2;
  }
  if (zarnIter == zarnMap.end()) return 1;
  if (generateNames(zarnIter->first, storageName, drGrpName) != 0) {
    debug("Failed to generate storage and DR group names from map key");
    return 1;
  }
  devID = zarnIter->second;
  ++zarnIter;
  return 0;
}

int ZARNIDMap::getList(std::list<EDStorageCell>& scList) {
  debug("Inside the ZARNIDMap::getList method");
  // The first cell of each name, so that every DR group finds its cell in
  // constant time.
  std::unordered_map<std::string, EDStorageCell*> cells;
  for (EDStorageCell& cell : scList) cells.emplace(cell.name, &cell);

  std::string storage, group;
  for (zarnIter = zarnMap.begin(); zarnIter != zarnMap.end(); ++zarnIter) {
    if (generateNames(zarnIter->first, storage, group) != 0) continue;
    EDDRGroup entry;
    entry.name = group;
    entry.id = zarnIter->second.instanceID;
    entry.wwidList = zarnIter->second.wwidList;
    auto found = cells.find(storage);
    if (found == cells.end()) {
      EDStorageCell cell;
      cell.name = storage;
      scList.push_back(std::move(cell));
      found = cells.emplace(storage, &scList.back()).first;
    }
    found->second->drgList.push_back(std::move(entry));
  }
  return 0;
}

std::string ZARNIDMap::generateKey(const std::string& storageName,
                                   const std::string& drGroupName) {
  return storageName + KEY_JOINT + drGroupName;
}

int ZARNIDMap::generateNames(const std::string& key, std::string& storageName,
                             std::string& drGroupName) {
  size_t at = key.find(KEY_JOINT);
  if (at == std::string::npos || at + 1 == key.size()) return 1;
  storageName = key.substr(0, at);
  drGroupName = key.substr(at + 1);
  return 0;
}
