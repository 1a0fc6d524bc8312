// The CIM server behind the HTTP front, driven with plain requests: the
// HTTP-level checks a CIM server makes, the operations, faults and the
// request log.
#include "sim/cim_service.h"

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/wire.h"

namespace sim {
namespace {

using support::intrinsicBody;

const char* const SCENARIO = R"({
  "host": "smis.test",
  "arrays": [{"id": "dc1", "wwn": "AAAABBBBCCCC0001",
              "volumes": [{"id": "v1", "wwn": "W1", "hosts": ["node1"]}]},
             {"id": "dc2", "wwn": "AAAABBBBCCCC0002"}],
  "drGroups": [{"name": "dg01", "sides": [{"array": "dc1", "volumes": ["v1"]},
                                          {"array": "dc2"}],
                "failoverResults": ["LOCK_COLLISION", {"code": 32790, "scalarOutput": true}]}],
  "faults": %s
})";

const char* const SET = "AAAABBBBCCCC0002\\DRG\\0001";

class CimServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { makeService("[]"); }

  void makeService(const std::string& faults, const std::string& user = "admin") {
    std::string text = SCENARIO;
    text.replace(text.find("%s"), 2, faults);
    Scenario s;
    std::string error;
    ASSERT_TRUE(parseScenario(text, &s, &error)) << error;
    log_ = std::make_unique<RequestLog>();
    ASSERT_TRUE(log_->open(dir_.file("requests.log")));
    service_ = std::make_unique<CimService>(std::move(s), user, "secret", log_.get());
  }

  static HttpRequestIn request(const std::string& method, const std::string& object,
                               const std::string& body) {
    HttpRequestIn in;
    in.headers = {{"Authorization", "Basic YWRtaW46c2VjcmV0"},  // admin:secret
                  {"Content-Type", "application/xml; charset=\"utf-8\""},
                  {"CIMProtocolVersion", "1.0"},
                  {"CIMOperation", "MethodCall"},
                  {"CIMMethod", method},
                  {"CIMObject", object}};
    in.body = body;
    return in;
  }

  HttpReply call(const std::string& method, const std::string& params) {
    return service_->handle(request(method, "root%2FZARN", intrinsicBody(method, params)));
  }

  static std::string failoverBody(const std::string& params,
                                  const std::string& array = "AAAABBBBCCCC0002") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><CIM CIMVERSION=\"2.0\" "
           "DTDVERSION=\"2.0\"><MESSAGE ID=\"9\" PROTOCOLVERSION=\"1.0\"><SIMPLEREQ>"
           "<METHODCALL NAME=\"FastFailover\"><LOCALINSTANCEPATH><LOCALNAMESPACEPATH>"
           "<NAMESPACE NAME=\"root\"/><NAMESPACE NAME=\"ZARN\"/></LOCALNAMESPACEPATH>"
           "<INSTANCENAME CLASSNAME=\"QNZARN_StorageRemoteReplicationService\">"
           "<KEYBINDING NAME=\"CreationClassName\"><KEYVALUE>"
           "QNZARN_StorageRemoteReplicationService</KEYVALUE></KEYBINDING>"
           "<KEYBINDING NAME=\"Name\"><KEYVALUE>" + array + "\\RS</KEYVALUE></KEYBINDING>"
           "<KEYBINDING NAME=\"SystemCreationClassName\"><KEYVALUE>QNZARN_StorageSystem"
           "</KEYVALUE></KEYBINDING><KEYBINDING NAME=\"SystemName\"><KEYVALUE>" + array +
           "</KEYVALUE></KEYBINDING></INSTANCENAME></LOCALINSTANCEPATH>" + params +
           "</METHODCALL></SIMPLEREQ></MESSAGE></CIM>";
  }

  static std::string serviceObject(const std::string& array = "AAAABBBBCCCC0002") {
    return "root/ZARN:QNZARN_StorageRemoteReplicationService.CreationClassName="
           "\"QNZARN_StorageRemoteReplicationService\",Name=\"" + array +
           "\\\\RS\",SystemCreationClassName=\"QNZARN_StorageSystem\",SystemName=\"" +
           array + "\"";
  }

  static std::string goodFailoverParams() {
    return "<PARAMVALUE NAME=\"QNKey\" PARAMTYPE=\"string\"><VALUE>MXRud</VALUE></PARAMVALUE>"
           "<PARAMVALUE NAME=\"ConsistencySet\" PARAMTYPE=\"string\"><VALUE.ARRAY><VALUE>"
           "QNZARN_ConsistencySet.InstanceID=&quot;AAAABBBBCCCC0002\\\\DRG\\\\0001&quot;"
           "</VALUE></VALUE.ARRAY></PARAMVALUE>";
  }

  HttpReply failover(const std::string& params) {
    return service_->handle(
        request("FastFailover", serviceObject(),
                failoverBody(params)));
  }

  std::vector<std::string> logLines() {
    std::string text = dir_.read("requests.log");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  support::TempDir dir_;
  std::unique_ptr<RequestLog> log_;
  std::unique_ptr<CimService> service_;
};

const std::string CLASS_PARAM =
    "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_StorageSystem\"/></IPARAMVALUE>";

// Given a request that breaks one rule of the protocol each.
TEST_F(CimServiceTest, HttpLevelRejections) {
  std::string body = intrinsicBody("EnumerateInstanceNames", CLASS_PARAM);
  struct Case {
    const char* what;
    std::string header;  // header to change ("" leaves all)
    std::string value;   // new value ("-" removes the header)
    std::string body;
    int status;
    const char* cimError;
  } cases[] = {
      {"no credentials", "Authorization", "-", body, 401, ""},
      {"wrong password", "Authorization", "Basic YWRtaW46d3Jvbmc=", body, 401, ""},
      {"not base64", "Authorization", "Basic !!!", body, 401, ""},
      {"not a CIM request", "CIMOperation", "-", body, 400, ""},
      {"another operation kind", "CIMOperation", "MethodResponse", body, 400,
       "unsupported-operation"},
      {"batch", "CIMBatch", "1", body, 501, "multiple-requests-unsupported"},
      {"form post", "Content-Type", "application/x-www-form-urlencoded", body, 400, ""},
      {"latin-1", "Content-Type", "text/xml; charset=iso-8859-1", body, 400, ""},
      {"no method header", "CIMMethod", "-", body, 400, "header-mismatch"},
      {"other method", "CIMMethod", "EnumerateInstances", body, 400, "header-mismatch"},
      {"bad escape", "CIMObject", "root%2", body, 400, "header-mismatch"},
      {"other namespace", "CIMObject", "root%2Fcimv2", body, 400, "header-mismatch"},
      {"protocol version", "CIMProtocolVersion", "1.1", body, 400, "header-mismatch"},
      {"not XML", "", "", "<CIM", 400, "request-not-well-formed"},
      {"not CIM-XML", "", "", "<x/>", 400, "request-not-valid"},
      {"not UTF-8", "", "", "<CIM>\xff</CIM>", 400, "request-not-valid"},
      {"CIM 3.0", "", "",
       "<CIM CIMVERSION=\"3.0\" DTDVERSION=\"2.0\"><MESSAGE ID=\"1\" "
       "PROTOCOLVERSION=\"1.0\"/></CIM>",
       501, "unsupported-cim-version"},
      {"protocol 2.0", "", "",
       "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\"><MESSAGE ID=\"1\" "
       "PROTOCOLVERSION=\"2.0\"/></CIM>",
       501, "unsupported-protocol-version"},
  };
  for (const Case& c : cases) {
    HttpRequestIn in = request("EnumerateInstanceNames", "root%2FZARN", c.body);
    if (!c.header.empty()) {
      bool replaced = false;
      for (auto it = in.headers.begin(); it != in.headers.end(); ++it) {
        if (it->first != c.header) continue;
        replaced = true;
        if (c.value == "-")
          in.headers.erase(it);
        else
          it->second = c.value;
        break;
      }
      if (!replaced) in.headers.push_back({c.header, c.value});
    }
    HttpReply r = service_->handle(in);
    EXPECT_EQ(c.status, r.status) << c.what;
    EXPECT_EQ(c.cimError, r.header("CIMError")) << c.what;
    if (c.status == 401) {
      EXPECT_EQ("Basic realm=\"smis.test\"", r.header("WWW-Authenticate")) << c.what;
    }
  }
  HttpRequestIn get = request("EnumerateInstanceNames", "root%2FZARN", body);
  get.method = "GET";
  EXPECT_EQ(501, service_->handle(get).status);
}

TEST_F(CimServiceTest, MismatchCarriesDecodedDetail) {
  HttpReply r = service_->handle(request("EnumerateInstanceNames", "root%2Fother",
                                         intrinsicBody("EnumerateInstanceNames", CLASS_PARAM)));
  EXPECT_EQ(400, r.status);
  std::string detail;
  ASSERT_TRUE(percentDecode(r.header("PGErrorDetail"), &detail));
  EXPECT_EQ("CIMObject value \"root/other\" does not match CIM request object "
            "\"root/ZARN\".",
            detail);
}

TEST_F(CimServiceTest, LocalRequestsNeedNoCredentials) {
  HttpRequestIn in = request("EnumerateInstanceNames", "root%2FZARN",
                             intrinsicBody("EnumerateInstanceNames", CLASS_PARAM));
  in.headers.erase(in.headers.begin());  // Authorization
  in.via = "local";
  EXPECT_EQ(200, service_->handle(in).status);
  makeService("[]", "");  // a server without users
  in.via = "http";
  EXPECT_EQ(200, service_->handle(in).status);
}

TEST_F(CimServiceTest, RawHeaderCharactersAreAccepted) {
  // As a client that sends the path without %-escapes.
  HttpReply r = service_->handle(request("FastFailover", serviceObject(),
                                         failoverBody(goodFailoverParams())));
  EXPECT_EQ(200, r.status);
  EXPECT_NE(std::string::npos, r.body.find("<RETURNVALUE PARAMTYPE=\"uint32\"><VALUE>4<"));
}

TEST_F(CimServiceTest, OperationsAnswerInCimXml) {
  HttpReply r = call("EnumerateInstanceNames", CLASS_PARAM);
  EXPECT_EQ(200, r.status);
  EXPECT_EQ("MethodResponse", r.header("CIMOperation"));
  EXPECT_EQ("application/xml; charset=utf-8", r.header("Content-Type"));
  EXPECT_NE(std::string::npos, r.body.find("<MESSAGE ID=\"77\""));
  EXPECT_NE(std::string::npos,
            r.body.find("<KEYVALUE VALUETYPE=\"string\">AAAABBBBCCCC0002</KEYVALUE>"));

  r = call("EnumerateInstances",
           "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_ConsistencySet\"/>"
           "</IPARAMVALUE><IPARAMVALUE NAME=\"PropertyList\"><VALUE.ARRAY><VALUE>"
           "elementname</VALUE></VALUE.ARRAY></IPARAMVALUE>");
  EXPECT_NE(std::string::npos, r.body.find("<VALUE>\\Data Replication\\dg01</VALUE>"));
  EXPECT_EQ(std::string::npos, r.body.find("LinkState")) << "property list honoured";

  r = call("GetInstance",
           std::string("<IPARAMVALUE NAME=\"InstanceName\"><INSTANCENAME "
                       "CLASSNAME=\"QNZARN_ConsistencySet\"><KEYBINDING NAME=\"InstanceID\">"
                       "<KEYVALUE>") + SET + "</KEYVALUE></KEYBINDING></INSTANCENAME></IPARAMVALUE>");
  EXPECT_NE(std::string::npos,
            r.body.find("<PROPERTY NAME=\"ParticipationType\" TYPE=\"string\">"
                        "<VALUE>destination</VALUE></PROPERTY>"));

  r = call("AssociatorNames",
           std::string("<IPARAMVALUE NAME=\"ObjectName\"><INSTANCENAME "
                       "CLASSNAME=\"QNZARN_ConsistencySet\"><KEYBINDING NAME=\"InstanceID\">"
                       "<KEYVALUE>AAAABBBBCCCC0001\\DRG\\0001</KEYVALUE></KEYBINDING>"
                       "</INSTANCENAME></IPARAMVALUE><IPARAMVALUE NAME=\"AssocClass\">"
                       "<CLASSNAME NAME=\"QNZARN_OrderedMemberOfCollection\"/></IPARAMVALUE>"
                       "<IPARAMVALUE NAME=\"ResultClass\"><CLASSNAME "
                       "NAME=\"QNZARN_StorageVolume\"/></IPARAMVALUE>"));
  EXPECT_NE(std::string::npos,
            r.body.find("<OBJECTPATH><INSTANCEPATH><NAMESPACEPATH><HOST>smis.test</HOST>"));

  std::string setFailSafe =
      std::string("<IPARAMVALUE NAME=\"InstanceName\"><INSTANCENAME "
                  "CLASSNAME=\"QNZARN_ConsistencySet\"><KEYBINDING NAME=\"InstanceID\">"
                  "<KEYVALUE>") + SET + "</KEYVALUE></KEYBINDING></INSTANCENAME></IPARAMVALUE>"
      "<IPARAMVALUE NAME=\"PropertyName\"><VALUE>FailSafe</VALUE></IPARAMVALUE>"
      "<IPARAMVALUE NAME=\"NewValue\"><VALUE>disable</VALUE></IPARAMVALUE>";
  r = call("SetProperty", setFailSafe);
  EXPECT_NE(std::string::npos, r.body.find("<IMETHODRESPONSE NAME=\"SetProperty\"></IMETHODRESPONSE>"));
  EXPECT_EQ("disable", Model::stateText(service_->model().drGroups[0].sides[1], "FailSafe"));
}

TEST_F(CimServiceTest, CimErrorsComeAsErrorElements) {
  struct Case {
    const char* method;
    std::string params;
    const char* error;
  } cases[] = {
      {"EnumerateInstanceNames", "", "<ERROR CODE=\"4\""},
      {"EnumerateInstanceNames",
       "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_Nothing\"/></IPARAMVALUE>",
       "<ERROR CODE=\"5\""},
      {"EnumerateInstanceNames", CLASS_PARAM + "<IPARAMVALUE NAME=\"Colour\"/>",
       "<ERROR CODE=\"4\" DESCRIPTION=\"CIM_ERR_INVALID_PARAMETER: unknown parameter Colour\""},
      {"GetInstance",
       "<IPARAMVALUE NAME=\"InstanceName\"><INSTANCENAME CLASSNAME=\"QNZARN_ConsistencySet\">"
       "<KEYBINDING NAME=\"InstanceID\"><KEYVALUE>x</KEYVALUE></KEYBINDING></INSTANCENAME>"
       "</IPARAMVALUE>",
       "<ERROR CODE=\"6\""},
      {"EnumerateInstances",
       CLASS_PARAM + "<IPARAMVALUE NAME=\"LocalOnly\"><VALUE>maybe</VALUE></IPARAMVALUE>",
       "<ERROR CODE=\"4\""},
      {"DeleteInstance", "", "<ERROR CODE=\"7\""},
      {"GetClass",
       "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_Nothing\"/></IPARAMVALUE>",
       "<ERROR CODE=\"6\""},
  };
  for (const Case& c : cases) {
    HttpReply r = call(c.method, c.params);
    EXPECT_EQ(200, r.status) << c.method;
    EXPECT_NE(std::string::npos, r.body.find(c.error)) << c.method << c.params << r.body;
  }
  std::string body = intrinsicBody("EnumerateInstanceNames", CLASS_PARAM);
  body.replace(body.find("\"ZARN\""), 6, "\"cimv2\"");
  HttpReply r = service_->handle(request("EnumerateInstanceNames", "root%2Fcimv2", body));
  EXPECT_NE(std::string::npos, r.body.find("<ERROR CODE=\"3\"")) << r.body;
}

// What a client that types its parameters from the class needs.
TEST_F(CimServiceTest, GetClassHasKeysAndMethodParameters) {
  HttpReply r = call("GetClass",
                     "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME "
                     "NAME=\"QNZARN_StorageRemoteReplicationService\"/></IPARAMVALUE>"
                     "<IPARAMVALUE NAME=\"IncludeClassOrigin\"><VALUE>TRUE</VALUE></IPARAMVALUE>");
  EXPECT_NE(std::string::npos,
            r.body.find("<CLASS NAME=\"QNZARN_StorageRemoteReplicationService\" "
                        "SUPERCLASS=\"CIM_ReplicationService\">"));
  EXPECT_NE(std::string::npos,
            r.body.find("<PROPERTY NAME=\"SystemName\" TYPE=\"string\" "
                        "CLASSORIGIN=\"QNZARN_StorageRemoteReplicationService\"><QUALIFIER "
                        "NAME=\"Key\" TYPE=\"boolean\"><VALUE>TRUE</VALUE></QUALIFIER></PROPERTY>"));
  EXPECT_NE(std::string::npos,
            r.body.find("<PROPERTY NAME=\"ElementName\" TYPE=\"string\" "
                        "CLASSORIGIN=\"QNZARN_StorageRemoteReplicationService\"></PROPERTY>"));
  EXPECT_NE(std::string::npos, r.body.find("<METHOD NAME=\"FastFailover\" TYPE=\"uint32\""));
  EXPECT_NE(std::string::npos,
            r.body.find("<PARAMETER.ARRAY NAME=\"ConsistencySet\" TYPE=\"string\"><QUALIFIER "
                        "NAME=\"IN\""));
  EXPECT_NE(std::string::npos,
            r.body.find("<PARAMETER.ARRAY NAME=\"ErrorCodes\" TYPE=\"uint32\"><QUALIFIER "
                        "NAME=\"OUT\""));
  r = call("GetClass",
           "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_ConsistencySet\"/>"
           "</IPARAMVALUE><IPARAMVALUE NAME=\"IncludeQualifiers\"><VALUE>FALSE</VALUE>"
           "</IPARAMVALUE>");
  EXPECT_EQ(std::string::npos, r.body.find("QUALIFIER"));
  EXPECT_NE(std::string::npos, r.body.find("<PROPERTY NAME=\"Fullcopystate\""));
}

TEST_F(CimServiceTest, FastFailoverAnswersAndChecksItsParameters) {
  HttpReply r = failover(goodFailoverParams());
  EXPECT_NE(std::string::npos,
            r.body.find("<PARAMVALUE NAME=\"ErrorCodes\" PARAMTYPE=\"uint32\"><VALUE.ARRAY>"
                        "<VALUE>32801</VALUE></VALUE.ARRAY></PARAMVALUE>"))
      << r.body;
  r = failover(goodFailoverParams());
  EXPECT_NE(std::string::npos,
            r.body.find("<PARAMVALUE NAME=\"ErrorCodes\" PARAMTYPE=\"uint32\"><VALUE>32790"
                        "</VALUE></PARAMVALUE>"))
      << "scalar output on request";
  r = failover(goodFailoverParams());
  EXPECT_NE(std::string::npos, r.body.find("<RETURNVALUE PARAMTYPE=\"uint32\"><VALUE>0<"));
  EXPECT_EQ(std::string::npos, r.body.find("PARAMVALUE"));

  struct Case {
    std::string params;
    const char* error;
  } cases[] = {
      {"", "<ERROR CODE=\"4\""},
      {"<PARAMVALUE NAME=\"QNKey\" PARAMTYPE=\"uint32\"><VALUE>1</VALUE></PARAMVALUE>",
       "<ERROR CODE=\"13\""},
      // A scalar where the method declares an array.
      {"<PARAMVALUE NAME=\"QNKey\"><VALUE>MXRud</VALUE></PARAMVALUE>"
       "<PARAMVALUE NAME=\"ConsistencySet\"><VALUE>x</VALUE></PARAMVALUE>",
       "<ERROR CODE=\"13\""},
      {goodFailoverParams() + "<PARAMVALUE NAME=\"Force\"><VALUE>1</VALUE></PARAMVALUE>",
       "<ERROR CODE=\"4\" DESCRIPTION=\"CIM_ERR_INVALID_PARAMETER: unknown parameter Force\""},
  };
  for (const Case& c : cases) {
    r = failover(c.params);
    EXPECT_NE(std::string::npos, r.body.find(c.error)) << c.params << "\n" << r.body;
  }
}

TEST_F(CimServiceTest, FaultsActOnChosenRequests) {
  makeService(R"([
      {"operation": "EnumerateInstanceNames", "skip": 1, "times": 2, "action": "drop"},
      {"operation": "getinstance", "drGroup": "dg01", "action": "http500"},
      {"operation": "EnumerateInstances", "action": "chunkedError", "code": 1,
       "description": "CIM_ERR_FAILED: provider terminated", "delayMs": 30},
      {"className": "QNZARN_StorageSystem", "action": "cimError", "code": 2,
       "description": "CIM_ERR_ACCESS_DENIED: no"},
      {"operation": "FastFailover", "action": "chunked", "delayMs": 5}])");
  HttpReply r = call("EnumerateInstanceNames", CLASS_PARAM);
  EXPECT_EQ(HttpReply::Delivery::NORMAL, r.delivery) << "skipped once";
  EXPECT_NE(std::string::npos, r.body.find("<ERROR CODE=\"2\"")) << "the next fault in line";
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(HttpReply::Delivery::DROP, call("EnumerateInstanceNames", CLASS_PARAM).delivery);
  EXPECT_NE(std::string::npos, call("EnumerateInstanceNames", CLASS_PARAM).body.find("CODE=\"2\""));

  r = call("GetInstance",
           std::string("<IPARAMVALUE NAME=\"InstanceName\"><INSTANCENAME "
                       "CLASSNAME=\"QNZARN_ConsistencySet\"><KEYBINDING NAME=\"InstanceID\">"
                       "<KEYVALUE>") + SET + "</KEYVALUE></KEYBINDING></INSTANCENAME></IPARAMVALUE>");
  EXPECT_EQ(500, r.status);
  EXPECT_EQ(0u, service_->model().drGroups[0].reads) << "the read never happened";

  r = call("EnumerateInstances",
           "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"QNZARN_ConsistencySet\"/>"
           "</IPARAMVALUE>");
  EXPECT_EQ(HttpReply::Delivery::CHUNKED, r.delivery);
  EXPECT_EQ(30u, r.delayMs);
  EXPECT_EQ(1u, r.trailerCode);
  EXPECT_EQ("CIM_ERR_FAILED: provider terminated", r.trailerDescription);
  EXPECT_EQ(std::string::npos, r.body.find("</CIM>")) << "the body breaks off";
  EXPECT_NE(std::string::npos, r.body.find("<IRETURNVALUE>"));

  r = failover(goodFailoverParams());
  EXPECT_EQ(HttpReply::Delivery::CHUNKED, r.delivery);
  EXPECT_EQ(0u, r.trailerCode);
  EXPECT_NE(std::string::npos, r.body.find("</CIM>"));
  EXPECT_TRUE(service_->model().drGroups[0].failoverResults.size() == 1u)
      << "a chunked answer is a real answer";
}

// A garbled answer is a 200 that no CIM-XML reader takes; with execute the
// failover behind it was carried out all the same.
TEST_F(CimServiceTest, GarbledAnswerCarriedOutOnlyWhenAsked) {
  makeService(R"([{"operation": "FastFailover", "action": "garbled", "times": 1},
                  {"operation": "FastFailover", "action": "garbled", "execute": true}])");
  const auto& queue = service_->model().drGroups[0].failoverResults;
  for (size_t left : {2u, 1u}) {
    HttpReply r = failover(goodFailoverParams());
    EXPECT_EQ(200, r.status);
    EXPECT_EQ("MethodResponse", r.header("CIMOperation"));
    EXPECT_EQ(std::string::npos, r.body.find("</CIM>"));
    EXPECT_NE(std::string::npos, r.body.find('\x01'));
    EXPECT_EQ(left, queue.size());
  }
}

TEST_F(CimServiceTest, RequestLogHasOneLinePerRequest) {
  makeService(R"([{"operation": "GetInstance", "action": "drop", "times": 1}])");
  HttpRequestIn anonymous = request("EnumerateInstanceNames", "root%2FZARN",
                                    intrinsicBody("EnumerateInstanceNames", CLASS_PARAM));
  anonymous.headers.erase(anonymous.headers.begin());
  service_->handle(anonymous);
  call("EnumerateInstanceNames", CLASS_PARAM);
  call("GetInstance",
       std::string("<IPARAMVALUE NAME=\"InstanceName\"><INSTANCENAME "
                   "CLASSNAME=\"QNZARN_ConsistencySet\"><KEYBINDING NAME=\"InstanceID\">"
                   "<KEYVALUE>") + SET + "</KEYVALUE></KEYBINDING></INSTANCENAME></IPARAMVALUE>");
  failover(goodFailoverParams());
  call("AssociatorNames",
       "<IPARAMVALUE NAME=\"ObjectName\"><INSTANCENAME CLASSNAME=\"QNZARN_StorageSystem\">"
       "<KEYBINDING NAME=\"Name\"><KEYVALUE>nope</KEYVALUE></KEYBINDING></INSTANCENAME>"
       "</IPARAMVALUE><IPARAMVALUE NAME=\"ResultClass\"><CLASSNAME "
       "NAME=\"QNZARN_StorageVolume\"/></IPARAMVALUE>");
  service_->handle(request("EnumerateInstanceNames", "root%2FZARN", "<junk"));
  std::vector<std::string> expected = {
      "EnumerateInstanceNames\t-\tvia=http\tstatus=http:401",
      "EnumerateInstanceNames\tQNZARN_StorageSystem\tvia=http\tstatus=ok",
      "GetInstance\tQNZARN_ConsistencySet.InstanceID=\"AAAABBBBCCCC0002\\\\DRG\\\\0001\""
      "\tvia=http\tfault=drop\tstatus=dropped",
      "FastFailover\tQNZARN_StorageRemoteReplicationService.CreationClassName="
      "\"QNZARN_StorageRemoteReplicationService\",Name=\"AAAABBBBCCCC0002\\\\RS\","
      "SystemCreationClassName=\"QNZARN_StorageSystem\",SystemName=\"AAAABBBBCCCC0002\""
      "\tvia=http\tdrgroup=\\Data Replication\\dg01\tarray=AAAABBBBCCCC0002\treturn=4"
      "\tcodes=32801\tstatus=ok",
      "AssociatorNames\tQNZARN_StorageSystem.Name=\"nope\"\tvia=http\tassocClass=\t"
      "resultClass=QNZARN_StorageVolume\tstatus=cim:6",
      "EnumerateInstanceNames\t-\tvia=http\tcimerror=request-not-well-formed\t"
      "status=http:400",
  };
  std::vector<std::string> lines = logLines();
  ASSERT_EQ(expected.size(), lines.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], lines[i]);
}

TEST(Utf8Test, AcceptsUtf8Only) {
  struct Case {
    std::string text;
    bool ok;
  } cases[] = {
      {"plain", true},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},
      {"\xc3", false},                  // cut short
      {"\xc0\xaf", false},              // overlong
      {"\xed\xa0\x80", false},          // surrogate
      {"\xf4\x90\x80\x80", false},      // past U+10FFFF
      {"\x80", false},                  // stray continuation
      {"\xff", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.ok, isUtf8(c.text)) << c.text;
}

}  // namespace
}  // namespace sim
