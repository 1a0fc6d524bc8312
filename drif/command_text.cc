#include "drif/command_text.h"

#include <cstring>

bool isToolName(const std::string& name) {
  if (name.empty() || name[0] == '-') return false;
  for (char c : name) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                 (c >= '0' && c <= '9');
    if (alnum) continue;
    if (c == '\0' || std::strchr("_.-+/", c) == nullptr) return false;
  }
  return true;
}
