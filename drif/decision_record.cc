#include "drif/decision_record.h"

#include <utility>

namespace {

DecisionRecord* installed = nullptr;

}  // namespace

DecisionRecord* DecisionRecord::current() { return installed; }

DecisionRecord* DecisionRecord::install(DecisionRecord* record) {
  std::swap(installed, record);
  return record;
}

void DecisionRecord::set(const char* field, nlohmann::json value) {
  fields_[field] = std::move(value);
}

void DecisionRecord::add(const char* field, nlohmann::json entry) {
  nlohmann::json& list = fields_[field];
  if (!list.is_array()) list = nlohmann::json::array();
  list.push_back(std::move(entry));
}

void DecisionRecord::noteMessage(const std::string& text) {
  const std::string line = oneLine(text);
  fields_[record::MESSAGE] = line;
  if (!fields_.contains(record::FIRST_ERROR) && line.rfind("Error - ", 0) == 0)
    fields_[record::FIRST_ERROR] = line;
}

std::string isoTimeUtc(std::time_t when) {
  std::tm parts{};
  char text[32] = "";
  if (gmtime_r(&when, &parts) != nullptr)
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

std::string oneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (blank) {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}
