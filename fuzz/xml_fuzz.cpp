// Fuzzes document validation with whole documents, as a run validates a
// DATA document: against a small schema set with IDs, references and
// identity constraints, chosen by the input's first byte (the summary-like
// schema, or one that declares another root). Whatever the bytes:
// - a document is never valid unless a schema declares its root element and
//   the document's root is that element;
// - a failed document always has a message, and a detail that starts with
//   its line and "行　";
// - nothing is read but the document and the schema files (no DTD, entity,
//   schema location or network).
// A broken promise aborts, which libFuzzer reports with the input.
#include "inspection/xmlschemachk.h"
#include "platform/xml/xmlparser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           xmlns:r="urn:hl7-org:v3" targetNamespace="urn:hl7-org:v3"
           elementFormDefault="qualified">
  <xs:simpleType name="Code"><xs:restriction base="xs:token">
    <xs:enumeration value="EVN"/><xs:enumeration value="INT"/>
  </xs:restriction></xs:simpleType>
  <xs:element name="doc">
    <xs:complexType>
      <xs:choice minOccurs="0" maxOccurs="unbounded">
        <xs:element name="item">
          <xs:complexType>
            <xs:attribute name="ID" type="xs:ID"/>
            <xs:attribute name="key" type="xs:string" use="required"/>
            <xs:attribute name="code" type="Code"/>
          </xs:complexType>
        </xs:element>
        <xs:element name="ref">
          <xs:complexType>
            <xs:attribute name="IDREF" type="xs:IDREF"/>
            <xs:attribute name="many" type="xs:IDREFS"/>
            <xs:attribute name="to" type="xs:string"/>
          </xs:complexType>
        </xs:element>
        <xs:element name="n" type="xs:integer"/>
        <xs:element name="text" type="xs:string" nillable="true"/>
      </xs:choice>
    </xs:complexType>
    <xs:key name="itemKey"><xs:selector xpath="r:item"/><xs:field xpath="@key"/></xs:key>
    <xs:keyref name="refTo" refer="r:itemKey">
      <xs:selector xpath="r:ref"/><xs:field xpath="@to"/>
    </xs:keyref>
  </xs:element>
</xs:schema>
)";

constexpr const char* kOtherSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:other"
           elementFormDefault="qualified">
  <xs:element name="claim" type="xs:string"/>
</xs:schema>
)";

struct Workspace {
    fs::path root;
    std::string folder; // with its closing separator
};

void fail(const std::string& what) {
    std::fprintf(stderr, "xml_fuzz: %s\n", what.c_str());
    std::abort();
}

void writeFile(const fs::path& path, const char* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    if (!out.flush()) {
        fail("cannot write " + path.string());
    }
}

const Workspace& workspace() {
    static const Workspace made = [] {
        Workspace w;
        char name[] = "/tmp/xml_fuzz.XXXXXX";
        if (::mkdtemp(name) == nullptr) {
            fail("no scratch folder");
        }
        w.root = name;
        w.folder = w.root.string() + "/";
        writeFile(w.root / "su08_V08.xsd", kSchema, std::char_traits<char>::length(kSchema));
        writeFile(w.root / "other.xsd", kOtherSchema, std::char_traits<char>::length(kOtherSchema));
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(workspace().root, ignored);
        });
        return w;
    }();
    return made;
}

struct Quiet : morvik::inspection::StatusLine {
    void MsgDisp(const std::string&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const Workspace& w = workspace();
    const bool other = (data[0] & 1) != 0;
    const char* schemaName = other ? "other.xsd" : "su08_V08.xsd";
    writeFile(w.root / "d.xml", reinterpret_cast<const char*>(data + 1), size - 1);

    std::string message;
    std::string detail;
    Quiet status;
    const int result = morvik::inspection::XmlSchemaChk(w.folder, "d.xml", w.folder, schemaName,
                                                        message, detail, status);
    if (message.empty()) {
        fail("no message");
    }
    if (result == 0) {
        const auto root = morvik::platform::readRootElement(w.folder + "d.xml");
        if (!root) {
            fail("valid, but its root element cannot be read");
        }
        const bool declared =
            other ? root->namespaceUri == "urn:other" && root->localName == "claim"
                  : root->namespaceUri == "urn:hl7-org:v3" && root->localName == "doc";
        if (!declared) {
            fail("valid without a schema that declares its root {" + root->namespaceUri + "}" +
                 root->localName);
        }
        return 0;
    }
    // The parser was there: a failure has a detail that starts with a line.
    const std::size_t mark = detail.find("行　");
    if (mark == std::string::npos || mark == 0 || detail.find_first_not_of("0123456789") != mark) {
        fail("a failure without its line: [" + detail + "]");
    }
    return 0;
}
