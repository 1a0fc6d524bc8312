#include "tests/support/scripted_sai.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "drif/sai_factory.h"
#include "drif/storage_array_interface.h"

namespace scripted {

Script& script() {
  static Script s;
  return s;
}

namespace {

const std::map<std::string, int>& names() {
  static const std::map<std::string, int> n = {
      {"UNKNOWN_ROLE", UNKNOWN_ROLE},
      {"SOURCE", SOURCE},
      {"TARGET", TARGET},
      {"UNKNOWN_LINK_STATE", UNKNOWN_LINK_STATE},
      {"UP", UP},
      {"DOWN", DOWN},
      {"UNKNOWN_ABSOLUTE_CURRENCY", UNKNOWN_ABSOLUTE_CURRENCY},
      {"YES", YES},
      {"NO", NO},
      {"INVALID", INVALID},
      {"SYNCED", SYNCED},
      {"TARGET_OUT_DATED", TARGET_OUT_DATED},
      {"SOURCE_OUT_DATED", SOURCE_OUT_DATED},
      {"UNKNOWN_OUT_DATED", UNKNOWN_OUT_DATED},
      {"TRACK_COPY_IN_PROGRESS", TRACK_COPY_IN_PROGRESS},
      {"LOG_COPY_IN_PROGRESS", LOG_COPY_IN_PROGRESS},
      {"UNKNOWN_WRITEMODE", UNKNOWN_WRITEMODE},
      {"SYNCHRONOUS", SYNCHRONOUS},
      {"ASYNCHRONOUS", ASYNCHRONOUS},
  };
  return n;
}

bool toInt(const std::string& text, int* value) {
  auto it = names().find(text);
  if (it != names().end()) {
    *value = it->second;
    return true;
  }
  char* end = nullptr;
  long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return false;
  *value = static_cast<int>(number);
  return true;
}

// Appends one line to the call file of a program run, if there is one.
void record(const std::string& call) {
  script().calls.push_back(call);
  const char* path = std::getenv("DRE_SAI_CALLS");
  if (path == nullptr) return;
  std::ofstream out(path, std::ios::app);
  out << call << "\n";
}

class ScriptedArrayInterface : public StorageArrayInterface {
 public:
  int initialize(const char* envFileName) override {
    record(std::string("initialize ") + (envFileName ? envFileName : ""));
    return script().initializeResult;
  }
  int getState(DataRepState& state) override {
    record("getState");
    if (script().getStateResult == 0) state = script().state;
    return script().getStateResult;
  }
  int failoverSwap(int waitTime) override {
    record("failoverSwap " + std::to_string(waitTime));
    return script().failoverSwapResult;
  }
  int failover(DataRepState&) override {
    record("failover");
    return 1;
  }
  int waitForMerging(int waitTime, std::string startupPolicy) override {
    record("waitForMerging " + std::to_string(waitTime) + " " + startupPolicy);
    return script().waitForMergingResult;
  }
  int waitForCopying(int waitTime) override {
    record("waitForCopying " + std::to_string(waitTime));
    return script().waitForCopyingResult;
  }
  int failback() override {
    record("failback");
    return 1;
  }
  int resyncFromTarget() override {
    record("resyncFromTarget");
    return 1;
  }
  int sourceWriteEnable() override {
    record("sourceWriteEnable");
    return script().sourceWriteEnableResult;
  }
};

}  // namespace

bool parseScript(const std::string& text, Script* out, std::string* error) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    std::string key = line.substr(0, eq);
    int value = 0;
    if (eq == std::string::npos || !toInt(line.substr(eq + 1), &value)) {
      *error = "bad script line: " + line;
      return false;
    }
    if (key == "create") out->createFails = value == 0;
    else if (key == "initialize") out->initializeResult = value;
    else if (key == "getState") out->getStateResult = value;
    else if (key == "failoverSwap") out->failoverSwapResult = value;
    else if (key == "waitForCopying") out->waitForCopyingResult = value;
    else if (key == "waitForMerging") out->waitForMergingResult = value;
    else if (key == "sourceWriteEnable") out->sourceWriteEnableResult = value;
    else if (key == "role") out->state.role = static_cast<DRRole>(value);
    else if (key == "link") out->state.linkState = static_cast<DRLinkState>(value);
    else if (key == "currency")
      out->state.absoluteCurrency = static_cast<DRAbsoluteCurrency>(value);
    else if (key == "rep") out->state.repState = static_cast<DRRepState>(value);
    else if (key == "writeMode")
      out->state.writeMode = static_cast<DRWriteMode>(value);
    else {
      *error = "unknown script key: " + key;
      return false;
    }
  }
  return true;
}

}  // namespace scripted

StorageArrayInterface* SAIFactory::create() {
  scripted::Script& s = scripted::script();
  const char* path = std::getenv("DRE_SAI_SCRIPT");
  if (path != nullptr) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!in || !scripted::parseScript(text.str(), &s, &error)) {
      std::fprintf(stderr, "scripted array interface: %s: %s\n", path,
                   error.empty() ? "cannot read" : error.c_str());
      return nullptr;
    }
  }
  if (s.createFails) return nullptr;
  ++s.created;
  return new scripted::ScriptedArrayInterface();
}

void SAIFactory::destroy(StorageArrayInterface* sai) {
  if (sai == nullptr) return;
  ++scripted::script().destroyed;
  delete sai;
}
