#include "support/hostilexml.h"

namespace morvik::test {

namespace {

constexpr const char* kSchemaStart =
    "<?xml version=\"1.0\"?>\n<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns=\"urn:hl7-org:v3\" targetNamespace=\"urn:hl7-org:v3\" "
    "elementFormDefault=\"qualified\">\n";
constexpr const char* kSchemaEnd = "</xs:schema>\n";
constexpr const char* kDocStart = "<?xml version=\"1.0\"?>\n<doc xmlns=\"urn:hl7-org:v3\"";

std::string n(std::size_t i) {
    return std::to_string(i);
}

} // namespace

std::string hostileDocumentSchema() {
    return std::string(kSchemaStart) + R"(
  <xs:complexType name="Content" mixed="true">
    <xs:choice minOccurs="0" maxOccurs="unbounded">
      <xs:element name="br"/>
      <xs:element name="content" type="Content"/>
    </xs:choice>
  </xs:complexType>
  <xs:element name="doc">
    <xs:complexType>
      <xs:choice minOccurs="0" maxOccurs="unbounded">
        <xs:element name="content" type="Content"/>
        <xs:element name="e"><xs:complexType>
          <xs:attribute name="id" type="xs:ID"/></xs:complexType></xs:element>
      </xs:choice>
      <xs:anyAttribute processContents="skip"/>
    </xs:complexType>
  </xs:element>
)" + kSchemaEnd;
}

std::string hostileSmallDocument() {
    return std::string(kDocStart) + "><content>a<br/>b</content><e id=\"x1\"/></doc>\n";
}

std::string longChildLists(std::size_t levels, std::size_t children) {
    std::string text = std::string(kDocStart) + ">\n";
    text.reserve(text.size() + levels * (children * 5 + 40));
    for (std::size_t level = 0; level < levels; ++level) {
        text += "<content>";
        for (std::size_t i = 0; i < children; ++i) {
            text += "<br/>";
        }
        text += "\n";
    }
    for (std::size_t level = 0; level < levels; ++level) {
        text += "</content>";
    }
    return text + "</doc>\n";
}

std::string attributeList(std::size_t count) {
    std::string text;
    text.reserve(count * 12);
    for (std::size_t i = 0; i < count; ++i) {
        text += " a" + n(i) + "=\"\"";
    }
    return text;
}

std::string manyAttributes(std::size_t count) {
    return kDocStart + attributeList(count) + "/>\n";
}

std::string manyIds(std::size_t count) {
    std::string text = std::string(kDocStart) + ">\n";
    text.reserve(count * 20 + 100);
    for (std::size_t i = 0; i < count; ++i) {
        text += "<e id=\"i" + n(i) + "\"/>\n";
    }
    return text + "</doc>\n";
}

std::string substitutionChain(std::size_t length) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:element name=\"s0\"/>\n";
    for (std::size_t i = 1; i < length; ++i) {
        text += "<xs:element name=\"s" + n(i) + "\" substitutionGroup=\"s" + n(i - 1) + "\"/>\n";
    }
    return text + kSchemaEnd;
}

std::string groupChain(std::size_t length) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:group name=\"g0\"><xs:sequence>"
                                                   "<xs:element name=\"x\"/></xs:sequence>"
                                                   "</xs:group>\n";
    for (std::size_t i = 1; i < length; ++i) {
        text += "<xs:group name=\"g" + n(i) + "\"><xs:sequence><xs:group ref=\"g" + n(i - 1) +
                "\"/></xs:sequence></xs:group>\n";
    }
    return text + kSchemaEnd;
}

std::string attributeGroupChain(std::size_t length) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:attributeGroup name=\"a0\">"
                                                   "<xs:attribute name=\"x\"/>"
                                                   "</xs:attributeGroup>\n";
    for (std::size_t i = 1; i < length; ++i) {
        text += "<xs:attributeGroup name=\"a" + n(i) + "\"><xs:attributeGroup ref=\"a" +
                n(i - 1) + "\"/></xs:attributeGroup>\n";
    }
    return text + kSchemaEnd;
}

std::string derivationChain(std::size_t length) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:complexType name=\"t0\"><xs:sequence>"
                                                   "<xs:element name=\"x\" minOccurs=\"0\"/>"
                                                   "</xs:sequence></xs:complexType>\n";
    for (std::size_t i = 1; i < length; ++i) {
        text += "<xs:complexType name=\"t" + n(i) +
                "\"><xs:complexContent><xs:extension base=\"t" + n(i - 1) +
                "\"/></xs:complexContent></xs:complexType>\n";
    }
    return text + kSchemaEnd;
}

std::string restrictionChain(std::size_t length) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:simpleType name=\"r0\"><xs:restriction "
                                                   "base=\"xs:string\"/></xs:simpleType>\n";
    for (std::size_t i = 1; i < length; ++i) {
        text += "<xs:simpleType name=\"r" + n(i) + "\"><xs:restriction base=\"r" + n(i - 1) +
                "\"/></xs:simpleType>\n";
    }
    return text + kSchemaEnd;
}

std::string attributeGroupDiamond(std::size_t steps) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:attributeGroup name=\"a0\">"
                                                   "<xs:attribute name=\"x\"/>"
                                                   "</xs:attributeGroup>\n";
    for (std::size_t i = 1; i < steps; ++i) {
        const std::string before = "<xs:attributeGroup ref=\"a" + n(i - 1) + "\"/>";
        text += "<xs:attributeGroup name=\"a" + n(i) + "\">" + before + before +
                "</xs:attributeGroup>\n";
    }
    return text + kSchemaEnd;
}

std::string unionDiamond(std::size_t steps) {
    std::string text = std::string(kSchemaStart) + "<xs:element name=\"doc\"/>\n"
                                                   "<xs:simpleType name=\"u0\"><xs:restriction "
                                                   "base=\"xs:string\"/></xs:simpleType>\n";
    for (std::size_t i = 1; i < steps; ++i) {
        text += "<xs:simpleType name=\"u" + n(i) + "\"><xs:union memberTypes=\"u" + n(i - 1) +
                " u" + n(i - 1) + "\"/></xs:simpleType>\n";
    }
    return text + kSchemaEnd;
}

} // namespace morvik::test
