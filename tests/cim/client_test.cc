#include "cim/client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "cim/exception.h"
#include "cim/xml_writer.h"
#include "tests/support/black_hole.h"
#include "tests/support/files.h"
#include "tests/support/ports.h"
#include "tests/support/scripted_server.h"

namespace cim {
namespace {

using support::Request;
using support::ScriptedServer;

const NamespaceName kNs("root/ZARN");

std::string messageIdOf(const std::string& body) {
  size_t at = body.find("MESSAGE ID=\"");
  if (at == std::string::npos) return "";
  at += 12;
  return body.substr(at, body.find('"', at) - at);
}

// A valid answer to EnumerateInstanceNames with one storage system.
std::string storageSystems(const Request& req) {
  std::string names;
  xml::writeInstanceName(names, ObjectPath("", NamespaceName(), Name("QNZARN_StorageSystem"),
                                           {KeyBinding("Name", "5000ABCDEF012345")}));
  return xml::intrinsicResponse(messageIdOf(req.body), "EnumerateInstanceNames", names);
}

class ClientTest : public ::testing::Test {
 protected:
  // Connects the client to the server over HTTP as admin/secret.
  void connect(const ScriptedServer& server) {
    client.setTimeout(5000);
    client.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
  }
  std::vector<ObjectPath> enumerate() {
    return client.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
  }
  Client client;
};

TEST_F(ClientTest, RequestCarriesCimHeadersAndBasicCredentials) {
  ScriptedServer server([](int fd, const Request& req) {
    return support::sendAll(fd, support::cimResponse(storageSystems(req)));
  });
  connect(server);
  std::vector<ObjectPath> paths = enumerate();
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(*paths[0].findKey("Name"), "5000ABCDEF012345");

  Request req = server.requests().at(0);
  EXPECT_EQ(req.head.substr(0, req.head.find("\r\n")), "POST /cimom HTTP/1.1");
  EXPECT_EQ(req.header("authorization"), "Basic YWRtaW46c2VjcmV0");  // admin:secret
  EXPECT_EQ(req.header("content-type"), "application/xml; charset=utf-8");
  EXPECT_EQ(req.header("cimoperation"), "MethodCall");
  EXPECT_EQ(req.header("cimmethod"), "EnumerateInstanceNames");
  EXPECT_EQ(req.header("cimobject"), "root%2FZARN");
  EXPECT_FALSE(req.has("expect"));
  EXPECT_NE(req.body.find("<IMETHODCALL NAME=\"EnumerateInstanceNames\">"), std::string::npos);
}

// The connection connect() opens to check the server carries every request.
TEST_F(ClientTest, ConnectionIsReused) {
  ScriptedServer server([](int fd, const Request& req) {
    return support::sendAll(fd, support::cimResponse(storageSystems(req)));
  });
  connect(server);
  for (int i = 0; i < 3; ++i) enumerate();
  std::vector<Request> reqs = server.requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[0].connection, 1);
  EXPECT_EQ(reqs[2].connection, 1);
  EXPECT_EQ(server.connections(), 1);
}

// A connection the server closed, before the first request or after an
// answer, is replaced by a new one.
TEST_F(ClientTest, ClosedConnectionIsReopened) {
  ScriptedServer server([](int fd, const Request& req) {
    support::sendAll(fd, support::cimResponse(storageSystems(req)));
    return false;
  });
  server.closeOnAccept(1);
  connect(server);
  while (server.closedOnAccept() == 0) std::this_thread::yield();
  EXPECT_EQ(enumerate().size(), 1u);
  EXPECT_EQ(enumerate().size(), 1u);
  std::vector<Request> reqs = server.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].connection, 2);
  EXPECT_EQ(reqs[1].connection, 3);
}

// The server reads the second request on the connection the first one
// left open, then closes it without answering; anything after that is
// answered. libcurl sends a read again on a new connection; a change (a
// method call, a property change) must reach the server only once, since
// it may have been carried out before the close.
TEST_F(ClientTest, ChangeIsNeverSentTwiceAfterAClosedReusedConnection) {
  const ObjectPath cs("", NamespaceName(), Name("QNZARN_ConsistencySet"),
                      {KeyBinding("InstanceID", "ARRAY1\\CG\\0001")});
  const ObjectPath rs("", NamespaceName(), Name("QNZARN_StorageRemoteReplicationService"),
                      {KeyBinding("Name", "ARRAY1\\RS")});
  const struct {
    const char* what;
    std::function<void(Client&)> request;
    size_t arrivals;  // of the second request
  } cases[] = {
      {"read", [this](Client&) { enumerate(); }, 2},
      {"FastFailover",
       [&rs](Client& c) {
         std::vector<ParamValue> out;
         c.invokeMethod(kNs, rs, Name("FastFailover"), {ParamValue("QNKey", Value("MXRud"))},
                        out);
       },
       1},
      {"SetProperty",
       [&cs](Client& c) { c.setProperty(kNs, cs, Name("FailSafe"), Value("disable")); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int seen = 0;
    ScriptedServer server([&](int fd, const Request& req) {
      if (++seen == 2) return false;
      std::string id = messageIdOf(req.body);
      std::string method = req.header("cimmethod");
      std::string body =
          method == "EnumerateInstanceNames" ? storageSystems(req)
          : method == "FastFailover"
              ? xml::extrinsicResponse(id, "FastFailover", Value(0u), {})
              : xml::intrinsicResponse(id, "SetProperty", "", false);
      return support::sendAll(fd, support::cimResponse(body));
    });
    connect(server);
    enumerate();
    bool answered = true;
    try {
      c.request(client);
    } catch (const TransportException& e) {
      answered = false;
      EXPECT_EQ(e.getMessage(), "Connection to 127.0.0.1:" + std::to_string(server.port()) +
                                    " closed without an answer; the request is not sent again");
    }
    EXPECT_EQ(answered, c.arrivals == 2);
    std::vector<Request> reqs = server.requests();
    EXPECT_EQ(reqs.size(), 1 + c.arrivals);
    EXPECT_EQ(reqs.back().connection, static_cast<int>(c.arrivals));
    client.disconnect();
  }
}

TEST_F(ClientTest, InvokeMethodSendsPathHeaderAndTypedParameters) {
  ScriptedServer server([](int fd, const Request& req) {
    std::vector<ParamValue> out = {
        ParamValue("Results", Value(std::vector<std::uint32_t>{32801}))};
    return support::sendAll(fd, support::cimResponse(xml::extrinsicResponse(
                                 messageIdOf(req.body), "FastFailover", Value(5u), out)));
  });
  connect(server);
  ObjectPath rs("", NamespaceName(), Name("QNZARN_StorageRemoteReplicationService"),
                {KeyBinding("Name", "ARRAY1\\RS"), KeyBinding("SystemName", "ARRAY1")});
  std::vector<ParamValue> in = {
      ParamValue("QNKey", Value("MXRud")),
      ParamValue("ConsistencySet",
                 Value(std::vector<std::string>{R"(QNZARN_ConsistencySet.InstanceID="A\\CG")"}))};
  std::vector<ParamValue> out;
  Value rc = client.invokeMethod(kNs, rs, Name("FastFailover"), in, out);
  EXPECT_EQ(rc.getUint32(), 5u);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].getValue().getUint32Array().at(0), 32801u);

  Request req = server.requests().at(0);
  EXPECT_EQ(req.header("cimmethod"), "FastFailover");
  EXPECT_EQ(req.header("cimobject"),
            "root%2FZARN%3AQNZARN_StorageRemoteReplicationService.Name%3D%22ARRAY1%5C%5CRS%22%2C"
            "SystemName%3D%22ARRAY1%22");
  EXPECT_NE(req.body.find("<PARAMVALUE NAME=\"QNKey\" PARAMTYPE=\"string\"><VALUE>MXRud</VALUE>"),
            std::string::npos);
}

TEST_F(ClientTest, SetPropertyAndGetInstance) {
  ScriptedServer server([](int fd, const Request& req) {
    std::string id = messageIdOf(req.body);
    if (req.header("cimmethod") == "SetProperty")
      return support::sendAll(fd, support::cimResponse(xml::intrinsicResponse(id, "SetProperty", "", false)));
    Instance inst(Name("QNZARN_ConsistencySet"));
    inst.addProperty(Property(Name("FailSafe"), Value("disable")));
    std::string content;
    xml::writeInstance(content, inst);
    return support::sendAll(fd, support::cimResponse(xml::intrinsicResponse(id, "GetInstance", content)));
  });
  connect(server);
  ObjectPath cs("", NamespaceName(), Name("QNZARN_ConsistencySet"),
                {KeyBinding("InstanceID", "ARRAY1\\CG\\0001")});
  client.setProperty(kNs, cs, Name("FailSafe"), Value("disable"));
  Instance inst = client.getInstance(kNs, cs, true, false, false);
  EXPECT_EQ(inst.getPath(), cs);
  EXPECT_EQ(inst.getProperty(Name("FailSafe")).getValue().getString(), "disable");
  std::vector<Request> reqs = server.requests();
  EXPECT_NE(reqs[0].body.find("<IPARAMVALUE NAME=\"NewValue\"><VALUE>disable</VALUE>"),
            std::string::npos);
  EXPECT_NE(reqs[1].body.find("<KEYVALUE VALUETYPE=\"string\">ARRAY1\\CG\\0001</KEYVALUE>"),
            std::string::npos);
}

// Every way a server can fail must reach the caller as the right exception
// class, with a message that says what happened.
TEST_F(ClientTest, HttpAndContentFaults) {
  enum Kind { HTTP, RESPONSE, XML, CIM, TRANSPORT };
  struct Case {
    const char* what;
    std::function<std::string(const Request&)> answer;
    Kind kind;
    std::string message;  // expected message, or empty
  } cases[] = {
      {"401", [](const Request&) {
         return support::httpResponse(401, "Unauthorized", {"WWW-Authenticate: Basic realm=\"a\""}, "");
       }, HTTP, "HTTP error (401 Unauthorized)"},
      {"500", [](const Request&) {
         return support::httpResponse(500, "Internal Server Error", {}, "oops");
       }, HTTP, "HTTP error (500 Internal Server Error)"},
      {"CIMError header", [](const Request&) {
         return support::httpResponse(400, "Bad Request",
                                   {"CIMError: header-mismatch",
                                    "PGErrorDetail: CIMObject%20value%20%22root%2Fother%22"},
                                   "");
       }, HTTP,
       "HTTP error (400 Bad Request), CIMError: header-mismatch, detail: CIMObject value "
       "\"root/other\""},
      {"no CIMOperation header", [](const Request& req) {
         return support::httpResponse(200, "OK", {"Content-Type: application/xml"}, storageSystems(req));
       }, RESPONSE, ""},
      {"wrong content type", [](const Request& req) {
         return support::httpResponse(200, "OK",
                                   {"Content-Type: text/html", "CIMOperation: MethodResponse"},
                                   storageSystems(req));
       }, RESPONSE, "Unexpected content type \"text/html\" in the response"},
      {"other charset", [](const Request& req) {
         return support::httpResponse(200, "OK",
                                   {"Content-Type: text/xml; charset=\"iso-8859-1\"",
                                    "CIMOperation: MethodResponse"},
                                   storageSystems(req));
       }, RESPONSE, ""},
      {"malformed XML", [](const Request&) {
         return support::cimResponse("<CIM><MESSAGE ID=\"1\"><SIMPLERSP></CIM>");
       }, XML, ""},
      {"truncated XML", [](const Request& req) {
         std::string body = storageSystems(req);
         return support::cimResponse(body.substr(0, body.size() / 2));
       }, XML, ""},
      {"empty body", [](const Request&) { return support::cimResponse(""); }, XML, ""},
      {"CIM error", [](const Request& req) {
         return support::cimResponse(xml::errorResponse(messageIdOf(req.body), "EnumerateInstanceNames",
                                                     true, 5, "CIM_ERR_INVALID_CLASS: no class"));
       }, CIM, "CIM_ERR_INVALID_CLASS: no class"},
      {"error as 200 with access denied", [](const Request& req) {
         return support::cimResponse(xml::errorResponse(messageIdOf(req.body), "EnumerateInstanceNames",
                                                     true, 2, ""));
       }, CIM, "CIM_ERR_ACCESS_DENIED"},
      {"reset mid-response", [](const Request& req) {
         std::string all = support::cimResponse(storageSystems(req));
         return all.substr(0, all.size() - 40) + "\x01RESET";
       }, TRANSPORT, ""},
      {"closed without answer", [](const Request&) { return std::string("\x01CLOSE"); },
       TRANSPORT, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server([&](int fd, const Request& req) {
      std::string out = c.answer(req);
      if (out == "\x01CLOSE") return false;
      size_t reset = out.find("\x01RESET");
      if (reset != std::string::npos) {
        support::sendAll(fd, out.substr(0, reset));
        support::resetConnection(fd);
        return false;
      }
      support::sendAll(fd, out);
      return true;
    });
    Client fresh;
    fresh.setTimeout(5000);
    fresh.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
    try {
      fresh.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
      ADD_FAILURE() << "no exception";
    } catch (const HttpException& e) {
      EXPECT_EQ(c.kind, HTTP) << e.getMessage();
      EXPECT_EQ(e.getMessage(), c.message);
      EXPECT_EQ(e.getMessage().substr(12, 3), std::to_string(e.getCode()));
    } catch (const ResponseException& e) {
      EXPECT_EQ(c.kind, RESPONSE) << e.getMessage();
      if (!c.message.empty()) {
        EXPECT_EQ(e.getMessage(), c.message);
      }
    } catch (const XmlException& e) {
      EXPECT_EQ(c.kind, XML) << e.getMessage();
    } catch (const CIMException& e) {
      EXPECT_EQ(c.kind, CIM) << e.getMessage();
      EXPECT_EQ(e.getMessage(), c.message);
    } catch (const TransportException& e) {
      EXPECT_EQ(c.kind, TRANSPORT) << e.getMessage();
      EXPECT_EQ(e.getMessage().rfind("Connection to 127.0.0.1:", 0), 0u) << e.getMessage();
    }
  }
}

TEST_F(ClientTest, CIMErrorHeaderDetailIsDecoded) {
  ScriptedServer server([](int fd, const Request&) {
    return support::sendAll(fd, support::httpResponse(400, "Bad Request",
                                                {"CIMError: header-mismatch",
                                                 "PGErrorDetail: a%2Fb%ZZ"},
                                                ""));
  });
  connect(server);
  try {
    enumerate();
    FAIL();
  } catch (const HttpException& e) {
    EXPECT_EQ(e.getCode(), 400);
    EXPECT_EQ(e.getCIMError(), "header-mismatch");
    EXPECT_EQ(e.getCIMErrorDetail(), "a/b%ZZ");  // a bad escape is kept as it is
  }
}

std::string chunked(const std::string& body, const std::vector<std::string>& trailers) {
  std::string out =
      "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
      "CIMOperation: MethodResponse\r\nTransfer-Encoding: chunked\r\n"
      "Trailer: CIMStatusCode, CIMStatusCodeDescription\r\n\r\n";
  for (size_t at = 0; at < body.size(); at += 100) {
    std::string piece = body.substr(at, 100);
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    out += size + piece + "\r\n";
  }
  out += "0\r\n";
  for (const auto& t : trailers) out += t + "\r\n";
  return out + "\r\n";
}

// Text a server chose reaches messages and fields with its control
// characters escaped: a line feed in it must not start a log line of its
// own, nor an escape sequence reach a terminal.
TEST_F(ClientTest, ServerTextHasItsControlCharactersEscaped) {
  const std::string forged = "x\\x0aDec 08 07:52:17 - Node node1 : started";
  struct Case {
    const char* what;
    std::function<std::string(const Request&)> answer;
    std::string message;
  } cases[] = {
      {"reason phrase", [](const Request&) {
         return support::httpResponse(500, "Oops\x1b[2J\x7f", {}, "");
       }, "HTTP error (500 Oops\\x1b[2J\\x7f)"},
      {"CIMError and PGErrorDetail", [](const Request&) {
         return support::httpResponse(400, "Bad Request",
                                   {"CIMError: bad\x1b]0;title\x07",
                                    "PGErrorDetail: x%0ADec%2008%2007:52:17%20-%20Node%20node1%20:"
                                    "%20started"},
                                   "");
       }, "HTTP error (400 Bad Request), CIMError: bad\\x1b]0;title\\x07, detail: " + forged},
      {"status trailer description", [](const Request& req) {
         return chunked(storageSystems(req).substr(0, 250),
                        {"CIMStatusCode: 1", "CIMStatusCodeDescription: a%0D%0Ab%09c"});
       }, "CIM_ERR_FAILED: a\\x0d\\x0ab\tc"},
      {"ERROR description", [](const Request& req) {
         return support::cimResponse(xml::errorResponse(messageIdOf(req.body), "EnumerateInstanceNames",
                                                     true, 6, "gone\nDec 08 07:52:17 - Node"));
       }, "CIM_ERR_NOT_FOUND: gone\\x0aDec 08 07:52:17 - Node"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server(
        [&](int fd, const Request& req) { return support::sendAll(fd, c.answer(req)); });
    Client fresh;
    fresh.setTimeout(5000);
    fresh.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
    try {
      fresh.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
      ADD_FAILURE() << "no exception";
    } catch (const HttpException& e) {
      EXPECT_EQ(e.getMessage(), c.message);
      EXPECT_EQ(e.getMessage().find_first_of("\n\r\x1b\x7f"), std::string::npos);
      std::string fields = e.getReason() + e.getCIMError() + e.getCIMErrorDetail();
      EXPECT_EQ(fields.find_first_of("\n\x1b\x7f"), std::string::npos);
    } catch (const CIMException& e) {
      EXPECT_EQ(e.getMessage(), c.message);
      EXPECT_EQ(e.getDescription().find_first_of("\n\r"), std::string::npos);
    }
  }
}

TEST(EscapeControlTest, OnlyControlCharactersChange) {
  EXPECT_EQ(escapeControl(std::string("a\tb\\x0a\0\x1f\x7f \xC3\xA9~", 14)),
            "a\tb\\x0a\\x00\\x1f\\x7f \xC3\xA9~");
  EXPECT_EQ(escapeControl(escapeControl("\r\n")), "\\x0d\\x0a");
}

TEST_F(ClientTest, ChunkedResponsesAndStatusTrailer) {
  ScriptedServer server([](int fd, const Request& req) {
    std::string body = storageSystems(req);
    if (body.find("ID=\"1001\"") != std::string::npos)
      return support::sendAll(fd, chunked(body, {"CIMStatusCode: 0"}));
    // The provider fails half-way: the body is cut and the trailer says why.
    return support::sendAll(fd, chunked(body.substr(0, 250),
                                     {"CIMStatusCode: 1",
                                      "CIMStatusCodeDescription: CIM_ERR_FAILED: provider%20terminated"}));
  });
  connect(server);
  EXPECT_EQ(enumerate().size(), 1u);
  try {
    enumerate();
    FAIL() << "no exception";
  } catch (const CIMException& e) {
    EXPECT_EQ(e.getCode(), 1u);
    EXPECT_EQ(e.getMessage(), "CIM_ERR_FAILED: provider terminated");
  }
}

TEST_F(ClientTest, ServerThatNeverAnswersTimesOutOnTime) {
  ScriptedServer* self = nullptr;
  ScriptedServer server([&](int, const Request&) {
    self->hang();
    return false;
  });
  self = &server;
  client.setTimeout(400);
  client.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(enumerate(), ConnectionTimeoutException);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 390);
  EXPECT_LT(ms, 1400);
}

// A time-out of 0 means no time at all, never an endless wait.
TEST_F(ClientTest, ZeroTimeoutNeverWaitsForEver) {
  ScriptedServer* self = nullptr;
  ScriptedServer server([&](int, const Request&) {
    self->hang();
    return false;
  });
  self = &server;
  client.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
  client.setTimeout(0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(enumerate(), ConnectionTimeoutException);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// A server that dribbles its answer still has to finish within the time-out.
TEST_F(ClientTest, TricklingResponseTimesOut) {
  ScriptedServer server([](int fd, const Request&) {
    support::sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
    for (int i = 0; i < 40; ++i) {
      if (!support::sendAll(fd, "<")) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  });
  client.setTimeout(500);
  client.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "admin", "secret");
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(enumerate(), ConnectionTimeoutException);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

// A server whose host drops connection attempts fails connect() at the
// connection bound: the time-out, and never more than 10 s however long the
// time-out of a request.
TEST_F(ClientTest, UnansweredConnectFailsAtTheConnectionBound) {
  support::BlackHole hole;
  ASSERT_NE(hole.port(), 0);
  client.setTimeout(300);
  auto start = std::chrono::steady_clock::now();
  try {
    client.connect("127.0.0.1", static_cast<std::uint32_t>(hole.port()), "admin", "secret");
    FAIL() << "no exception";
  } catch (const ConnectionTimeoutException& e) {
    EXPECT_EQ(e.getMessage(),
              "No response from 127.0.0.1:" + std::to_string(hole.port()) + " within 300 ms");
  }
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 290);
  EXPECT_LT(ms, 1300);
  EXPECT_FALSE(client.isConnected());

  HttpTransport transport;
  transport.setTimeout(300000);
  EXPECT_EQ(transport.getConnectTimeout(), 10000u);
}

TEST_F(ClientTest, RefusedConnectionFailsAtConnect) {
  int port = support::unusedPort();
  try {
    client.connect("127.0.0.1", static_cast<std::uint32_t>(port), "admin", "secret");
    FAIL() << "no exception";
  } catch (const CannotConnectException& e) {
    EXPECT_EQ(e.getMessage().rfind("Cannot connect to 127.0.0.1:" + std::to_string(port) + ": ", 0),
              0u)
        << e.getMessage();
  }
  EXPECT_FALSE(client.isConnected());
  EXPECT_THROW(enumerate(), NotConnectedException);
}

// Answers larger than the limit are cut off early, whether announced by
// Content-Length or streamed in chunks; 100 MB is never held in memory.
TEST_F(ClientTest, HundredMegabyteResponseIsRefused) {
  const size_t total = 100u << 20;
  for (bool withLength : {true, false}) {
    SCOPED_TRACE(withLength ? "Content-Length" : "chunked");
    ScriptedServer server([&](int fd, const Request&) {
      std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nCIMOperation: MethodResponse\r\n";
      head += withLength ? "Content-Length: " + std::to_string(total) + "\r\n\r\n"
                         : std::string("Transfer-Encoding: chunked\r\n\r\n");
      if (!support::sendAll(fd, head)) return false;
      std::string block(1 << 20, 'x');
      std::string piece = withLength ? block : "100000\r\n" + block + "\r\n";
      for (size_t sent = 0; sent < total; sent += block.size())
        if (!support::sendAll(fd, piece)) break;
      return false;
    });
    Client fresh;
    fresh.setTimeout(20000);
    fresh.connect("127.0.0.1", static_cast<std::uint32_t>(server.port()), "", "");
    auto start = std::chrono::steady_clock::now();
    try {
      fresh.enumerateInstanceNames(kNs, Name("QNZARN_StorageSystem"));
      ADD_FAILURE() << "no exception";
    } catch (const TransportException& e) {
      EXPECT_EQ(e.getMessage(),
                "Response from 127.0.0.1:" + std::to_string(server.port()) +
                    " is larger than " + std::to_string(DEFAULT_MAX_RESPONSE_SIZE) + " bytes");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  }
}

// Header lines, and the trailers after a chunked body, have a bound of
// their own: 4 MiB of "a:b" lines are cut off at 256 KiB.
TEST_F(ClientTest, EndlessHeadersOrTrailersAreCutOff) {
  std::string lines;
  for (int i = 0; i < (4 << 20) / 5; ++i) lines += "a:b\r\n";
  for (bool trailers : {false, true}) {
    SCOPED_TRACE(trailers ? "trailers" : "headers");
    ScriptedServer server([&](int fd, const Request&) {
      support::sendAll(fd, std::string("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\n"
                                       "CIMOperation: MethodResponse\r\n"
                                       "Transfer-Encoding: chunked\r\n") +
                               (trailers ? "\r\n0\r\n" : "") + lines + "\r\n");
      return false;
    });
    connect(server);
    try {
      enumerate();
      ADD_FAILURE() << "no exception";
    } catch (const TransportException& e) {
      EXPECT_EQ(e.getMessage(), "Response headers from 127.0.0.1:" +
                                    std::to_string(server.port()) +
                                    " are larger than 262144 bytes");
    }
  }
}

TEST_F(ClientTest, LocalConnectionUsesTheSocketWithoutCredentials) {
  support::TempDir dir;
  std::string socketPath = dir.path() + "/cim.sock";
  ScriptedServer server(
      [](int fd, const Request& req) {
        return support::sendAll(fd, support::cimResponse(storageSystems(req)));
      },
      socketPath);
  EXPECT_STREQ(LOCAL_SOCKET_PATH, "/run/kxcluster/cim.sock");
  std::string previous = Client::getDefaultLocalSocketPath();
  Client::setDefaultLocalSocketPath(socketPath);
  client.connectLocal();
  Client::setDefaultLocalSocketPath(previous);
  EXPECT_EQ(enumerate().size(), 1u);
  EXPECT_EQ(server.connections(), 1);  // the connection connectLocal() checked
  EXPECT_FALSE(server.requests().at(0).has("authorization"));
  EXPECT_EQ(client.getEndpoint().describe(), "local socket " + socketPath);

  Client other;
  EXPECT_THROW(other.connectLocal(dir.path() + "/missing.sock"), CannotConnectException);
}

TEST(HeaderEncodingTest, EscapesUnsafeBytesBothWays) {
  std::string text = "root/ZARN:C.K=\"a\\b c\"\x01\xC3\xA9";
  std::string encoded = encodeHeaderValue(text);
  EXPECT_EQ(encoded, "root%2FZARN%3AC.K%3D%22a%5Cb%20c%22%01%C3%A9");
  EXPECT_EQ(decodeHeaderValue(encoded), text);
  EXPECT_EQ(decodeHeaderValue("100%"), "100%");
}

}  // namespace
}  // namespace cim
