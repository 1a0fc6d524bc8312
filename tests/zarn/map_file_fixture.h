// A map file in a fresh folder, for the tests of MapFile, and a builder
// that records what a save was handed.
#ifndef TESTS_ZARN_MAP_FILE_FIXTURE_H
#define TESTS_ZARN_MAP_FILE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "zarn/store/map_file.h"

namespace support {

class MapFileTest : public testing::Test {
 protected:
  MapFileTest() : path(dir.file("yrzarn.map")), file(path) {}

  // A builder that writes the given text, recording what it was handed.
  MapFile::Builder writes(const std::string& text) {
    return [this, text](const std::string* current, std::string* next,
                        std::string*) {
      seen = current == nullptr ? "<none>" : *current;
      *next = text;
      return true;
    };
  }

  support::TempDir dir;
  std::string path;
  MapFile file;
  std::string seen;
  std::string error;
};

}  // namespace support

#endif  // TESTS_ZARN_MAP_FILE_FIXTURE_H
