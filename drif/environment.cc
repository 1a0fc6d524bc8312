#include "drif/environment.h"

#include <cstring>

#include "drif/logger.h"

namespace {

char* copyOf(const char* value) {
  if (value == nullptr) return nullptr;
  char* copy = new char[std::strlen(value) + 1];
  std::strcpy(copy, value);
  return copy;
}

}  // namespace

Environment::Environment()
    : log(Logger::getInstance()),
      clusterType(nullptr),
      packageDir(nullptr),
      switched(false) {}

Environment::~Environment() {
  delete[] clusterType;
  delete[] packageDir;
}

void Environment::setClusterType(const char* value) {
  char* copy = copyOf(value);  // value may point into the old copy
  delete[] clusterType;
  clusterType = copy;
}

void Environment::setPackageDir(const char* value) {
  char* copy = copyOf(value);
  delete[] packageDir;
  packageDir = copy;
}
