// libFuzzer target for everything the client reads from the network: the
// CIM-XML response parser (every operation's reader) and the object path
// text form. Beyond "no crash, no sanitizer report", it checks that what
// was read survives being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "cim/exception.h"
#include "cim/object_path.h"
#include "cim/response_parser.h"
#include "cim/xml_writer.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void roundTripPath(std::string_view text) {
  cim::ObjectPath path;
  try {
    path = cim::ObjectPath::parse(text);
  } catch (const cim::Exception&) {
    return;
  }
  std::string again = path.toString();
  try {
    cim::ObjectPath back = cim::ObjectPath::parse(again);
    check(back == path);
    check(back.toString() == again);
  } catch (const cim::Exception&) {
    check(false);  // what was written must read back
  }
}

void roundTripInstances(const std::vector<cim::Instance>& instances) {
  std::string content;
  try {
    for (const auto& inst : instances) cim::xml::writeNamedInstance(content, inst);
  } catch (const cim::InvalidObjectPathException&) {
    return;  // a reference the text form cannot carry; nothing to compare
  }
  std::vector<cim::Instance> back;
  try {
    back = cim::response::parseEnumerateInstances(
        cim::xml::intrinsicResponse("1", "EnumerateInstances", content), "1");
  } catch (const cim::Exception&) {
    check(false);  // what was written must read back
  }
  check(back.size() == instances.size());
  for (size_t i = 0; i < back.size(); ++i) {
    check(back[i].getPath() == instances[i].getPath());
    check(back[i].getPropertyCount() == instances[i].getPropertyCount());
    for (size_t p = 0; p < back[i].getPropertyCount(); ++p)
      check(back[i].getProperty(p).getValue() == instances[i].getProperty(p).getValue());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  using namespace cim::response;
  try {
    for (const auto& p : parseEnumerateInstanceNames(body, "")) roundTripPath(p.toString());
  } catch (const cim::Exception&) {
  }
  try {
    roundTripInstances(parseEnumerateInstances(body, ""));
  } catch (const cim::Exception&) {
  }
  try {
    parseGetInstance(body, "");
  } catch (const cim::Exception&) {
  }
  try {
    for (const auto& p : parseAssociatorNames(body, "")) roundTripPath(p.toString());
  } catch (const cim::Exception&) {
  }
  try {
    parseSetProperty(body, "");
  } catch (const cim::Exception&) {
  }
  try {
    std::vector<cim::ParamValue> out;
    parseInvokeMethod(body, "", "FastFailover", &out);
  } catch (const cim::Exception&) {
  }
  if (size < 4096) roundTripPath(body);
  return 0;
}
