#include "cim/response_parser.h"

#include <gtest/gtest.h>

#include "cim/exception.h"
#include "cim/xml_reader.h"
#include "cim/xml_writer.h"

namespace cim {
namespace {

std::string envelope(const std::string& id, const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\">\n<MESSAGE ID=\"" +
         id + "\" PROTOCOLVERSION=\"1.0\">\n<SIMPLERSP>\n" + inner +
         "</SIMPLERSP>\n</MESSAGE>\n</CIM>\n";
}

std::string imethod(const std::string& name, const std::string& content) {
  return envelope("1001", "<IMETHODRESPONSE NAME=\"" + name + "\">\n" + content +
                              "</IMETHODRESPONSE>\n");
}

const char kVolumeName[] =
    "<INSTANCENAME CLASSNAME=\"QNZARN_StorageVolume\">\n"
    " <KEYBINDING NAME=\"DeviceID\"><KEYVALUE VALUETYPE=\"string\">ARRAY1\\vol\\0007</KEYVALUE></KEYBINDING>\n"
    " <KEYBINDING NAME=\"SystemName\"><KEYVALUE VALUETYPE=\"string\">ARRAY1</KEYVALUE></KEYBINDING>\n"
    "</INSTANCENAME>\n";

TEST(ResponseParserTest, EnumerateInstancesReadsEveryValueShape) {
  std::string body = imethod(
      "EnumerateInstances",
      std::string("<IRETURNVALUE>\n<VALUE.NAMEDINSTANCE>\n") + kVolumeName +
          "<INSTANCE CLASSNAME=\"QNZARN_StorageVolume\">\n"
          "<PROPERTY NAME=\"DeviceID\" TYPE=\"string\"><VALUE>ARRAY1\\vol\\0007</VALUE></PROPERTY>\n"
          "<PROPERTY NAME=\"ElementName\" TYPE=\"string\"><VALUE>db &amp; logs</VALUE></PROPERTY>\n"
          "<PROPERTY NAME=\"StripeSize\" TYPE=\"uint32\"><VALUE>65536</VALUE></PROPERTY>\n"
          "<PROPERTY.ARRAY NAME=\"OtherIdentifyingInfo\" TYPE=\"string\"><VALUE.ARRAY><VALUE>SN12345</VALUE><VALUE>lun 7</VALUE></VALUE.ARRAY></PROPERTY.ARRAY>\n"
          "<PROPERTY NAME=\"Description\" TYPE=\"string\"></PROPERTY>\n"
          "<PROPERTY NAME=\"Blank\" TYPE=\"string\"><VALUE> </VALUE></PROPERTY>\n"
          "<PROPERTY NAME=\"Empty\" TYPE=\"string\"><VALUE></VALUE></PROPERTY>\n"
          "</INSTANCE>\n</VALUE.NAMEDINSTANCE>\n</IRETURNVALUE>\n");
  std::vector<Instance> list = response::parseEnumerateInstances(body, "1001");
  ASSERT_EQ(list.size(), 1u);
  const Instance& inst = list[0];
  EXPECT_EQ(inst.getPath().toString(),
            R"(QNZARN_StorageVolume.DeviceID="ARRAY1\\vol\\0007",SystemName="ARRAY1")");
  EXPECT_EQ(inst.getProperty(Name("DeviceID")).getValue().getString(), "ARRAY1\\vol\\0007");
  EXPECT_EQ(inst.getProperty(Name("ElementName")).getValue().getString(), "db & logs");
  EXPECT_EQ(inst.getProperty(Name("StripeSize")).getValue().getUint32(), 65536u);
  EXPECT_EQ(inst.getProperty(Name("OtherIdentifyingInfo")).getValue().getStringArray(),
            (std::vector<std::string>{"SN12345", "lun 7"}));
  EXPECT_TRUE(inst.getProperty(Name("Description")).getValue().isNull());
  EXPECT_EQ(inst.getProperty(Name("Blank")).getValue().getString(), " ");
  const Value& empty = inst.getProperty(Name("Empty")).getValue();
  EXPECT_FALSE(empty.isNull());
  EXPECT_EQ(empty.getString(), "");
}

TEST(ResponseParserTest, NamesAndAssociatorsKeepOrderHostAndNamespace) {
  auto names = response::parseEnumerateInstanceNames(
      imethod("EnumerateInstanceNames",
              std::string("<IRETURNVALUE>\n") + kVolumeName + kVolumeName + "</IRETURNVALUE>\n"),
      "1001");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].getKeyBindings()[0].getName().getString(), "DeviceID");
  EXPECT_TRUE(names[0].getHost().empty());

  auto assoc = response::parseAssociatorNames(
      imethod("AssociatorNames",
              "<IRETURNVALUE>\n<OBJECTPATH><INSTANCEPATH>\n"
              "<NAMESPACEPATH><HOST>array1.example.com</HOST><LOCALNAMESPACEPATH><NAMESPACE NAME=\"root\"/><NAMESPACE NAME=\"ZARN\"/></LOCALNAMESPACEPATH></NAMESPACEPATH>\n"
              "<INSTANCENAME CLASSNAME=\"QNZARN_ConsistencySet\">\n"
              " <KEYBINDING NAME=\"InstanceID\"><KEYVALUE VALUETYPE=\"string\">ARRAY1\\CG\\0001</KEYVALUE></KEYBINDING>\n"
              "</INSTANCENAME>\n</INSTANCEPATH></OBJECTPATH>\n</IRETURNVALUE>\n"),
      "1001");
  ASSERT_EQ(assoc.size(), 1u);
  EXPECT_EQ(assoc[0].toString(),
            R"(//array1.example.com/root/ZARN:QNZARN_ConsistencySet.InstanceID="ARRAY1\\CG\\0001")");
}

// An empty result may come in three shapes.
TEST(ResponseParserTest, EmptyResultsInEveryShape) {
  for (const char* content : {"<IRETURNVALUE/>\n", "<IRETURNVALUE></IRETURNVALUE>\n", ""}) {
    EXPECT_TRUE(response::parseEnumerateInstanceNames(imethod("EnumerateInstanceNames", content),
                                                      "1001")
                    .empty())
        << content;
    EXPECT_NO_THROW(response::parseSetProperty(imethod("SetProperty", content), "1001"));
  }
}

TEST(ResponseParserTest, MethodResponseWithTypedAndUntypedOutputs) {
  std::string body = envelope(
      "7", "<METHODRESPONSE NAME=\"FastFailover\">\n"
           "<PARAMVALUE NAME=\"Results\"><VALUE.ARRAY><VALUE>32801</VALUE></VALUE.ARRAY></PARAMVALUE>\n"
           "<RETURNVALUE PARAMTYPE=\"uint32\"><VALUE>5</VALUE></RETURNVALUE>\n"
           "</METHODRESPONSE>\n");
  std::vector<ParamValue> out;
  Value rc = response::parseInvokeMethod(body, "7", "fastfailover", &out);
  EXPECT_EQ(rc.getUint32(), 5u);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].getParameterName(), "Results");
  EXPECT_FALSE(out[0].isTyped());
  EXPECT_TRUE(out[0].getValue().isArray());
  EXPECT_EQ(out[0].getValue().getUint32Array(), (std::vector<std::uint32_t>{32801}));
}

TEST(ResponseParserTest, ErrorElementBecomesCIMException) {
  std::string body = imethod(
      "GetInstance",
      "<ERROR CODE=\"6\" DESCRIPTION=\"CIM_ERR_NOT_FOUND: no such consistency set\"/>\n");
  try {
    response::parseGetInstance(body, "1001");
    FAIL() << "no exception";
  } catch (const CIMException& e) {
    EXPECT_EQ(e.getCode(), 6u);
    EXPECT_EQ(e.getMessage(), "CIM_ERR_NOT_FOUND: no such consistency set");
  }
}

// Bodies that must be refused, each with the kind of exception callers see.
TEST(ResponseParserTest, RefusesBadBodies) {
  enum Kind { XML, RESPONSE };
  struct Case {
    const char* what;
    std::string body;
    Kind kind;
  } cases[] = {
      {"empty", "", XML},
      {"not XML", "HTTP/1.1 200 OK", XML},
      {"truncated", imethod("EnumerateInstanceNames",
                            std::string("<IRETURNVALUE>") + kVolumeName).substr(0, 300),
       XML},
      {"other root", "<HTML/>", XML},
      {"no MESSAGE", "<CIM/>", XML},
      {"no SIMPLERSP", "<CIM><MESSAGE ID=\"1001\"/></CIM>", XML},
      {"other message id", envelope("999", "<IMETHODRESPONSE NAME=\"EnumerateInstanceNames\"/>"),
       RESPONSE},
      {"other operation", imethod("GetInstance", ""), RESPONSE},
      {"extrinsic answer", envelope("1001", "<METHODRESPONSE NAME=\"EnumerateInstanceNames\"/>"),
       RESPONSE},
      {"bad error code", imethod("EnumerateInstanceNames", "<ERROR CODE=\"x\"/>"), XML},
      {"key without value",
       imethod("EnumerateInstanceNames",
               "<IRETURNVALUE><INSTANCENAME CLASSNAME=\"C\"><KEYBINDING NAME=\"K\"/>"
               "</INSTANCENAME></IRETURNVALUE>"),
       XML},
      {"illegal class name",
       imethod("EnumerateInstanceNames",
               "<IRETURNVALUE><INSTANCENAME CLASSNAME=\"1 C\"/></IRETURNVALUE>"),
       XML},
      {"numeric key that is not a number",
       imethod("EnumerateInstanceNames",
               "<IRETURNVALUE><INSTANCENAME CLASSNAME=\"C\"><KEYBINDING NAME=\"K\">"
               "<KEYVALUE VALUETYPE=\"numeric\">12a</KEYVALUE></KEYBINDING></INSTANCENAME></IRETURNVALUE>"),
       XML},
      {"boolean key that is not a boolean",
       imethod("EnumerateInstanceNames",
               "<IRETURNVALUE><INSTANCENAME CLASSNAME=\"C\"><KEYBINDING NAME=\"K\">"
               "<KEYVALUE VALUETYPE=\"boolean\">yes</KEYVALUE></KEYBINDING></INSTANCENAME></IRETURNVALUE>"),
       XML},
      {"bad key value type",
       imethod("EnumerateInstanceNames",
               "<IRETURNVALUE><INSTANCENAME CLASSNAME=\"C\"><KEYBINDING NAME=\"K\">"
               "<KEYVALUE VALUETYPE=\"blob\">1</KEYVALUE></KEYBINDING></INSTANCENAME></IRETURNVALUE>"),
       XML},
  };
  for (const auto& c : cases) {
    try {
      response::parseEnumerateInstanceNames(c.body, "1001");
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const XmlException&) {
      EXPECT_EQ(c.kind, XML) << c.what;
    } catch (const ResponseException&) {
      EXPECT_EQ(c.kind, RESPONSE) << c.what;
    }
  }
  EXPECT_THROW(response::parseGetInstance(imethod("GetInstance", "<IRETURNVALUE/>"), "1001"),
               XmlException);
  // A host that would change the path's meaning in the text form.
  EXPECT_THROW(response::parseAssociatorNames(
                   imethod("AssociatorNames",
                           "<IRETURNVALUE><OBJECTPATH><INSTANCEPATH><NAMESPACEPATH><HOST>a/b</HOST>"
                           "<LOCALNAMESPACEPATH><NAMESPACE NAME=\"root\"/></LOCALNAMESPACEPATH>"
                           "</NAMESPACEPATH><INSTANCENAME CLASSNAME=\"C\"/></INSTANCEPATH>"
                           "</OBJECTPATH></IRETURNVALUE>"),
                   "1001"),
               XmlException);
  // Each property element carries its own kind of value only.
  for (const char* property :
       {"<PROPERTY NAME=\"P\" TYPE=\"string\"><VALUE.ARRAY/></PROPERTY>",
        "<PROPERTY NAME=\"P\" TYPE=\"reference\"><VALUE>C.K=1</VALUE></PROPERTY>",
        "<PROPERTY.ARRAY NAME=\"P\" TYPE=\"string\"><VALUE>x</VALUE></PROPERTY.ARRAY>",
        "<PROPERTY.REFERENCE NAME=\"P\"><VALUE>C.K=1</VALUE></PROPERTY.REFERENCE>"}) {
    EXPECT_THROW(response::parseGetInstance(
                     imethod("GetInstance", std::string("<IRETURNVALUE><INSTANCE CLASSNAME=\"C\">") +
                                                property + "</INSTANCE></IRETURNVALUE>"),
                     "1001"),
                 XmlException)
        << property;
  }
  EXPECT_THROW(response::parseEnumerateInstances(
                   imethod("EnumerateInstances",
                           "<IRETURNVALUE><VALUE.NAMEDINSTANCE><INSTANCENAME CLASSNAME=\"C\"/>"
                           "<INSTANCE CLASSNAME=\"C\"><PROPERTY NAME=\"P\" TYPE=\"blob\"/>"
                           "</INSTANCE></VALUE.NAMEDINSTANCE></IRETURNVALUE>"),
                   "1001"),
               XmlException);
}

// References nested without end are refused, not followed down the stack.
TEST(ResponseParserTest, DeeplyNestedReferencesAreRefused) {
  std::string inner = "<INSTANCENAME CLASSNAME=\"C\"/>";
  for (int i = 0; i < 2000; ++i)
    inner = "<INSTANCENAME CLASSNAME=\"C\"><KEYBINDING NAME=\"R\"><VALUE.REFERENCE>" + inner +
            "</VALUE.REFERENCE></KEYBINDING></INSTANCENAME>";
  EXPECT_THROW(response::parseEnumerateInstanceNames(
                   imethod("EnumerateInstanceNames", "<IRETURNVALUE>" + inner + "</IRETURNVALUE>"),
                   "1001"),
               XmlException);
}

enum Operation { NAMES, INSTANCES, GET, ASSOCIATORS };

// What the reader makes of a body: the values it read, joined by '|', or
// the XmlException's message.
std::string outcome(Operation op, const std::string& body) {
  std::string out;
  auto add = [&out](const std::string& text) { out += (out.empty() ? "" : "|") + text; };
  try {
    switch (op) {
      case NAMES:
        for (const auto& p : response::parseEnumerateInstanceNames(body, "1001")) add(p.toString());
        break;
      case INSTANCES:
        for (const auto& i : response::parseEnumerateInstances(body, "1001"))
          for (const auto& p : i.getProperties()) add(p.getValue().getString());
        break;
      case GET: {
        Instance instance = response::parseGetInstance(body, "1001");
        for (const auto& p : instance.getProperties()) add(p.getValue().getString());
        break;
      }
      case ASSOCIATORS:
        for (const auto& p : response::parseAssociatorNames(body, "1001")) add(p.toString());
        break;
    }
  } catch (const XmlException& e) {
    return "XmlException: " + e.getMessage();
  }
  return out;
}

std::string getInstance(const std::string& properties) {
  return imethod("GetInstance", "<IRETURNVALUE><INSTANCE CLASSNAME=\"C\">" + properties +
                                    "</INSTANCE></IRETURNVALUE>\n");
}

std::string stringValue(const std::string& content) {
  return getInstance("<PROPERTY NAME=\"P\" TYPE=\"string\"><VALUE>" + content +
                     "</VALUE></PROPERTY>");
}

std::string associator(const std::string& host) {
  return imethod("AssociatorNames",
                 "<IRETURNVALUE><OBJECTPATH><INSTANCEPATH><NAMESPACEPATH><HOST>" + host +
                     "</HOST><LOCALNAMESPACEPATH><NAMESPACE NAME=\"root\"/></LOCALNAMESPACEPATH>"
                     "</NAMESPACEPATH><INSTANCENAME CLASSNAME=\"C\"/></INSTANCEPATH></OBJECTPATH>"
                     "</IRETURNVALUE>");
}

// Text in several pieces is read whole; an element the content model does
// not allow, or a character XML does not allow, makes the body invalid
// instead of reading as less than it says. "@" in an expected message
// stands for the offset of the case's marker in the body.
TEST(ResponseParserTest, ReadsWholeTextAndRefusesWhatTheModelDoesNotAllow) {
  const std::string instanceName =
      "<INSTANCENAME CLASSNAME=\"C\"><KEYBINDING NAME=\"K\"><KEYVALUE>a<![CDATA[\\b]]>"
      "</KEYVALUE></KEYBINDING></INSTANCENAME>";
  struct Case {
    const char* what;
    Operation op;
    std::string body;
    std::string expected;
    const char* marker = "";
  } cases[] = {
      // Well-formed forms, one text piece or several.
      {"escaped text", GET, stringValue("a&amp;b &lt;c&gt; &quot;d&apos;"), "a&b <c> \"d'"},
      {"character references", GET, stringValue("&#65;&#x42;&#x10FFFF;&#9;&#10;&#13;"),
       "AB\xF4\x8F\xBF\xBF\t\n\r"},
      {"one CDATA section", GET, stringValue("<![CDATA[<x>&amp;</x>]]>"), "<x>&amp;</x>"},
      {"blanks only", GET, stringValue(" \t "), " \t "},
      {"text, CDATA, text", GET, stringValue("abc<![CDATA[def]]>ghi"), "abcdefghi"},
      {"two CDATA sections", GET, stringValue("<![CDATA[<a/>]]><![CDATA[<b/>]]>"), "<a/><b/>"},
      {"blanks between CDATA sections", GET, stringValue("<![CDATA[a]]> \n<![CDATA[b]]>"),
       "a \nb"},
      {"text around a comment", GET, stringValue("one<!-- two -->three"), "onethree"},
      {"a reference inside CDATA is text", GET, stringValue("<![CDATA[&#1;]]>"), "&#1;"},
      {"key value in pieces", NAMES,
       imethod("EnumerateInstanceNames", "<IRETURNVALUE>" + instanceName + "</IRETURNVALUE>"),
       R"(C.K="a\\b")"},
      {"host in pieces", ASSOCIATORS, associator("array1<![CDATA[.example.com]]>"),
       "//array1.example.com/root:C"},
      {"qualifiers of an instance and a property", GET,
       getInstance("<QUALIFIER NAME=\"Q\" TYPE=\"boolean\"><VALUE>TRUE</VALUE></QUALIFIER>\n"
                   "<PROPERTY NAME=\"P\" TYPE=\"string\"><QUALIFIER NAME=\"Q\" TYPE=\"string\"/>"
                   "<VALUE>v</VALUE></PROPERTY>\n"),
       "v"},
      // Elements where the model has none of them.
      {"class names for instance names", NAMES,
       imethod("EnumerateInstanceNames", "<IRETURNVALUE><CLASSNAME NAME=\"C\"/></IRETURNVALUE>"),
       "XmlException: Invalid CIM-XML: unexpected <CLASSNAME> in <IRETURNVALUE>"},
      {"named instances for instance names", NAMES,
       imethod("EnumerateInstanceNames",
               "<IRETURNVALUE>\n<VALUE.NAMEDINSTANCE>" + instanceName +
                   "<INSTANCE CLASSNAME=\"C\"/></VALUE.NAMEDINSTANCE>\n</IRETURNVALUE>"),
       "XmlException: Invalid CIM-XML: unexpected <VALUE.NAMEDINSTANCE> in <IRETURNVALUE>"},
      {"classes for instances", INSTANCES,
       imethod("EnumerateInstances", "<IRETURNVALUE><CLASS NAME=\"C\"/></IRETURNVALUE>"),
       "XmlException: Invalid CIM-XML: unexpected <CLASS> in <IRETURNVALUE>"},
      {"instance names for object paths", ASSOCIATORS,
       imethod("AssociatorNames", "<IRETURNVALUE>" + instanceName + "</IRETURNVALUE>"),
       "XmlException: Invalid CIM-XML: unexpected <INSTANCENAME> in <IRETURNVALUE>"},
      {"misspelt return value", NAMES,
       imethod("EnumerateInstanceNames", "<IRETURNVAL>" + instanceName + "</IRETURNVAL>"),
       "XmlException: Invalid CIM-XML: unexpected <IRETURNVAL> in <IMETHODRESPONSE>"},
      {"misspelt value", GET,
       getInstance("<PROPERTY NAME=\"P\" TYPE=\"string\"><VALUES>v</VALUES></PROPERTY>"),
       "XmlException: Invalid CIM-XML: unexpected <VALUES> in <PROPERTY>"},
      {"misspelt property", GET,
       getInstance("<PROPERTYS NAME=\"P\" TYPE=\"string\"><VALUE>v</VALUE></PROPERTYS>"),
       "XmlException: Invalid CIM-XML: unexpected <PROPERTYS> in <INSTANCE>"},
      {"element in a value", GET, stringValue("a<B/>c"),
       "XmlException: Invalid CIM-XML: unexpected <B> in <VALUE>"},
      {"text among elements", NAMES,
       imethod("EnumerateInstanceNames", "<IRETURNVALUE>x" + instanceName + "</IRETURNVALUE>"),
       "XmlException: Invalid CIM-XML: unexpected text in <IRETURNVALUE>"},
      {"second instance", GET,
       imethod("GetInstance", "<IRETURNVALUE><INSTANCE CLASSNAME=\"C\"/><INSTANCE CLASSNAME=\"C\"/>"
                              "</IRETURNVALUE>"),
       "XmlException: Invalid CIM-XML: more than one <INSTANCE> in <IRETURNVALUE>"},
      {"second value", GET,
       getInstance("<PROPERTY NAME=\"P\" TYPE=\"string\"><VALUE>a</VALUE><VALUE>b</VALUE></PROPERTY>"),
       "XmlException: Invalid CIM-XML: more than one value in <PROPERTY>"},
      {"second host", ASSOCIATORS, associator("a</HOST><HOST>b"),
       "XmlException: Invalid CIM-XML: more than one <HOST> in <NAMESPACEPATH>"},
      // Characters XML does not allow, wherever they stand.
      {"raw control character", GET, stringValue("a\x01" "b"),
       "XmlException: Malformed XML: control character U+0001 at offset @", "\x01"},
      {"reference to a control character", GET, stringValue("a&#1;b"),
       "XmlException: Malformed XML: character reference to U+0001 at offset @", "&#1;"},
      {"hexadecimal reference", GET, stringValue("a&#x1B;[31m"),
       "XmlException: Malformed XML: character reference to U+001B at offset @", "&#x1B;"},
      {"reference to nothing", GET, stringValue("a&#0;b"),
       "XmlException: Malformed XML: character reference to U+0000 at offset @", "&#0;"},
      {"reference that wraps round to 1", GET, stringValue("&#4294967297;"),
       "XmlException: Malformed XML: character reference beyond U+10FFFF at offset @", "&#4"},
      {"reference in an attribute", NAMES,
       imethod("EnumerateInstanceNames", "<ERROR CODE=\"1\" DESCRIPTION=\"x&#x7;\"/>"),
       "XmlException: Malformed XML: character reference to U+0007 at offset @", "&#x7;"},
      {"raw control character in a comment", NAMES,
       imethod("EnumerateInstanceNames", "<!-- \x02 --><IRETURNVALUE/>"),
       "XmlException: Malformed XML: control character U+0002 at offset @", "\x02"},
  };
  for (const auto& c : cases) {
    std::string expected = c.expected;
    size_t at = expected.find('@');
    if (at != std::string::npos)
      expected.replace(at, 1, std::to_string(c.body.find(c.marker)));
    EXPECT_EQ(outcome(c.op, c.body), expected) << c.what;
  }
}

// A flood of elements or attributes is refused before pugixml spends a
// node on each; the largest real answer, 10,000 DR groups, is read.
TEST(ResponseParserTest, DocumentSizeIsBoundedByNodesAndAttributes) {
  std::string content;
  for (int i = 0; i < 10000; ++i) {
    std::string id = "50014380025B4A80\\CG\\" + std::to_string(100000 + i);
    Instance inst(Name("QNZARN_ConsistencySet"));
    inst.setPath(ObjectPath("", NamespaceName(), Name("QNZARN_ConsistencySet"),
                            {KeyBinding("InstanceID", id)}));
    inst.addProperty(Property(Name("InstanceID"), Value(id)));
    inst.addProperty(Property(Name("ElementName"), Value("\\Data Replication\\dg" + id)));
    for (const char* name : {"ParticipationType", "LinkState", "LogState", "FailSafe",
                             "FailSafeLock", "Suspend", "WriteMode", "Fullcopystate",
                             "TotalTransmit"})
      inst.addProperty(Property(Name(name), Value("destination")));
    xml::writeNamedInstance(content, inst);
  }
  EXPECT_EQ(response::parseEnumerateInstances(
                xml::intrinsicResponse("1001", "EnumerateInstances", content), "1001")
                .size(),
            10000u);

  std::string elements;
  for (size_t i = 0; i < xml::MAX_NODES; ++i) elements += "<a/>";
  EXPECT_EQ(outcome(NAMES, imethod("EnumerateInstanceNames", elements)),
            "XmlException: XML document too large: more than 1200000 elements and texts");
  std::string attributes = "<a";
  for (size_t i = 0; i < xml::MAX_ATTRIBUTES; ++i) attributes += " b=''";
  EXPECT_EQ(outcome(NAMES, imethod("EnumerateInstanceNames", attributes + "/>")),
            "XmlException: XML document too large: more than 500000 attributes");
}

// A quote in a processing instruction, a comment or a DOCTYPE is no
// attribute value: what follows is counted all the same. Each prefix is one
// pugixml skips, so the same answer without the flood is read. The last
// row nests declarations and a '>' in quotes, which end nothing.
TEST(ResponseParserTest, SizeScreenIsNotFooledByQuotesOutsideTags) {
  struct Case {
    std::string prolog;   // between the declaration and <CIM>
    std::string content;  // first in <IRETURNVALUE>
  } cases[] = {
      {"<?p \"?>", ""},
      {"", "<?p '?>"},
      {"<!DOCTYPE CIM [<!-- \" -->]>", ""},
      {"<!DOCTYPE CIM [<?p \"?>]>", ""},
      {"<!DOCTYPE CIM [<![IGNORE[ \" ]]>]>", ""},
      {"<!DOCTYPE CIM [<!ELEMENT CIM ANY><!ENTITY e \"'>\">]>", ""},
  };
  std::string flood;
  for (size_t i = 0; i < xml::MAX_NODES; ++i) flood += "<a/>";
  const std::string name =
      "<INSTANCENAME CLASSNAME=\"QNZARN_StorageSystem\"><KEYBINDING NAME=\"Name\">"
      "<KEYVALUE>5000ABCDEF012345</KEYVALUE></KEYBINDING></INSTANCENAME>";
  for (const Case& c : cases) {
    auto answer = [&c](const std::string& names) {
      std::string body = imethod("EnumerateInstanceNames",
                                 "<IRETURNVALUE>" + c.content + names + "</IRETURNVALUE>\n");
      return body.insert(body.find("?>") + 3, c.prolog);
    };
    EXPECT_EQ(outcome(NAMES, answer(name)), "QNZARN_StorageSystem.Name=\"5000ABCDEF012345\"")
        << c.prolog << c.content;
    EXPECT_EQ(outcome(NAMES, answer(flood)),
              "XmlException: XML document too large: more than 1200000 elements and texts")
        << c.prolog << c.content;
  }
}

// What the writer produces, the reader gives back unchanged.
TEST(XmlRoundTripTest, InstanceValuesSurviveWritingAndReading) {
  const std::string tricky[] = {"",  " ",  "  two  ", "a\\b\\\\c", "say \"hi\"", "<&>'",
                                "line1\nline2", "cr\r\nlf", "tab\there", "\xC3\xA9t\xC3\xA9"};
  Instance inst(Name("QNZARN_ConsistencySet"));
  inst.setPath(ObjectPath("", NamespaceName(), Name("QNZARN_ConsistencySet"),
                          {KeyBinding("InstanceID", "ARRAY1\\CG\\\"0001\"")}));
  for (size_t i = 0; i < sizeof(tricky) / sizeof(tricky[0]); ++i)
    inst.addProperty(Property(Name("P" + std::to_string(i)), Value(tricky[i])));
  inst.addProperty(Property(Name("Codes"), Value(std::vector<std::uint32_t>{0, 4294967295u})));
  inst.addProperty(Property(Name("NullArray"), Value::null(Type::STRING, true)));
  inst.addProperty(Property(Name("EmptyArray"), Value(std::vector<std::string>{})));
  inst.addProperty(Property(Name("NullNumber"), Value::null(Type::UINT32)));

  std::string ret;
  xml::writeNamedInstance(ret, inst);
  std::vector<Instance> back =
      response::parseEnumerateInstances(xml::intrinsicResponse("42", "EnumerateInstances", ret), "42");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].getPath(), inst.getPath());
  ASSERT_EQ(back[0].getPropertyCount(), inst.getPropertyCount());
  for (size_t i = 0; i < inst.getPropertyCount(); ++i) {
    EXPECT_EQ(back[0].getProperty(i).getName(), inst.getProperty(i).getName());
    EXPECT_EQ(back[0].getProperty(i).getValue(), inst.getProperty(i).getValue())
        << inst.getProperty(i).getName().getString() << " = "
        << inst.getProperty(i).getValue().toString();
  }
}

// The object path of a DR group travels as the text of a string parameter,
// with its backslashes doubled once, and comes back unchanged.
TEST(XmlRoundTripTest, PathTextInAStringArrayParameter) {
  ObjectPath cs("", NamespaceName(), Name("QNZARN_ConsistencySet"),
                {KeyBinding("InstanceID", "ARRAY1\\CG\\0001")});
  ObjectPath rs("", NamespaceName("root/ZARN"), Name("QNZARN_StorageRemoteReplicationService"),
                {KeyBinding("Name", "ARRAY1\\RS"), KeyBinding("SystemName", "ARRAY1")});
  std::string params;
  xml::writeParamValue(params, ParamValue("QNKey", Value("MXRud")));
  xml::writeParamValue(params,
                       ParamValue("ConsistencySet", Value(std::vector<std::string>{cs.toString()})));
  std::string request = xml::extrinsicRequest("1006", "FastFailover", NamespaceName("root/ZARN"),
                                              rs, params);
  EXPECT_NE(request.find("<PARAMVALUE NAME=\"ConsistencySet\" PARAMTYPE=\"string\"><VALUE.ARRAY>"
                         "<VALUE>QNZARN_ConsistencySet.InstanceID=\"ARRAY1\\\\CG\\\\0001\"</VALUE>"),
            std::string::npos)
      << request;
  EXPECT_NE(request.find("<KEYVALUE VALUETYPE=\"string\">ARRAY1\\RS</KEYVALUE>"),
            std::string::npos);

  pugi::xml_document doc;
  xml::loadDocument(doc, request);
  pugi::xml_node call = doc.child("CIM").child("MESSAGE").child("SIMPLEREQ").child("METHODCALL");
  EXPECT_EQ(xml::readLocalInstancePath(call.child("LOCALINSTANCEPATH")), rs);
  pugi::xml_node p = call.child("PARAMVALUE").next_sibling("PARAMVALUE");
  ParamValue param = xml::readParamValue(p);
  EXPECT_EQ(ObjectPath::parse(param.getValue().getStringArray().at(0)), cs);
}

}  // namespace
}  // namespace cim
