// The CIM server behind the HTTP front: checks one HTTP request the way a
// CIM server does (method, credentials, CIM headers, envelope), carries the
// operation out on the model, applies the scenario's faults, logs the
// request and says how the reply is to be delivered. Knows nothing of
// sockets, so tests can drive it with plain strings. Thread-safe: requests
// are carried out one at a time.
#ifndef SIM_CIM_SERVICE_H
#define SIM_CIM_SERVICE_H

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "sim/cim_xml.h"
#include "sim/request_log.h"
#include "sim/scenario.h"

namespace sim {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct HttpRequestIn {
  std::string method = "POST";
  Headers headers;
  std::string body;
  std::string via = "http";  // "http", "https" or "local"

  // The first header of that name (without case); empty when absent.
  std::string header(const std::string& name, bool* present = nullptr) const;
};

struct HttpReply {
  enum class Delivery {
    NORMAL,
    DROP,           // close the connection without a reply
    CHUNKED,        // chunked body, then the trailer
  };
  int status = 200;
  Headers headers;
  std::string body;
  Delivery delivery = Delivery::NORMAL;
  unsigned long delayMs = 0;  // wait this long before replying
  int trailerCode = 0;        // CIMStatusCode trailer of a chunked reply
  std::string trailerDescription;

  std::string header(const std::string& name) const;
};

// %-decoding of the CIMMethod and CIMObject headers: raw characters pass;
// false for a bad % sequence.
bool percentDecode(const std::string& in, std::string* out);
// %-encodes the bytes that may not stand in a header value.
std::string percentEncode(const std::string& in);

class CimService {
 public:
  // With a user name, requests other than local ones must carry these
  // credentials (HTTP Basic).
  CimService(Scenario scenario, const std::string& user,
             const std::string& password, RequestLog* log);
  CimService(const CimService&) = delete;
  CimService& operator=(const CimService&) = delete;

  HttpReply handle(const HttpRequestIn& in);

  // The model as it stands; only while no request is being handled.
  Model& model() { return scenario_.model; }

 private:
  HttpReply process(const HttpRequestIn& in, LogLine* line);
  HttpReply httpError(int status, const std::string& cimError,
                      const std::string& detail, LogLine* line);
  bool authorized(const HttpRequestIn& in) const;
  RequestFacts factsOf(const CimRequest& req, LogLine* line) const;
  void execute(const CimRequest& req, ResponseWriter* out, LogLine* line);
  void intrinsic(const CimRequest& req, ResponseWriter* out, LogLine* line);
  void extrinsic(const CimRequest& req, ResponseWriter* out, LogLine* line);

  std::mutex mutex_;
  Scenario scenario_;
  std::string user_;
  std::string password_;
  RequestLog* log_;
};

}  // namespace sim

#endif  // SIM_CIM_SERVICE_H
