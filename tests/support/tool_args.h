// Runs an administration tool on a command line, as its program's main
// does.
#ifndef TESTS_SUPPORT_TOOL_ARGS_H
#define TESTS_SUPPORT_TOOL_ARGS_H

#include <string>
#include <vector>

#include "zarn/tools/admin_tool.h"

namespace support {

// words[0] is the name the tool is called by.
inline int runWith(AdminTool& tool, std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  return tool.run(static_cast<int>(words.size()), argv.data());
}

}  // namespace support

#endif  // TESTS_SUPPORT_TOOL_ARGS_H
