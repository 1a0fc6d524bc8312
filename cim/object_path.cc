#include "cim/object_path.h"

#include <algorithm>

#include "cim/exception.h"

namespace cim {

namespace {

bool isInteger(std::string_view v) {
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    v.remove_prefix(2);
    return std::all_of(v.begin(), v.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
             (c >= 'A' && c <= 'F');
    });
  }
  return !v.empty() &&
         std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool parsePath(std::string_view text, ObjectPath* out, std::string* error);

// Reads the key bindings after the '.' of a path.
bool parseKeys(std::string_view text, std::vector<KeyBinding>* keys,
               std::string* error) {
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    size_t eq = text.find('=', i);
    if (eq == std::string_view::npos) {
      *error = "missing '=' after key name";
      return false;
    }
    std::string_view name = text.substr(i, eq - i);
    if (!isLegalName(name)) {
      *error = "invalid key name \"" + std::string(name) + "\"";
      return false;
    }
    i = eq + 1;
    std::string value;
    KeyBinding::Kind kind;
    if (i < n && text[i] == '"') {
      ++i;
      bool closed = false;
      while (i < n) {
        char c = text[i];
        if (c == '\\') {
          if (i + 1 < n && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            value += text[i + 1];
            i += 2;
            continue;
          }
          *error = "invalid escape sequence in the value of key \"" +
                   std::string(name) + "\"";
          return false;
        }
        if (c == '"') {
          closed = true;
          ++i;
          break;
        }
        value += c;
        ++i;
      }
      if (!closed) {
        *error = "unterminated value of key \"" + std::string(name) + "\"";
        return false;
      }
      ObjectPath ref;
      std::string ignored;
      kind = parsePath(value, &ref, &ignored) && !ref.getKeyBindings().empty()
                 ? KeyBinding::REFERENCE
                 : KeyBinding::STRING;
    } else {
      size_t comma = text.find(',', i);
      std::string_view bare = text.substr(
          i, comma == std::string_view::npos ? std::string_view::npos : comma - i);
      if (bare.empty()) {
        *error = "missing value of key \"" + std::string(name) + "\"";
        return false;
      }
      if (bare[0] == 'T' || bare[0] == 't' || bare[0] == 'F' || bare[0] == 'f') {
        if (!isBooleanKeyValue(bare)) {
          *error = "invalid boolean value of key \"" + std::string(name) + "\"";
          return false;
        }
        kind = KeyBinding::BOOLEAN;
      } else if (isInteger(bare)) {
        kind = KeyBinding::NUMERIC;
      } else {
        *error = "invalid value of key \"" + std::string(name) + "\"";
        return false;
      }
      value = std::string(bare);
      i += bare.size();
    }
    keys->emplace_back(Name(std::string(name)), std::move(value), kind);
    if (i == n) return true;
    if (text[i] != ',') {
      *error = "expected ',' after the value of key \"" + std::string(name) + "\"";
      return false;
    }
    ++i;
  }
}

bool parsePath(std::string_view text, ObjectPath* out, std::string* error) {
  std::string_view rest = text;
  std::string host;
  if (rest.substr(0, 2) == "//") {
    size_t slash = rest.find('/', 2);
    if (slash == std::string_view::npos || slash == 2) {
      *error = "missing host or '/' after it";
      return false;
    }
    host = std::string(rest.substr(2, slash - 2));
    rest.remove_prefix(slash + 1);
  }
  NamespaceName ns;
  size_t colon = rest.find(':');
  size_t dot = rest.find('.');
  if (colon != std::string_view::npos && (dot == std::string_view::npos || colon < dot)) {
    std::string_view nsText = rest.substr(0, colon);
    if (!NamespaceName::isLegal(nsText)) {
      *error = "invalid namespace \"" + std::string(nsText) + "\"";
      return false;
    }
    ns = NamespaceName(std::string(nsText));
    rest.remove_prefix(colon + 1);
    dot = rest.find('.');
  }
  std::string_view className = rest.substr(0, dot);
  if (!isLegalName(className)) {
    *error = "invalid class name \"" + std::string(className) + "\"";
    return false;
  }
  std::vector<KeyBinding> keys;
  if (dot != std::string_view::npos && !parseKeys(rest.substr(dot + 1), &keys, error))
    return false;
  *out = ObjectPath(std::move(host), std::move(ns), Name(std::string(className)),
                    std::move(keys));
  return true;
}

bool sameKeys(const std::vector<KeyBinding>& a, const std::vector<KeyBinding>& b) {
  if (a.size() != b.size()) return false;
  for (const auto& key : a) {
    bool found = false;
    for (const auto& other : b) {
      if (key == other) {
        found = true;
        break;
      }
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace

bool KeyBinding::operator==(const KeyBinding& other) const {
  if (name_ != other.name_ || kind_ != other.kind_) return false;
  if (kind_ == REFERENCE) {
    ObjectPath a, b;
    std::string ignored;
    if (parsePath(value_, &a, &ignored) && parsePath(other.value_, &b, &ignored))
      return a == b;
  }
  if (kind_ == BOOLEAN) return equalsIgnoreCase(value_, other.value_);
  return value_ == other.value_;
}

ObjectPath ObjectPath::parse(std::string_view text) {
  ObjectPath path;
  std::string error;
  if (!parsePath(text, &path, &error))
    throw InvalidObjectPathException("Invalid object path \"" + std::string(text) +
                                     "\": " + error);
  return path;
}

const std::string* ObjectPath::findKey(const Name& name) const {
  for (const auto& key : keys_)
    if (key.getName() == name) return &key.getValue();
  return nullptr;
}

bool isNumericKeyValue(std::string_view value) { return isInteger(value); }

bool isBooleanKeyValue(std::string_view value) {
  return equalsIgnoreCase(value, "TRUE") || equalsIgnoreCase(value, "FALSE");
}

std::string quoteKeyValue(std::string_view raw) {
  std::string out;
  out.reserve(raw.size() + 2);
  out += '"';
  for (char c : raw) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string ObjectPath::toLocalString() const {
  std::string out = className_.getString();
  for (size_t i = 0; i < keys_.size(); ++i) {
    out += i == 0 ? '.' : ',';
    out += keys_[i].getName().getString();
    out += '=';
    if (keys_[i].getType() == KeyBinding::STRING ||
        keys_[i].getType() == KeyBinding::REFERENCE)
      out += quoteKeyValue(keys_[i].getValue());
    else
      out += keys_[i].getValue();
  }
  return out;
}

std::string ObjectPath::toString() const {
  std::string out;
  if (!host_.empty()) out += "//" + host_ + "/";
  if (!nameSpace_.isNull()) out += nameSpace_.getString() + ":";
  return out + toLocalString();
}

bool ObjectPath::operator==(const ObjectPath& other) const {
  return equalsIgnoreCase(host_, other.host_) && nameSpace_ == other.nameSpace_ &&
         className_ == other.className_ && sameKeys(keys_, other.keys_);
}

}  // namespace cim
