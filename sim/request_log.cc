#include "sim/request_log.h"

namespace sim {

namespace {

std::string clean(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return out;
}

}  // namespace

std::string LogLine::text() const {
  std::string line = clean(operation) + "\t" + clean(target);
  for (const auto& d : details) line += "\t" + d.first + "=" + clean(d.second);
  line += "\tstatus=" + status;
  return line;
}

RequestLog::~RequestLog() {
  if (file_) std::fclose(file_);
}

bool RequestLog::open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void RequestLog::write(const LogLine& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return;
  std::string text = line.text() + "\n";
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

}  // namespace sim
