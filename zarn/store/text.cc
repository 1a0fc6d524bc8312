#include "zarn/store/text.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

int leadingInt(const std::string& text) {
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string removeHyphen(const std::string& text) {
  std::string out = text;
  out.erase(std::remove(out.begin(), out.end(), '-'), out.end());
  return out;
}
