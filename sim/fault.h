// Faults a scenario injects into chosen requests: a late reply, a connection
// closed without reply, HTTP 500, a CIM error, a chunked reply (that may
// end in a failing CIMStatusCode trailer), or a reply whose body is not
// CIM-XML.
#ifndef SIM_FAULT_H
#define SIM_FAULT_H

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class FaultAction {
  DELAY,          // answer normally after delayMs
  DROP,           // close the connection without a reply
  HTTP_500,       // 500 Internal Server Error, empty body
  CIM_ERROR,      // an ERROR element with code and description
  CHUNKED_ERROR,  // part of the answer, chunked, then a CIMStatusCode trailer
  CHUNKED,        // the full answer, chunked, trailer CIMStatusCode 0
  GARBLED,        // 200 with CIM headers, the body cut short and mangled
};

// "delay", "drop"...; false for an unknown name.
bool faultActionFromName(const std::string& name, FaultAction* action);
const char* faultActionName(FaultAction action);

struct Fault {
  // Which requests: all given conditions must hold (names without case).
  std::string operation = "*";  // intrinsic or method name, "*" for any
  std::string className;        // class of the request's target
  std::string drGroup;          // short or element name of the DR group
  unsigned long skip = 0;       // matching requests let through first
  unsigned long times = 0;      // requests acted on after those; 0: no limit

  FaultAction action = FaultAction::DELAY;
  unsigned long delayMs = 0;  // any action waits this long first
  std::uint32_t code = 1;     // CIM status for CIM_ERROR and CHUNKED_ERROR
  std::string description = "CIM_ERR_FAILED: injected fault";
  bool execute = false;  // DROP, HTTP_500, CIM_ERROR, CHUNKED_ERROR,
                         // GARBLED: carry the operation out all the same

  unsigned long seen = 0;   // matching requests so far
  unsigned long fired = 0;  // requests acted on so far
};

// What a request is about, as far as faults look at it.
struct RequestFacts {
  std::string operation;
  std::string className;
  std::string drGroupName;     // short name, empty when no DR group
  std::string drGroupElement;  // element name
};

// Counts the request in every matching fault and returns the first one that
// acts on it, or null.
Fault* pickFault(std::vector<Fault>* faults, const RequestFacts& facts);

}  // namespace sim

#endif  // SIM_FAULT_H
