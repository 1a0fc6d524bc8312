// A stand-in for zarndiscovery under load, for the end-to-end concurrency
// test: saves the device ID map of the node's map file over and over, one
// more DR group each round, until the server list has reached the given
// size and at least the given number of rounds is done. Prints the number
// of rounds (= DR groups written).
//
//   map_writer_loop <servers to wait for> <minimum rounds>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "drif/logger.h"
#include "zarn/store/smis_manager.h"
#include "zarn/store/zarn_id_map.h"

int main(int argc, char* argv[]) {
  if (argc != 3) return 2;
  const int servers = std::atoi(argv[1]);
  const int minRounds = std::atoi(argv[2]);
  Logger* log = Logger::createInstance();
  int rounds = 0;
  for (;;) {
    ZARNIDMap map;
    if (map.readFile() != 0) {
      std::fprintf(stderr, "load: %s\n", map.getErrorMessage().c_str());
      return 1;
    }
    DeviceID id;
    id.instanceID = "DRG-" + std::to_string(rounds);
    id.wwidList = "6005-08b4-0001-" + std::to_string(rounds);
    map.setID("5001438002000000",
              "\\Data Replication\\g" + std::to_string(rounds), id);
    if (map.writeFile() != 0) {
      std::fprintf(stderr, "save: %s\n", map.getErrorMessage().c_str());
      return 1;
    }
    ++rounds;

    SMISManager list(true);
    int count = 0;
    SMISData d;
    while (list.getNextSMIS(d) == 0) ++count;
    if (rounds >= minRounds && count >= servers) break;
    if (rounds > 100000) return 1;
  }
  std::printf("%d\n", rounds);
  Logger::removeInstance(&log);
  return 0;
}
