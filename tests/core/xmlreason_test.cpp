// Japanese reasons of XML errors: libxml2's real first error for one small
// document per error kind (well-formedness, namespaces, encodings, every
// schema rule), the XML layer's own refusals, what is shown when no Japanese
// sentence fits, and realistic errors against the standard schema set.
#include "report/reasons.h"

#include "platform/xml/xmlparser.h"
#include "platform/xml/xmltext.h"
#include "platform/zip/unzip.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>

using namespace morvik::platform;
using namespace morvik::report;
using morvik::test::readFile;
using morvik::test::TempDir;
using morvik::test::writeFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// One declaration or type per schema rule; elements in urn:hl7-org:v3.
const std::string kSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           xmlns:h="urn:hl7-org:v3" targetNamespace="urn:hl7-org:v3"
           elementFormDefault="qualified">
  <xs:simpleType name="Code"><xs:restriction base="xs:token">
    <xs:enumeration value="A1"/><xs:enumeration value="B2"/><xs:enumeration value="C3"/>
  </xs:restriction></xs:simpleType>
  <xs:simpleType name="Many"><xs:restriction base="xs:token">
    <xs:enumeration value="m01"/><xs:enumeration value="m02"/><xs:enumeration value="m03"/>
    <xs:enumeration value="m04"/><xs:enumeration value="m05"/><xs:enumeration value="m06"/>
    <xs:enumeration value="m07"/><xs:enumeration value="m08"/><xs:enumeration value="m09"/>
    <xs:enumeration value="m10"/><xs:enumeration value="m11"/><xs:enumeration value="m12"/>
    <xs:enumeration value="m13"/><xs:enumeration value="m14"/><xs:enumeration value="m15"/>
  </xs:restriction></xs:simpleType>
  <xs:simpleType name="Zip"><xs:restriction base="xs:string">
    <xs:pattern value="[0-9]{3}-[0-9]{4}"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Short"><xs:restriction base="xs:string">
    <xs:maxLength value="4"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Long"><xs:restriction base="xs:string">
    <xs:minLength value="3"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Exact"><xs:restriction base="xs:string">
    <xs:length value="8"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Age"><xs:restriction base="xs:integer">
    <xs:minInclusive value="0"/><xs:maxInclusive value="150"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Rate"><xs:restriction base="xs:decimal">
    <xs:minExclusive value="0"/><xs:maxExclusive value="100"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Money"><xs:restriction base="xs:decimal">
    <xs:totalDigits value="5"/><xs:fractionDigits value="2"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="Numbers"><xs:list itemType="xs:integer"/></xs:simpleType>
  <xs:simpleType name="NumberOrCode"><xs:union memberTypes="xs:integer Code"/></xs:simpleType>
  <xs:simpleType name="Kind"><xs:union memberTypes="Code">
    <xs:simpleType><xs:restriction base="xs:token"><xs:enumeration value="X"/>
      <xs:enumeration value="A1"/></xs:restriction></xs:simpleType>
  </xs:union></xs:simpleType>
  <xs:complexType name="Base" abstract="true"><xs:sequence/></xs:complexType>
  <xs:complexType name="Derived"><xs:complexContent><xs:extension base="Base"/>
  </xs:complexContent></xs:complexType>
  <xs:element name="abstract" abstract="true" type="xs:string"/>
  <xs:element name="other" type="xs:string"/>
  <xs:element name="doc">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="code" type="Code" minOccurs="0"/>
        <xs:element name="many" type="Many" minOccurs="0"/>
        <xs:element name="zip" type="Zip" minOccurs="0"/>
        <xs:element name="short" type="Short" minOccurs="0"/>
        <xs:element name="long" type="Long" minOccurs="0"/>
        <xs:element name="exact" type="Exact" minOccurs="0"/>
        <xs:element name="age" type="Age" minOccurs="0"/>
        <xs:element name="rate" type="Rate" minOccurs="0"/>
        <xs:element name="money" type="Money" minOccurs="0"/>
        <xs:element name="n" type="xs:integer" minOccurs="0"/>
        <xs:element name="date" type="xs:date" minOccurs="0"/>
        <xs:element name="numbers" type="Numbers" minOccurs="0"/>
        <xs:element name="either" type="NumberOrCode" minOccurs="0"/>
        <xs:element name="digit" minOccurs="0"><xs:simpleType>
          <xs:restriction base="xs:int"><xs:maxInclusive value="9"/></xs:restriction>
        </xs:simpleType></xs:element>
        <xs:element name="nillable" type="xs:string" nillable="true" minOccurs="0"/>
        <xs:element name="plain" type="xs:string" minOccurs="0"/>
        <xs:element name="fixedNil" type="xs:string" fixed="F" nillable="true" minOccurs="0"/>
        <xs:element name="fixed" type="xs:string" fixed="F" minOccurs="0"/>
        <xs:element name="fixedMixed" fixed="F" minOccurs="0"><xs:complexType mixed="true">
          <xs:sequence><xs:element name="q" minOccurs="0"/></xs:sequence>
        </xs:complexType></xs:element>
        <xs:element name="base" type="Base" minOccurs="0"/>
        <xs:element name="empty" minOccurs="0"><xs:complexType/></xs:element>
        <xs:element name="amount" minOccurs="0"><xs:complexType><xs:simpleContent>
          <xs:extension base="xs:int"><xs:attribute name="unit"/></xs:extension>
        </xs:simpleContent></xs:complexType></xs:element>
        <xs:element name="strict" minOccurs="0"><xs:complexType>
          <xs:sequence><xs:any namespace="##targetNamespace" processContents="strict"/></xs:sequence>
          <xs:anyAttribute namespace="##other" processContents="strict"/>
        </xs:complexType></xs:element>
        <xs:element name="foreign" minOccurs="0"><xs:complexType>
          <xs:sequence><xs:any namespace="##other" processContents="lax"/></xs:sequence>
        </xs:complexType></xs:element>
        <xs:element name="open" minOccurs="0"><xs:complexType>
          <xs:sequence><xs:any namespace="##any" processContents="lax"/>
            <xs:any namespace="urn:x" processContents="lax"/></xs:sequence>
        </xs:complexType></xs:element>
        <xs:element name="entry" minOccurs="0" maxOccurs="unbounded">
          <xs:complexType>
            <xs:sequence>
              <xs:element name="observation" type="xs:string"/>
              <xs:element name="value" type="xs:string" minOccurs="0"/>
            </xs:sequence>
            <xs:attribute name="typeCode" type="Code" use="required"/>
            <xs:attribute name="id" type="xs:ID"/>
            <xs:attribute name="label" type="Short"/>
            <xs:attribute name="version" type="xs:string" fixed="1"/>
          </xs:complexType>
        </xs:element>
        <xs:element name="keys" minOccurs="0">
          <xs:complexType><xs:sequence>
            <xs:element name="k" maxOccurs="unbounded"><xs:complexType>
              <xs:sequence><xs:element name="c" type="xs:string" minOccurs="0"
                                       maxOccurs="unbounded"/></xs:sequence>
              <xs:attribute name="v" type="xs:string"/>
            </xs:complexType></xs:element>
            <xs:element name="r" minOccurs="0" maxOccurs="unbounded"><xs:complexType>
              <xs:attribute name="to" type="xs:string"/></xs:complexType></xs:element>
          </xs:sequence></xs:complexType>
          <xs:key name="kKey"><xs:selector xpath="h:k"/><xs:field xpath="@v"/></xs:key>
          <xs:keyref name="rRef" refer="kKey"><xs:selector xpath="h:r"/><xs:field xpath="@to"/>
          </xs:keyref>
        </xs:element>
        <xs:element name="cells" minOccurs="0">
          <xs:complexType><xs:sequence>
            <xs:element name="k" maxOccurs="unbounded"><xs:complexType><xs:sequence>
              <xs:element name="c" minOccurs="0" maxOccurs="unbounded"><xs:complexType>
                <xs:sequence><xs:element name="z" minOccurs="0"/></xs:sequence>
              </xs:complexType></xs:element>
              <xs:element name="s" type="xs:string" minOccurs="0" maxOccurs="unbounded"/>
            </xs:sequence></xs:complexType></xs:element>
          </xs:sequence></xs:complexType>
          <xs:key name="byCell"><xs:selector xpath="h:k"/><xs:field xpath="h:c"/></xs:key>
        </xs:element>
        <xs:element name="texts" minOccurs="0">
          <xs:complexType><xs:sequence>
            <xs:element name="k" maxOccurs="unbounded"><xs:complexType><xs:sequence>
              <xs:element name="s" type="xs:string" minOccurs="0" maxOccurs="unbounded"/>
            </xs:sequence></xs:complexType></xs:element>
          </xs:sequence></xs:complexType>
          <xs:key name="byText"><xs:selector xpath="h:k"/><xs:field xpath="h:s"/></xs:key>
        </xs:element>
        <xs:element name="uniq" minOccurs="0">
          <xs:complexType><xs:sequence>
            <xs:element name="u" maxOccurs="unbounded" type="xs:string"/>
          </xs:sequence></xs:complexType>
          <xs:unique name="oneEach"><xs:selector xpath="h:u"/><xs:field xpath="."/></xs:unique>
        </xs:element>
        <xs:element name="kind" type="Kind" minOccurs="0"/>
        <xs:element name="numberOrCode" type="NumberOrCode" minOccurs="0"/>
      </xs:sequence>
    </xs:complexType>
  </xs:element>
</xs:schema>
)";

const std::string kRoot =
    "<doc xmlns=\"urn:hl7-org:v3\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";

// A document of the test schema: the root on line 1, body from line 2.
std::string doc(const std::string& body) {
    return kRoot + "\n" + body + "\n</doc>\n";
}

XmlErrorFacts factsOf(const xmlError& error) {
    XmlErrorFacts facts;
    facts.domain = error.domain;
    facts.code = error.code;
    facts.str1 = error.str1 != nullptr ? error.str1 : "";
    facts.str2 = error.str2 != nullptr ? error.str2 : "";
    facts.str3 = error.str3 != nullptr ? error.str3 : "";
    facts.int1 = error.int1;
    // On one line, as the XML layer keeps it.
    facts.message = oneLineUtf8(error.message != nullptr ? error.message : "");
    return facts;
}

// Collects libxml2's errors (not its warnings) on this thread while it lives.
class ErrorCapture {
public:
    ErrorCapture() : m_previous(xmlStructuredError), m_previousContext(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(this, &ErrorCapture::onError);
    }
    ~ErrorCapture() { xmlSetStructuredErrorFunc(m_previousContext, m_previous); }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    static void onError(void* self, xmlErrorPtr error) {
        if (error != nullptr && error->level >= XML_ERR_ERROR) {
            static_cast<ErrorCapture*>(self)->errors.push_back(factsOf(*error));
        }
    }
    std::vector<XmlErrorFacts> errors;

private:
    xmlStructuredErrorFunc m_previous;
    void* m_previousContext;
};

// A schema (the test schema unless another is named), compiled once, and the
// documents checked against it.
class Checker {
public:
    explicit Checker(const fs::path& schema = {}) {
        if (schema.empty()) {
            writeFile(m_dir.path() / "test.xsd", kSchema);
        }
        const fs::path path = schema.empty() ? m_dir.path() / "test.xsd" : schema;
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.c_str());
        m_schema = xmlSchemaParse(parser);
        xmlSchemaFreeParserCtxt(parser);
    }
    ~Checker() { xmlSchemaFree(m_schema); }
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    bool ready() const { return m_schema != nullptr; }
    const TempDir& dir() const { return m_dir; }

    // Streamed through the validator, as the XML layer reads documents.
    std::vector<XmlErrorFacts> streamed(const std::string& content) {
        const fs::path path = m_dir.path() / "d.xml";
        writeFile(path, content);
        ErrorCapture capture;
        xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(m_schema);
        xmlSchemaSetValidStructuredErrors(validator, &ErrorCapture::onError, &capture);
        xmlSchemaValidateFile(validator, path.c_str(), 0);
        xmlSchemaFreeValidCtxt(validator);
        return capture.errors;
    }

    // Read into a tree first: the validator then also sees duplicate IDs.
    std::vector<XmlErrorFacts> asTree(const std::string& content) {
        ErrorCapture capture;
        xmlDocPtr tree = xmlReadMemory(content.data(), static_cast<int>(content.size()), "d.xml",
                                       nullptr, XML_PARSE_NONET);
        if (tree == nullptr) {
            return capture.errors;
        }
        xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(m_schema);
        xmlSchemaSetValidStructuredErrors(validator, &ErrorCapture::onError, &capture);
        xmlSchemaValidateDoc(validator, tree);
        xmlSchemaFreeValidCtxt(validator);
        xmlFreeDoc(tree);
        return capture.errors;
    }

    // The XML layer's outcome of loading path with the given schemas.
    std::vector<XmlErrorFacts> loaded(const std::vector<std::string>& schemas,
                                      const std::string& path, bool load = true) {
        XmlParserFactory& factory = defaultXmlParserFactory();
        auto collection = factory.createSchemaCollection();
        auto document = factory.createDocument();
        for (const std::string& schema : schemas) {
            collection->add("urn:hl7-org:v3", schema);
        }
        document->setSchemas(*collection);
        if (load) {
            document->load(path);
        }
        auto error = document->parseError();
        if (error->errorCode().value_or(0) == 0) {
            return {};
        }
        return {error->reasonFacts().value_or(XmlErrorFacts())};
    }

    std::string schemaPath() const { return (m_dir.path() / "test.xsd").string(); }

    // path of a new file holding content.
    std::string file(const std::string& name, const std::string& content) const {
        const fs::path path = m_dir.path() / name;
        writeFile(path, content);
        return path.string();
    }

private:
    TempDir m_dir;
    xmlSchemaPtr m_schema = nullptr;
};

using Maker = std::function<std::vector<XmlErrorFacts>(Checker&)>;

Maker streamed(std::string content) {
    return [content](Checker& c) { return c.streamed(content); };
}
Maker asTree(std::string content) {
    return [content](Checker& c) { return c.asTree(content); };
}
// libxml2's error as it reports it, where no small document makes it here.
Maker givenLibxml(int domain, int code, std::string message) {
    return [=](Checker&) {
        XmlErrorFacts facts;
        facts.domain = domain;
        facts.code = code;
        facts.message = message;
        return std::vector<XmlErrorFacts>{facts};
    };
}

// One of our own refusals with its fields, as the XML layer hands it over.
XmlErrorFacts own(XmlLoadError code, OwnFacts kind, std::string str1 = {}, std::string str2 = {},
                  std::string str3 = {}) {
    XmlErrorFacts facts;
    facts.code = static_cast<int>(code);
    facts.own = kind;
    facts.str1 = std::move(str1);
    facts.str2 = std::move(str2);
    facts.str3 = std::move(str3);
    return facts;
}

Maker givenOwn(XmlErrorFacts facts) {
    return [facts](Checker&) { return std::vector<XmlErrorFacts>{facts}; };
}

XmlErrorFacts about(XmlErrorFacts facts, std::string element, std::string attribute) {
    facts.element = std::move(element);
    facts.attribute = std::move(attribute);
    return facts;
}

XmlErrorFacts forms(XmlErrorFacts facts, std::vector<std::string> values) {
    facts.values = std::move(values);
    return facts;
}

XmlErrorFacts causedBy(XmlErrorFacts facts, XmlErrorFacts cause) {
    facts.causes.push_back(std::move(cause));
    return facts;
}

struct Row {
    const char* name;
    Maker make;
    int code;                      // of the first error
    std::vector<std::string> want; // in the Japanese reason
    // The first error of `code` instead of the first error: libxml2 reports
    // this one only after another.
    bool firstOfCode = false;
};

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        // Well-formedness.
        {"mismatched tag",
         streamed(doc("<code>A1</cod>")),
         XML_ERR_TAG_NAME_MISMATCH,
         {"開始タグ「code」（2行目）", "終了タグ「cod」"}},
        {"unclosed tag",
         streamed(kRoot + "\n<code>A1</code>\n"),
         XML_ERR_TAG_NOT_FINISHED,
         {"終了タグがありません：要素「doc」（1行目で開始）の終了タグがない",
          "ファイルが途中で切れている可能性もあります"}},
        {"start tag without '>'",
         streamed(kRoot + "\n<entry typeCode=\"A1\" "),
         XML_ERR_GT_REQUIRED,
         {"開始タグ「entry」（2行目）", "「>」"}},
        {"end tag without '>'",
         streamed(doc("<code>A1</code")),
         XML_ERR_GT_REQUIRED,
         {"タグが「>」で閉じられていません"}},
        {"unescaped ampersand",
         streamed(doc("<plain>A & B</plain>")),
         XML_ERR_NAME_REQUIRED,
         {"「&」の後に名前がありません", "「&amp;」"}},
        {"reference without semicolon",
         streamed(doc("<plain>A &amp B</plain>")),
         XML_ERR_ENTITYREF_SEMICOL_MISSING,
         {"「;」で終わっていません", "「&amp;」"}},
        {"unescaped less-than",
         streamed(doc("<plain>1 < 2</plain>")),
         XML_ERR_NAME_REQUIRED,
         {"「<」の後に正しい要素名がありません", "「&lt;」"}},
        {"undefined entity",
         streamed(doc("<plain>&nbsp;</plain>")),
         XML_ERR_UNDECLARED_ENTITY,
         {"実体参照「&nbsp;」は定義されていません"}},
        {"bad hexadecimal reference",
         streamed(doc("<plain>&#xZZ;</plain>")),
         XML_ERR_INVALID_HEX_CHARREF,
         {"16進数の文字参照"}},
        {"bad decimal reference",
         streamed(doc("<plain>&#12a;</plain>")),
         XML_ERR_INVALID_DEC_CHARREF,
         {"10進数の文字参照"}},
        {"reference to a control character",
         streamed(doc("<plain>&#1;</plain>")),
         XML_ERR_INVALID_CHAR,
         {"文字参照がXMLで使えない文字「U+0001」"}},
        {"reference out of range",
         streamed(doc("<plain>&#x110000;</plain>")),
         XML_ERR_INVALID_CHAR,
         {"文字参照の値"}},
        {"control character",
         streamed(doc("<plain>a\x01z</plain>")),
         XML_ERR_INVALID_CHAR,
         {"XMLで使えない制御文字「U+0001」", "画面には見えない文字"}},
        {"non-character",
         streamed(doc("<plain>\xEF\xBF\xBE</plain>")),
         XML_ERR_INVALID_CHAR,
         {"「U+FFFE」"}},
        {"control character in attribute",
         streamed(doc("<entry typeCode=\"A\x01\"/>")),
         XML_ERR_INVALID_CHAR,
         {"属性値にXMLで使えない文字"}},
        {"not UTF-8",
         streamed(doc("<plain>\x8C\x92\x90\x66</plain>")),
         XML_ERR_INVALID_CHAR,
         {"UTF-8として読めないバイト列「0x8C 0x92 0x90 0x66」", "「encoding」"}},
        {"bytes that are no Shift_JIS",
         streamed("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n" + doc("<plain>\x81 </plain>")),
         XML_I18N_CONV_FAILED,
         {"読めないバイト列「0x81 0x20", "「encoding」"}},
        {"labelled UTF-16",
         streamed("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + doc("")),
         XML_ERR_INVALID_ENCODING,
         {"文字コード「UTF-16」と宣言", "内容は「UTF-8」"}},
        {"unsupported encoding",
         streamed("<?xml version=\"1.0\" encoding=\"NO-SUCH-CODE\"?>\n" + doc("")),
         XML_ERR_UNSUPPORTED_ENCODING,
         {"文字コード「NO-SUCH-CODE」には対応していません"}},
        {"encoding name",
         streamed("<?xml version=\"1.0\" encoding=\"1abc\"?>\n" + doc("")),
         XML_ERR_ENCODING_NAME,
         {"文字コード名"}},
        {"duplicate attribute",
         streamed(doc("<entry typeCode=\"A1\" typeCode=\"B2\"/>")),
         XML_ERR_ATTRIBUTE_REDEFINED,
         {"属性「typeCode」が同じ要素に2回以上"}},
        {"duplicate namespaced attribute",
         streamed(doc("<plain xmlns:p=\"urn:a\" xmlns:q=\"urn:a\" p:b=\"1\" q:b=\"2\"/>")),
         XML_NS_ERR_ATTRIBUTE_REDEFINED,
         {"名前空間「urn:a」の属性「b」"}},
        {"attribute without value",
         streamed(doc("<entry typeCode/>")),
         XML_ERR_ATTRIBUTE_WITHOUT_VALUE,
         {"属性「typeCode」に値がありません", "「typeCode=\"値\"」", "途中で切れている"}},
        {"unquoted attribute value",
         streamed(doc("<entry typeCode=A1/>")),
         XML_ERR_ATTRIBUTE_NOT_STARTED,
         {"引用符"}},
        {"attribute value not closed",
         streamed(kRoot + "\n<entry typeCode=\"A1"),
         XML_ERR_ATTRIBUTE_NOT_FINISHED,
         {"閉じる引用符がありません"}},
        {"less-than in attribute",
         streamed(doc("<entry typeCode=\"a<b\"/>")),
         XML_ERR_LT_IN_ATTRIBUTE,
         {"「<」がそのまま", "「&lt;」"}},
        {"attributes run together",
         streamed(doc("<entry typeCode=\"A1\"id=\"x\"/>")),
         XML_ERR_SPACE_REQUIRED,
         {"属性の書き方"}},
        {"bad attribute name",
         streamed(doc("<entry/ >")),
         XML_ERR_NAME_REQUIRED,
         {"属性名が正しくありません"}},
        {"blank missing in declaration",
         streamed("<?xml encoding=\"UTF-8\"?>\n" + doc("")),
         XML_ERR_VERSION_MISSING,
         {"「version」がありません"}},
        {"declaration not at the start",
         streamed("\n<?xml version=\"1.0\"?>\n" + doc("")),
         XML_ERR_RESERVED_XML_NAME,
         {"ファイルの先頭にしか書けません"}},
        {"declaration not finished",
         streamed("<?xml version=\"1.0\"\n" + doc("")),
         XML_ERR_XMLDECL_NOT_FINISHED,
         {"XML宣言が「?>」で閉じられていません"}},
        {"unknown version",
         streamed("<?xml version=\"2.0\"?>\n" + doc("")),
         XML_ERR_UNKNOWN_VERSION,
         {"バージョン「2.0」"}},
        {"standalone value",
         streamed("<?xml version=\"1.0\" standalone=\"maybe\"?>\n" + doc("")),
         XML_ERR_STANDALONE_VALUE,
         {"「standalone」", "「yes」か「no」"}},
        {"unquoted version",
         streamed("<?xml version=1.0?>\n" + doc("")),
         XML_ERR_STRING_NOT_STARTED,
         {"引用符で囲まれていません"}},
        {"unclosed version",
         streamed("<?xml version=\"1.0\n" + doc("")),
         XML_ERR_STRING_NOT_CLOSED,
         {"閉じられていません"}},
        {"text after the root",
         streamed(doc("") + "<doc/>\n"),
         XML_ERR_DOCUMENT_END,
         {"ルート要素の後に余分な内容"}},
        {"empty document", streamed(""), XML_ERR_DOCUMENT_EMPTY, {"ファイルが空です"}},
        {"no root element",
         streamed("<?xml version=\"1.0\"?>\n"),
         XML_ERR_DOCUMENT_EMPTY,
         {"開始タグ（「<」）がありません"}},
        {"comment not closed",
         streamed(kRoot + "\n<!-- note\n"),
         XML_ERR_COMMENT_NOT_FINISHED,
         {"コメント"}},
        {"double hyphen in comment",
         streamed(doc("<!-- a -- b -->")),
         XML_ERR_HYPHEN_IN_COMMENT,
         {"「--」"}},
        {"CDATA not closed",
         streamed(kRoot + "\n<plain><![CDATA[ x\n"),
         XML_ERR_CDATA_NOT_FINISHED,
         {"「<![CDATA[」", "「]]>」"}},
        {"CDATA end in text",
         streamed(doc("<plain>]]></plain>")),
         XML_ERR_MISPLACED_CDATA_END,
         {"「]]&gt;」"}},
        {"processing instruction not closed",
         streamed(kRoot + "\n<?note x\n"),
         XML_ERR_PI_NOT_FINISHED,
         {"処理命令「<?note」"}},
        {"processing instruction without name",
         streamed(doc("<? x?>")),
         XML_ERR_PI_NOT_STARTED,
         {"処理命令"}},
        // Namespaces.
        {"undeclared element prefix",
         streamed(doc("<p:plain/>")),
         XML_NS_ERR_UNDEFINED_NAMESPACE,
         {"要素「p:plain」の接頭辞「p」", "「xmlns:p」"}},
        {"undeclared attribute prefix",
         streamed(doc("<plain p:x=\"1\"/>")),
         XML_NS_ERR_UNDEFINED_NAMESPACE,
         {"要素「plain」の属性「p:x」の接頭辞「p」"}},
        {"empty namespace",
         streamed(doc("<plain xmlns:p=\"\"/>")),
         XML_NS_ERR_XML_NAMESPACE,
         {"接頭辞「p」の名前空間が空です"}},
        {"xml prefix rebound",
         streamed(doc("<plain xmlns:xml=\"urn:x\"/>")),
         XML_NS_ERR_XML_NAMESPACE,
         {"接頭辞「xml」"}},
        {"two colons", streamed(doc("<a:b:c/>")), XML_NS_ERR_QNAME, {"名前「a:b:」"}},
        // Values of simple types.
        {"enumeration",
         streamed(doc("<code>Z9</code>")),
         XML_SCHEMAV_CVC_ENUMERATION_VALID,
         {"使える値ではありません：要素「code」の値「Z9」", "「A1」、「B2」、「C3」。"}},
        {"enumeration, empty",
         streamed(doc("<code/>")),
         XML_SCHEMAV_CVC_ENUMERATION_VALID,
         {"要素「code」の値（空）"}},
        {"enumeration of an attribute",
         streamed(doc("<entry typeCode=\"Z\"><observation/></entry>")),
         XML_SCHEMAV_CVC_ENUMERATION_VALID,
         {"要素「entry」の属性「typeCode」の値「Z」"}},
        {"long enumeration",
         streamed(doc("<many>m99</many>")),
         XML_SCHEMAV_CVC_ENUMERATION_VALID,
         {"「m01」、「m02」", "「m10」ほか5件。"}},
        {"pattern",
         streamed(doc("<zip>1234567</zip>")),
         XML_SCHEMAV_CVC_PATTERN_VALID,
         {"要素「zip」の値「1234567」", "形式が正しくありません：", "郵便番号は半角数字3桁", "（パターン：「[0-9]{3}-[0-9]{4}」）", "[0-9]{3}-[0-9]{4}"}},
        {"maxLength",
         streamed(doc("<short>abcdef</short>")),
         XML_SCHEMAV_CVC_MAXLENGTH_VALID,
         {"文字数が多すぎます：要素「short」の値は6文字です。4文字以下で書いてください。"}},
        {"maxLength of an attribute",
         streamed(doc("<entry typeCode=\"A1\" label=\"abcdef\"><observation/></entry>")),
         XML_SCHEMAV_CVC_MAXLENGTH_VALID,
         {"文字数が多すぎます：要素「entry」の属性「label」の値「abcdef」は6文字です。"}},
        {"minLength",
         streamed(doc("<long>a</long>")),
         XML_SCHEMAV_CVC_MINLENGTH_VALID,
         {"文字数が足りません：要素「long」の値は1文字です。3文字以上"}},
        {"length",
         streamed(doc("<exact>abc</exact>")),
         XML_SCHEMAV_CVC_LENGTH_VALID,
         {"文字数が違います：要素「exact」の値は3文字です。ちょうど8文字"}},
        {"maxInclusive",
         streamed(doc("<age>200</age>")),
         XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID,
         {"値が大きすぎます：要素「age」の値「200」。", "「150」以下"}},
        {"minInclusive",
         streamed(doc("<age>-1</age>")),
         XML_SCHEMAV_CVC_MININCLUSIVE_VALID,
         {"値が小さすぎます：要素「age」の値「-1」。", "「0」以上"}},
        {"minExclusive",
         streamed(doc("<rate>0</rate>")),
         XML_SCHEMAV_CVC_MINEXCLUSIVE_VALID,
         {"値が小さすぎます：要素「rate」の値「0」。", "「0」より大きく"}},
        {"maxExclusive",
         streamed(doc("<rate>100</rate>")),
         XML_SCHEMAV_CVC_MAXEXCLUSIVE_VALID,
         {"値が大きすぎます：要素「rate」の値「100」。", "「100」より小さく"}},
        {"totalDigits",
         streamed(doc("<money>12345.6</money>")),
         XML_SCHEMAV_CVC_TOTALDIGITS_VALID,
         {"桁数が多すぎます：要素「money」の値「12345.6」。", "全体で5桁まで"}},
        {"fractionDigits",
         streamed(doc("<money>1.234</money>")),
         XML_SCHEMAV_CVC_FRACTIONDIGITS_VALID,
         {"値「1.234」", "小数点以下は2桁まで"}},
        {"facet of a local type",
         streamed(doc("<digit>10</digit>")),
         XML_SCHEMAV_CVC_MAXINCLUSIVE_VALID,
         {"要素「digit」の値「10」", "「9」以下"}},
        {"built-in type",
         streamed(doc("<n>abc</n>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"要素「n」の値「abc」は、型「xs:integer」（整数）の値として正しくありません"}},
        {"date",
         streamed(doc("<date>2024/05/27</date>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"値「2024/05/27」", "「xs:date」（日付。例：「2024-05-27」）"}},
        {"local type",
         streamed(doc("<digit>x</digit>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"要素「digit」の値「x」は、この要素に定められた型の値として"}},
        {"boolean xsi:nil",
         streamed(doc("<nillable xsi:nil=\"yes\"/>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"要素「nillable」の属性「xsi:nil」の値「yes」", "「true」か「false」"}},
        {"malformed ID",
         streamed(doc("<entry typeCode=\"A1\" id=\"1x\"><observation/></entry>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"IDとして正しくありません：", "属性「id」の値「1x」"}},
        {"ID with full-width characters",
         streamed(doc("<entry typeCode=\"A1\" id=\"あ　い\"><observation/></entry>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"IDとして正しくありません：", "全角文字や空白は使えません"}},
        {"file cut inside a character",
         givenLibxml(XML_FROM_PARSER, XML_ERR_INTERNAL_ERROR,
                     "internal error: detected an error in element content"),
         XML_ERR_INTERNAL_ERROR,
         {"要素の内容の途中で読めなくなりました", "ファイルが途中で切れている"}},
        {"duplicate ID",
         asTree(doc("<entry typeCode=\"A1\" id=\"n1\"><observation/></entry>\n"
                    "<entry typeCode=\"A1\" id=\"n1\"><observation/></entry>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"IDが重複しています：ID「n1」はファイルの中ですでに使われています", "要素「entry」の属性「id」"}},
        {"list",
         streamed(doc("<numbers>1 two</numbers>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_2,
         {"要素「numbers」の値「1 two」は、型「Numbers」（空白で区切った値の並び）"},
         true},
        {"union",
         streamed(doc("<either>Z9</either>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         {"要素「either」の値「Z9」は、型「NumberOrCode」で使える値ではありません"}},
        {"xsi:type prefix not declared",
         streamed(doc("<base xsi:type=\"xs:string\"/>")),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"属性「xsi:type」の値「xs:string」の接頭辞「xs」", "名前空間の宣言がありません"}},
        {"fixed attribute",
         streamed(doc("<entry typeCode=\"A1\" version=\"2\"><observation/></entry>")),
         XML_SCHEMAV_CVC_AU,
         {"定められた値と違います：要素「entry」の属性「version」の値「2」。定められた値は「1」です。"}},
        {"fixed element",
         streamed(doc("<fixed>G</fixed>")),
         XML_SCHEMAV_CVC_ELT_5_2_2_2_2,
         {"定められた値と違います：要素「fixed」の値「G」。定められた値は「F」です。"}},
        {"fixed mixed element",
         streamed(doc("<fixedMixed>G</fixedMixed>")),
         XML_SCHEMAV_CVC_ELT_5_2_2_2_1,
         {"要素「fixedMixed」の値「G」", "「F」"}},
        // Content models.
        {"unexpected element",
         streamed(doc("<entry typeCode=\"A1\"><value/></entry>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"要素が抜けているか順番が違います：ここには「observation」が必要ですが「value」が"
          "書かれています。"}},
        {"unexpected element, list cut by libxml2",
         streamed(doc("<abstract>x</abstract>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"この位置には書けません：要素「abstract」", "次のいずれかです：「code」、「many」",
          "「n」など（"}},
        {"unexpected element, nothing more allowed",
         streamed(doc("<entry typeCode=\"A1\"><observation/><value/><value/></entry>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"この位置には書けない要素です：「value」。"}},
        {"element in no namespace",
         streamed(doc("<code xmlns=\"\">A1</code>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"この位置には書けません：要素「code」（名前空間なし）",
          "名前空間「urn:hl7-org:v3」の次のいずれか"}},
        {"element in another namespace",
         streamed(doc("<q:code xmlns:q=\"urn:q\">A1</q:code>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"要素「code」（名前空間「urn:q」）"}},
        {"wildcard of other namespaces",
         streamed(doc("<foreign><plain/></foreign>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"ここには名前空間「urn:hl7-org:v3」以外の任意の要素が必要ですが「plain」"}},
        {"wildcard of one namespace",
         streamed(doc("<open><plain/><plain/></open>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"ここには名前空間「urn:x」の任意の要素が必要ですが"}},
        {"missing child",
         streamed(doc("<entry typeCode=\"A1\"></entry>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"必要な子要素がありません：要素「entry」には「observation」が必要です。"}},
        {"missing child of a wildcard",
         streamed(doc("<open/>")),
         XML_SCHEMAV_ELEMENT_CONTENT,
         {"次のいずれかが必要です：任意の要素、名前空間なしの任意の要素。"}},
        {"text in element-only content",
         streamed(doc("<entry typeCode=\"A1\">note<observation/></entry>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_2_3,
         {"要素「entry」には子要素だけが書けます"}},
        {"text in empty content",
         streamed(doc("<empty>x</empty>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_2_1,
         {"要素「empty」は内容を持たない要素", "文字は書けません"}},
        {"element in empty content",
         streamed(doc("<empty><plain/></empty>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_2_1,
         {"要素「empty」", "子要素は書けません"}},
        {"element in simple content",
         streamed(doc("<amount><plain/></amount>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_2_2,
         {"要素「amount」には値（文字）だけが書けます"}},
        {"element in a simple type",
         streamed(doc("<code><plain/></code>")),
         XML_SCHEMAV_CVC_TYPE_3_1_2,
         {"要素「code」には値（文字）だけが書けます"}},
        // Attributes.
        {"attribute not allowed",
         streamed(doc("<entry typeCode=\"A1\" colour=\"red\"><observation/></entry>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_1,
         {"書けない属性です：要素「entry」の属性「colour」"}},
        {"attribute of another namespace",
         streamed(doc("<entry typeCode=\"A1\" xmlns:q=\"urn:q\" "
                      "q:colour=\"red\"><observation/></entry>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_1,
         {"属性「colour」（名前空間「urn:q」）"}},
        {"attribute on a simple type",
         streamed(doc("<code colour=\"red\">A1</code>")),
         XML_SCHEMAV_CVC_TYPE_3_1_1,
         {"書けない属性です：要素「code」の属性「colour」", "属性を持てません"}},
        {"attribute outside an attribute wildcard",
         streamed(doc("<strict colour=\"red\"><plain/></strict>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_2,
         {"書けない属性です：要素「strict」の属性「colour」"}},
        {"unknown xsi attribute",
         streamed(doc("<code xsi:colour=\"red\">A1</code>")),
         XML_SCHEMAV_CVC_TYPE_3_1_1,
         {"属性「xsi:colour」"}},
        {"required attribute",
         streamed(doc("<entry><observation/></entry>")),
         XML_SCHEMAV_CVC_COMPLEX_TYPE_4,
         {"必須の属性がありません：要素「entry」の属性「typeCode」。"}},
        {"strict attribute wildcard",
         streamed(doc("<strict xmlns:q=\"urn:q\" q:colour=\"red\"><plain/></strict>")),
         XML_SCHEMAV_CVC_WILDCARD,
         {"要素「strict」の属性「colour」（名前空間「urn:q」）はスキーマで宣言されていません"}},
        // Declarations, nil, types.
        {"undeclared root",
         streamed("<report xmlns=\"urn:hl7-org:v3\"/>"),
         XML_SCHEMAV_CVC_ELT_1,
         {"ルート要素が違います：「report」（名前空間「urn:hl7-org:v3」）はスキーマで宣言されていません"}},
        {"root in no namespace",
         streamed("<doc/>"),
         XML_SCHEMAV_CVC_ELT_1,
         {"ルート要素が違います：「doc」（名前空間なし）"}},
        {"strict element wildcard",
         streamed(doc("<strict><report/></strict>")),
         XML_SCHEMAV_CVC_ELT_1,
         {"宣言されていない要素です：「report」（名前空間「urn:hl7-org:v3」）。",
          "宣言された要素だけ"}},
        {"abstract element",
         streamed("<abstract xmlns=\"urn:hl7-org:v3\">x</abstract>"),
         XML_SCHEMAV_CVC_ELT_2,
         {"要素「abstract」は抽象要素"}},
        {"not nillable",
         streamed(doc("<plain xsi:nil=\"true\"/>")),
         XML_SCHEMAV_CVC_ELT_3_1,
         {"「xsi:nil」は指定できません：要素「plain」"}},
        {"nilled with content",
         streamed(doc("<nillable xsi:nil=\"true\">x</nillable>")),
         XML_SCHEMAV_CVC_ELT_3_2_1,
         {"要素「nillable」には「xsi:nil=\"true\"」", "文字も子要素も"}},
        {"nilled with a fixed value",
         streamed(doc("<fixedNil xsi:nil=\"true\"/>")),
         XML_SCHEMAV_CVC_ELT_3_2_2,
         {"「xsi:nil」は指定できません：要素「fixedNil」には定められた値があります。"}},
        {"abstract type",
         streamed(doc("<base/>")),
         XML_SCHEMAV_CVC_TYPE_2,
         {"要素「base」の型は抽象型", "「xsi:type」"}},
        {"unknown xsi:type",
         streamed(doc("<base xsi:type=\"Unknown\"/>")),
         XML_SCHEMAV_CVC_ELT_4_2,
         {"型がスキーマにありません：要素「base」の「xsi:type」に指定された型「Unknown」（名前空間"
          "「urn:hl7-org:v3」）。"}},
        {"xsi:type not derived",
         streamed(doc("<n xsi:type=\"Code\">A1</n>")),
         XML_SCHEMAV_CVC_ELT_4_3,
         {"要素「n」の「xsi:type」に指定された型「Code」", "使えません"}},
        // Identity constraints.
        {"duplicate key",
         streamed(doc("<keys><k v=\"a\"/><k v=\"a\"/></keys>")),
         XML_SCHEMAV_CVC_IDC,
         {"値が重複しています：要素「k」の値「a」", "キー「kKey」"}},
        {"duplicate unique value",
         streamed(doc("<uniq><u>a</u><u>a</u></uniq>")),
         XML_SCHEMAV_CVC_IDC,
         {"値が重複しています：要素「u」の値「a」", "一意性の制約「oneEach」"}},
        {"missing key field",
         streamed(doc("<keys><k/></keys>")),
         XML_SCHEMAV_CVC_IDC,
         {"要素「k」にキー「kKey」の値となる項目がありません"}},
        {"keyref without key",
         streamed(doc("<keys><k v=\"a\"/><r to=\"b\"/></keys>")),
         XML_SCHEMAV_CVC_IDC,
         {"対応するキーがありません：要素「r」の値「b」", "「rRef」"}},
        {"key field twice",
         streamed(doc("<texts><k><s>a</s><s>b</s></k></texts>")),
         XML_SCHEMAV_CVC_IDC,
         {"キー「byText」の項目「h:s」に当たる要素「s」が2つ以上あります"}},
        {"key field not simple",
         streamed(doc("<cells><k><c><z/></c></k></cells>")),
         XML_SCHEMAV_CVC_IDC,
         {"キー「byCell」の項目「h:c」が指す要素「c」は、値を持たない要素です"}},
        // The XML layer's own refusals.
        {"missing document",
         [](Checker& c) {
             return c.loaded({c.schemaPath()}, (c.dir().path() / "missing.xml").string());
         },
         -1,
         {"ファイルを開けません：「", "missing.xml」（ファイルかフォルダがありません）"}},
        {"folder instead of a document",
         [](Checker& c) {
             fs::create_directories(c.dir().path() / "DATA.xml");
             return c.loaded({c.schemaPath()}, (c.dir().path() / "DATA.xml").string());
         },
         -2,
         {"XMLファイルではなくフォルダです：「", "DATA.xml」"}},
        {"document type declaration",
         [](Checker& c) {
             return c.loaded({c.schemaPath()},
                             c.file("dtd.xml", "<!DOCTYPE doc [\n]>\n" + doc("")));
         },
         -3,
         {"文書型宣言（DTD）は使えません：「<!DOCTYPE doc」"}},
        {"no usable schema",
         [](Checker& c) {
             return c.loaded({(c.dir().path() / "none.xsd").string()}, c.file("a.xml", doc("")));
         },
         -4,
         {"検証に使えるスキーマがありません", "none.xsd」は使えません：", "を開けません"}},
        {"schema with a DTD",
         [](Checker& c) {
             const std::string schema = c.file("dtd.xsd", "<!DOCTYPE xs:schema>\n" + kSchema);
             return c.loaded({schema}, c.file("a.xml", doc("")));
         },
         -4,
         {"dtd.xsd」に文書型宣言（DTD）があるため使えません"}},
        {"schema that does not compile",
         [](Checker& c) {
             const std::string schema =
                 c.file("bad.xsd", "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                                   "<xs:element/></xs:schema>");
             return c.loaded({schema}, c.file("a.xml", doc("")));
         },
         -4,
         {"bad.xsd」は使えません：スキーマとして読めません（詳細：「"}},
        {"root in another namespace",
         [](Checker& c) {
             return c.loaded({c.schemaPath()},
                             c.file("claim.xml", "<doc xmlns=\"http://tokuteikenshin.jp/checkup/"
                                                 "2007\"/>"));
         },
         -5,
         {"名前空間が違います：ルート要素「doc」（名前空間「http://tokuteikenshin.jp/checkup/2007」）。"
          "スキーマの名前空間は「urn:hl7-org:v3」です。"}},
        {"nothing loaded",
         [](Checker& c) { return c.loaded({c.schemaPath()}, "", false); },
         -7,
         {"読み込まれていません"}},
        {"validator refused silently",
         givenOwn(own(XmlLoadError::parserFailure, OwnFacts::validatorRejected)),
         -6,
         {"スキーマによる検証で"}},
        {"external file refused",
         givenOwn(causedBy(own(XmlLoadError::parserFailure, OwnFacts::refused),
                           own({}, OwnFacts::externalNotLoaded, "http://example.org/x.dtd"))),
         -6,
         {"読み込みを拒否しました：外部のファイル「http://example.org/x.dtd」は読み込みません。"}},
        {"dangling IDREF",
         givenOwn(about(own(XmlLoadError::idrefNotFound, OwnFacts::idrefNotFound, "a1"),
                        "{urn:hl7-org:v3}reference", "ref")),
         kIdrefNotFoundCode,
         {"参照先のIDがありません：要素「reference」の属性「ref」の値「a1」"}},
        {"a number with a dangling exponent",
         givenOwn(forms(about(own(XmlLoadError::notANumber, OwnFacts::notANumber, "1e",
                                  "{urn:hl7-org:v3}real"),
                              "{urn:hl7-org:v3}value", "value"),
                        {"xs:decimal", "xs:double"})),
         static_cast<int>(XmlLoadError::notANumber),
         {"数値として正しくありません：要素「value」の属性「value」の値「1e」",
          "「xs:decimal」・「xs:double」のどちらとしても"}},
        {"a union of codes, through the XML layer",
         [](Checker& c) {
             return c.loaded({c.schemaPath()}, c.file("kind.xml", doc("<kind>Z9</kind>")));
         },
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         {"使える値ではありません：要素「kind」の値「Z9」。定められたコードのいずれかで書いて"
          "ください（型「Kind」）：「A1」、「B2」、「C3」、「X」。"}},
        {"an institution number of the standard set",
         givenLibxml(XML_FROM_SCHEMASV, XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
                     "Element '{https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html}"
                     "id', attribute 'extension': '281330424' is not a valid value of the union "
                     "type '{https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html}"
                     "senderId'."),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         {"機関番号として正しくありません：要素「id」の属性「extension」の値「281330424」。",
          "保険者番号は8桁以内", "型「senderId」"}},
        {"an identifier of the standard set",
         givenLibxml(XML_FROM_SCHEMASV, XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
                     "Element '{urn:hl7-org:v3}id', attribute 'root': '1.2.３92' is not a valid "
                     "value of the union type '{urn:hl7-org:v3}uid'."),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         {"識別子として正しくありません：要素「id」の属性「root」の値「1.2.３92」。全角の数字",
          "例：1.2.392.200119.6.102", "型「uid」"}},
        {"a count of the standard set",
         givenLibxml(XML_FROM_SCHEMASV, XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
                     "Element '{https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html}"
                     "totalSubjectCount', attribute 'value': '4件' is not a valid value of the "
                     "atomic type '{https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103."
                     "html}totalCount'."),
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1,
         {"件数として正しくありません：要素「totalSubjectCount」の属性「value」の値「4件」。",
          "0〜999999の整数"}},
        {"a union not of codes alone, through the XML layer",
         [](Checker& c) {
             return c.loaded({c.schemaPath()},
                             c.file("either.xml", doc("<numberOrCode>Z9</numberOrCode>")));
         },
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         {"使える値ではありません：要素「numberOrCode」の値「Z9」は、型「NumberOrCode」で使える値"
          "ではありません。"}},
        {"a byte-order mark against the declared encoding",
         givenOwn(own(XmlLoadError::byteOrderMarkConflict, OwnFacts::byteOrderMarkConflict,
                      "UTF-16LE", "UTF-8")),
         static_cast<int>(XmlLoadError::byteOrderMarkConflict),
         {"文字コードが矛盾しています：", "バイト順マークは「UTF-16LE」", "文字コードは「UTF-8」"}},
    };
    return table;
}

// The ASCII words of text outside 「」 that are no accepted abbreviation: a
// Japanese reason names things in quotes and says the rest in Japanese.
std::vector<std::string> englishLeftOvers(const std::string& text) {
    static const std::set<std::string> kAccepted = {"XML", "ID", "DTD", "UTF", "URI", "OID"};
    std::vector<std::string> found;
    int depth = 0;
    std::string word;
    const auto endWord = [&] {
        if (word.size() >= 2 && kAccepted.count(word) == 0) {
            found.push_back(word);
        }
        word.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "「") == 0) {
            endWord();
            ++depth;
            i += 2;
        } else if (text.compare(i, 3, "」") == 0) {
            --depth;
            i += 2;
        } else if (depth == 0 && std::isalpha(static_cast<unsigned char>(text[i]))) {
            word += text[i];
        } else {
            endWord();
        }
    }
    endWord();
    return found;
}

// With MORVIK_REASON_DUMP set to a file, each row's reasons are appended to
// it (table, row, Japanese, English; tab-separated, line breaks as \n) for
// scripts/reason-regrade.py to grade.
void dumpForRegrade(const std::string& table, const std::string& row, const std::string& japanese,
                    const std::string& english) {
    const char* path = std::getenv("MORVIK_REASON_DUMP");
    if (path == nullptr) {
        return;
    }
    const auto flat = [](std::string text) {
        std::string out;
        for (const char c : text) {
            out += c == '\n'   ? std::string("\\n")
                   : c == '\t' ? std::string("\\t")
                               : std::string(1, c);
        }
        return out;
    };
    std::ofstream(path, std::ios::app)
        << table << '\t' << flat(row) << '\t' << flat(japanese) << '\t' << flat(english) << '\n';
}

} // namespace

TEST(XmlReason, EachErrorKindInJapanese) {
    // The layer hands over its English facts; the test translates them itself.
    Checker checker;
    ASSERT_TRUE(checker.ready());
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        const std::vector<XmlErrorFacts> errors = row.make(checker);
        ASSERT_FALSE(errors.empty());
        auto it = errors.begin();
        if (row.firstOfCode) {
            it = std::find_if(errors.begin(), errors.end(),
                              [&](const XmlErrorFacts& e) { return e.code == row.code; });
            ASSERT_NE(it, errors.end());
        }
        const XmlErrorFacts& facts = *it;
        EXPECT_EQ(facts.code, row.code) << facts.message;
        const std::string japanese = reasonText(facts, ReasonLanguage::japanese);
        const std::string english = reasonText(facts, ReasonLanguage::english);
        dumpForRegrade("kinds", row.name, japanese, english);
        EXPECT_NE(japanese, english);
        for (const std::string& want : row.want) {
            EXPECT_NE(japanese.find(want), std::string::npos)
                << "want: " << want << "\n ja: " << japanese << "\n en: " << facts.message;
        }
        EXPECT_EQ(englishLeftOvers(japanese), std::vector<std::string>())
            << japanese << "\n en: " << facts.message;
        EXPECT_TRUE(japanese.ends_with("。") || japanese.ends_with("）")) << japanese;
        // libxml2's message, or the words of our own refusal.
        EXPECT_EQ(english, facts.own == OwnFacts::none ? facts.message : english);
        EXPECT_FALSE(english.empty());
    }
}

TEST(XmlReason, EveryJapaneseReasonIsExercised) {
    std::set<int> exercised;
    for (const Row& row : rows()) {
        exercised.insert(row.code);
    }
    for (const int code : japaneseReasonCodes()) {
        EXPECT_EQ(exercised.count(code), 1u) << "no row for code " << code;
    }
    const std::vector<int> codes = japaneseReasonCodes();
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
}

TEST(XmlReason, EnglishWhenNoJapaneseSentenceFits) {
    const auto facts = [](int code, std::string message, std::string str1 = "",
                          std::string str2 = "") {
        XmlErrorFacts f;
        f.code = code;
        f.message = std::move(message);
        f.str1 = std::move(str1);
        f.str2 = std::move(str2);
        return f;
    };
    const XmlErrorFacts cases[] = {
        // No sentence for the code.
        facts(XML_SCHEMAV_INTERNAL, "Internal error: xmlSchemaValidateElem, in skip-state."),
        facts(99999, "Something new."),
        facts(-99, "A refusal of a later version."),
        // A covered code whose message has another shape.
        facts(XML_SCHEMAV_CVC_ENUMERATION_VALID, "Element 'code': a message of another kind.", "Z9",
              "'A1'"),
        facts(XML_SCHEMAV_CVC_ENUMERATION_VALID,
              "Element 'code': [facet 'enumeration'] The value 'Z9' is not an element of the set "
              "{'A1'}.",
              "Z8", "'A1'"),
        facts(XML_SCHEMAV_ELEMENT_CONTENT,
              "Element 'x': This element is not expected. Expected is one of ( not {urn:a}y )."),
        facts(XML_SCHEMAV_ELEMENT_CONTENT, "The element is not expected."),
        facts(XML_ERR_INVALID_CHAR, "A character nobody has seen yet"),
        facts(-3, "DTD is prohibited."),
        facts(-1, "The document 'a.xml' is gone."),
        // The facts a sentence needs are missing.
        facts(XML_ERR_TAG_NAME_MISMATCH, "Opening and ending tag mismatch: a line 2 and b"),
        facts(XML_ERR_TAG_NAME_MISMATCH, "The XML parser stopped with error 76."),
        facts(XML_SCHEMAV_CVC_PATTERN_VALID,
              "Element 'zip': [facet 'pattern'] The value '1' is not accepted by the pattern "
              "'[0-9]'.",
              "1"),
    };
    for (const XmlErrorFacts& f : cases) {
        SCOPED_TRACE(f.message);
        EXPECT_EQ(reasonText(f, ReasonLanguage::japanese), f.message);
        EXPECT_EQ(reasonText(f, ReasonLanguage::english), f.message);
    }
    EXPECT_EQ(reasonText(facts(0, ""), ReasonLanguage::japanese), "");
}

// Realistic mistakes in a real checkup document, against the standard schemas.
TEST(XmlReason, RealCheckupDocument) {
    // The layer hands over its English facts; the test translates them itself.
    const fs::path base = fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024";
    const fs::path archive = base / "5521111111_00280081_202405271_1.zip";
    if (!fs::exists(archive)) {
        GTEST_SKIP() << "real archive not present";
    }
    TempDir dir;
    ASSERT_EQ(
        UnZip(nullptr, "-x -o -q \"" + archive.string() + "\" \"" + dir.folder() + "\"", 0, 0), 0);
    const fs::path top = dir.path() / "5521111111_00280081_202405271_1";
    const std::string original = readFile(top / "DATA/h28133035892024052701_0059_00280081.xml");
    const std::string schema = (top / "XSD/hc08_V08.xsd").string();
    const struct {
        const char* name;
        std::string from, to;
        int code;
        std::string want;
    } cases[] = {
        {"mood code", "moodCode=\"EVN\"", "moodCode=\"EVENT\"", XML_SCHEMAV_CVC_ENUMERATION_VALID,
         "使える値ではありません：要素「observation」の属性「moodCode」の値「EVENT」。使える値："
         "「GOL」、「DEF」、「EVN」、「INT」、「PRMS」、「PRP」、「RQO」。"},
        {"date with hyphens", "<effectiveTime value=\"20240527\" />",
         "<effectiveTime value=\"2024-05-27\" />", XML_SCHEMAV_CVC_PATTERN_VALID,
         "形式が正しくありません：要素「effectiveTime」の属性「value」の値「2024-05-27」。日付は"
         "半角数字8桁（YYYYMMDD、例：20240527）、日時は半角数字14桁（YYYYMMDDhhmmss）で書いて"
         "ください。（パターン：「[0-9]{1,8}|([0-9]{9,14}|[0-9]{14,14}\\.[0-9]+)([+\\-][0-9]{1,4})?"
         "」）"},
        {"decimal comma", "value=\"168.2\"", "value=\"168,2\"",
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         "数値として正しくありません：要素「value」の属性「value」の値「168,2」。カンマ「,」は"
         "使えません。（半角数字と小数点「.」で書きます。例：168.2。型「real」）"},
        {"unknown data type", "xsi:type=\"PQ\"", "xsi:type=\"PQQ\"", XML_SCHEMAV_CVC_ELT_4_2,
         "型がスキーマにありません：要素「value」の「xsi:type」に指定された型「PQQ」（名前空間"
         "「urn:hl7-org:v3」）。"},
        {"misspelt element", "<typeId ", "<typeID ", XML_SCHEMAV_ELEMENT_CONTENT,
         "要素名の書き間違いです：「typeID」は「typeId」の書き間違いではありませんか（大文字と"
         "小文字は区別されます）。"},
        {"misspelt attribute", "<birthTime value=", "<birthTime valu=",
         XML_SCHEMAV_CVC_COMPLEX_TYPE_3_2_1, "書けない属性です：要素「birthTime」の属性「valu」。"},
        {"full-width digits", "value=\"168.2\"", "value=\"１６８.２\"",
         XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         "数値として正しくありません：要素「value」の属性「value」の値「１６８.２」。全角の数字や"
         "記号が含まれています。半角で書いてください。（半角数字と小数点「.」で書きます。"
         "例：168.2。型「real」）"},
        {"empty number", "value=\"168.2\"", "value=\"\"", XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3,
         "数値として正しくありません：要素「value」の属性「value」の値（空）。値が空です。"
         "（半角数字と小数点「.」で書きます。例：168.2。型「real」）"},
        {"date with a line break", "<effectiveTime value=\"20240527\" />",
         "<effectiveTime value=\"20240527&#10;\" />", XML_SCHEMAV_CVC_PATTERN_VALID,
         "形式が正しくありません：要素「effectiveTime」の属性「value」の値「20240527\n」。値に"
         "改行が含まれています。日付は半角数字8桁（YYYYMMDD、例：20240527）、日時は半角数字14桁"
         "（YYYYMMDDhhmmss）で書いてください。（パターン：「[0-9]{1,8}|([0-9]{9,14}|"
         "[0-9]{14,14}\\.[0-9]+)([+\\-][0-9]{1,4})?」）"},
        {"missing element", "<confidentialityCode code=\"N\" />", "", XML_SCHEMAV_ELEMENT_CONTENT,
         "要素が抜けているか順番が違います：ここには「confidentialityCode」が必要ですが"
         "「recordTarget」が書かれています。"},
    };
    Checker checker(schema);
    ASSERT_TRUE(checker.ready());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string content = original;
        const std::size_t at = content.find(c.from);
        ASSERT_NE(at, std::string::npos);
        content.replace(at, c.from.size(), c.to);
        const std::vector<XmlErrorFacts> errors = checker.streamed(content);
        ASSERT_FALSE(errors.empty());
        dumpForRegrade("real", c.name, reasonText(errors.front(), ReasonLanguage::japanese),
                       reasonText(errors.front(), ReasonLanguage::english));
        EXPECT_EQ(errors.front().code, c.code) << errors.front().message;
        EXPECT_EQ(reasonText(errors.front(), ReasonLanguage::japanese), c.want)
            << errors.front().message << "\nGOT " << reasonText(errors.front(), ReasonLanguage::japanese);
    }
    // Code types, through the XML layer, which reads the codes a type allows
    // from the compiled schema.
    const struct {
        const char* name;
        std::string from, to;
        std::string want;
    } codeCases[] = {
        {"participation type", "typeCode=\"HLD\"", "typeCode=\"HOLD\"",
         "使える値ではありません：要素「participant」の属性「typeCode」の値「HOLD」。定められた"
         "コードのいずれかで書いてください（型「ParticipationType」）：「ADM」、「ATND」、"
         "「CALLBCK」、「CON」、「DIS」、「ESC」、「REF」、「IND」、「BEN」、「COV」、「GUAR」、"
         "「HLD」、「RCV」、「RCT」、「TRANS」、「ENT」、「AUT」、「INF」、「WIT」、「IRCP」、"
         "「REFB」、「REFT」、「PRCP」、「TRC」、「NOT」、「PRF」、「DIST」、「PPRF」、「SPRF」、"
         "「DEV」ほか21件。"},
        {"observation class", "<observation classCode=\"OBS\"", "<observation classCode=\"OBX\"",
         "使える値ではありません：要素「observation」の属性「classCode」の値「OBX」。定められた"
         "コードのいずれかで書いてください（型「ActClassObservation」）：「CASE」、「OUTB」、"
         "「COND」、「OBSSER」、「OBSCOR」、「ROIBND」、「ROIOVL」、「OBS」、「CNOD」、「CLNTRL」、"
         "「ALRT」、「DGIMG」、「INVSTG」、「SPCOBS」。"},
    };
    for (const auto& c : codeCases) {
        SCOPED_TRACE(c.name);
        std::string content = original;
        const std::size_t at = content.find(c.from);
        ASSERT_NE(at, std::string::npos);
        content.replace(at, c.from.size(), c.to);
        const std::vector<XmlErrorFacts> errors =
            checker.loaded({schema}, checker.file("code.xml", content));
        ASSERT_EQ(errors.size(), 1u);
        dumpForRegrade("real", c.name, reasonText(errors.front(), ReasonLanguage::japanese),
                       reasonText(errors.front(), ReasonLanguage::english));
        EXPECT_EQ(errors.front().code, XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3)
            << errors.front().message;
        EXPECT_EQ(reasonText(errors.front(), ReasonLanguage::japanese), c.want);
        EXPECT_EQ(reasonText(errors.front(), ReasonLanguage::english), errors.front().message);
    }
    // A claim document against the claim schema: the namespaces differ.
    const fs::path claims = top / "CLAIMS";
    const fs::path claim = fs::directory_iterator(claims)->path();
    const std::vector<XmlErrorFacts> errors =
        checker.loaded({(top / "XSD/cc08_V08.xsd").string()}, claim.string());
    ASSERT_EQ(errors.size(), 1u);
    const std::string japanese = reasonText(errors.front(), ReasonLanguage::japanese);
    dumpForRegrade("real", "claim in another namespace", japanese,
                   reasonText(errors.front(), ReasonLanguage::english));
    EXPECT_EQ(japanese,
              "名前空間が違います：ルート要素「checkupClaim」（名前空間"
              "「http://tokuteikenshin.jp/checkup/2007」）。スキーマの名前空間は"
              "「https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html」です。");
}

// A root no schema declares, in both languages: the namespace the document's
// folder needs (str3, when the run knows it) is named rather than that of a
// schema tried as a fallback; English keeps libxml2's words and changes only
// where it named the fallback's namespace.
TEST(XmlReason, UndeclaredRootNamesTheNamespaceNeeded) {
    const std::string ministry = "https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html";
    const auto root = [&](std::string element, std::string needed) {
        XmlErrorFacts f = own(XmlLoadError::rootNotDeclared, OwnFacts::rootNotDeclared, {}, {},
                              std::move(needed));
        f.element = std::move(element);
        f.values = {ministry};
        return f;
    };
    const struct {
        const char* name;
        XmlErrorFacts facts;
        std::string japanese, english;
    } cases[] = {
        {"DATA document in another namespace", root("{urn:wrong}doc", "urn:hl7-org:v3"),
         "名前空間が違います：ルート要素「doc」（名前空間「urn:wrong」）。このフォルダのファイルは"
         "名前空間「urn:hl7-org:v3」で書きます。",
         "Element '{urn:wrong}doc': No matching global declaration available for the validation "
         "root (documents in this folder need the namespace 'urn:hl7-org:v3')."},
        {"DATA document with an unknown root in its namespace",
         root("{urn:hl7-org:v3}Report", "urn:hl7-org:v3"),
         "ルート要素が違います：「Report」（名前空間「urn:hl7-org:v3」）を宣言しているスキーマが"
         "ありません。",
         "Element '{urn:hl7-org:v3}Report': No matching global declaration available for the "
         "validation root (documents in this folder need the namespace 'urn:hl7-org:v3')."},
        {"CLAIMS document in the legacy namespace",
         root("{http://tokuteikenshin.jp/checkup/2007}checkupClaim", ministry),
         "名前空間が違います：ルート要素「checkupClaim」（名前空間「http://tokuteikenshin.jp/"
         "checkup/2007」）。このフォルダのファイルは名前空間「" +
             ministry + "」で書きます。",
         "Element '{http://tokuteikenshin.jp/checkup/2007}checkupClaim': No matching global "
         "declaration available for the validation root (the schema declares the target "
         "namespace '" +
             ministry + "')."},
        {"index file in another namespace", root("{urn:x}index", ""),
         "名前空間が違います：ルート要素「index」（名前空間「urn:x」）。スキーマの名前空間は「" +
             ministry + "」です。",
         "Element '{urn:x}index': No matching global declaration available for the validation "
         "root (the schema declares the target namespace '" +
             ministry + "')."},
        {"index file with an unknown root", root("{" + ministry + "}indx", ""),
         "ルート要素が違います：「indx」（名前空間「" + ministry +
             "」）を宣言しているスキーマが"
             "ありません。",
         "Element '{" + ministry +
             "}indx': No matching global declaration available for the "
             "validation root (the schema declares the target namespace '" +
             ministry + "')."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reasonText(c.facts, ReasonLanguage::japanese), c.japanese);
        EXPECT_EQ(reasonText(c.facts, ReasonLanguage::english), c.english);
    }
}

// Every pattern of the standard schema set is said in words with an example,
// the raw pattern last for system people.
TEST(XmlReason, StandardPatternsInWords) {
    const fs::path folder = fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024" / "XSD";
    if (!fs::exists(folder)) {
        GTEST_SKIP() << "real schemas not present";
    }
    std::set<std::string> patterns;
    static const std::regex declared("<xs:pattern value=\"([^\"]*)\"");
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.path().extension() != ".xsd") {
            continue;
        }
        const std::string text = readFile(item.path());
        for (auto it = std::sregex_iterator(text.begin(), text.end(), declared);
             it != std::sregex_iterator(); ++it) {
            patterns.insert((*it)[1].str());
        }
    }
    EXPECT_GE(patterns.size(), 15u);
    for (const std::string& pattern : patterns) {
        SCOPED_TRACE(pattern);
        XmlErrorFacts f;
        f.domain = XML_FROM_SCHEMASV;
        f.code = XML_SCHEMAV_CVC_PATTERN_VALID;
        f.str1 = "x";
        f.str2 = pattern;
        f.message =
            "Element 'v': [facet 'pattern'] The value 'x' is not accepted by the pattern '" +
            pattern + "'.";
        const std::string japanese = reasonText(f, ReasonLanguage::japanese);
        EXPECT_TRUE(japanese.starts_with("形式が正しくありません：要素「v」の値「x」。"))
            << japanese;
        EXPECT_TRUE(japanese.find("例：") != std::string::npos ||
                    japanese.find("「true」か「false」") != std::string::npos)
            << japanese;
        EXPECT_TRUE(japanese.ends_with("。（パターン：「" + pattern + "」）")) << japanese;
        EXPECT_EQ(reasonText(f, ReasonLanguage::english), f.message);
    }
}
