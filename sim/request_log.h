// The request log: one line per HTTP request the simulator received, so
// that tests can check what a program asked. Fields are separated by tabs:
//
//   operation  target  name=value ...
//
// operation is the intrinsic or method name ("-" when the request did not
// name one), target the class name or the object path in text form ("-"
// when there is none), then details such as via=http, drgroup=..., and
// always last status=ok, status=cim:<code> or status=http:<code>.
// Thread-safe; each line is flushed as it is written.
#ifndef SIM_REQUEST_LOG_H
#define SIM_REQUEST_LOG_H

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sim {

struct LogLine {
  std::string operation = "-";
  std::string target = "-";
  std::vector<std::pair<std::string, std::string>> details;
  std::string status = "ok";

  void add(const std::string& name, const std::string& value) {
    details.push_back({name, value});
  }
  // The line without its line feed; tabs and line ends inside values are
  // written as blanks.
  std::string text() const;
};

class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Appends to path (created when missing). False when it cannot be opened.
  bool open(const std::string& path);
  void write(const LogLine& line);  // does nothing when not open

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace sim

#endif  // SIM_REQUEST_LOG_H
