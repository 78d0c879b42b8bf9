#include "support/archives.h"

#include "support/zipbuilder.h"

namespace morvik::test {

const char* const kIndexSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
           xmlns="https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html"
           targetNamespace="https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html"
           elementFormDefault="qualified">
  <xs:complexType name="Code"><xs:attribute name="code" type="xs:string" use="required"/></xs:complexType>
  <xs:complexType name="Value"><xs:attribute name="value" type="xs:string" use="required"/></xs:complexType>
  <xs:complexType name="Count"><xs:attribute name="value" type="xs:positiveInteger" use="required"/></xs:complexType>
  <xs:complexType name="Party"><xs:sequence><xs:element name="id">
    <xs:complexType>
      <xs:attribute name="root" type="xs:string" use="required"/>
      <xs:attribute name="extension" type="xs:string" use="required"/>
    </xs:complexType>
  </xs:element></xs:sequence></xs:complexType>
  <xs:element name="index">
    <xs:complexType><xs:sequence>
      <xs:element name="interactionType" type="Code"/>
      <xs:element name="creationTime" type="Value"/>
      <xs:element name="sender" type="Party"/>
      <xs:element name="receiver" type="Party"/>
      <xs:element name="serviceEventType" type="Code"/>
      <xs:element name="totalRecordCount" type="Count"/>
    </xs:sequence></xs:complexType>
  </xs:element>
</xs:schema>
)";

const char* const kSummarySchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:complexType name="Code"><xs:attribute name="code" type="xs:string" use="required"/></xs:complexType>
  <xs:complexType name="Count"><xs:attribute name="value" type="xs:nonNegativeInteger" use="required"/></xs:complexType>
  <xs:complexType name="Amount">
    <xs:attribute name="value" type="xs:nonNegativeInteger" use="required"/>
    <xs:attribute name="currency" type="xs:string" use="required"/>
  </xs:complexType>
  <xs:element name="summary">
    <xs:complexType><xs:sequence>
      <xs:element name="serviceEventType" type="Code"/>
      <xs:element name="totalSubjectCount" type="Count"/>
      <xs:element name="totalCostAmount" type="Amount"/>
      <xs:element name="totalPaymentAmount" type="Amount"/>
      <xs:element name="totalPaymentByOtherProgram" type="Amount"/>
      <xs:element name="totalClaimAmount" type="Amount"/>
    </xs:sequence></xs:complexType>
  </xs:element>
  <xs:element name="doc">
    <xs:complexType><xs:sequence>
      <xs:element name="name" type="xs:string"/>
      <xs:element name="value" type="xs:integer"/>
    </xs:sequence></xs:complexType>
  </xs:element>
  <xs:element name="claim">
    <xs:complexType><xs:sequence>
      <xs:element name="amount" type="xs:nonNegativeInteger"/>
    </xs:sequence></xs:complexType>
  </xs:element>
</xs:schema>
)";

std::string indexDocument() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<index xmlns=\"https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html\">\n"
           "  <interactionType code=\"1\" />\n"
           "  <creationTime value=\"20261201\" />\n"
           "  <sender>\n    <id root=\"1.2.392.200119.6.102\" extension=\"1310000001\" />\n"
           "  </sender>\n"
           "  <receiver>\n    <id root=\"1.2.392.200119.6.103\" extension=\"06130001\" />\n"
           "  </receiver>\n"
           "  <serviceEventType code=\"1\" />\n"
           "  <totalRecordCount value=\"3\" />\n"
           "</index>\n";
}

std::string summaryDocument() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<summary xmlns=\"urn:hl7-org:v3\">\n"
           "  <serviceEventType code=\"1\" />\n"
           "  <totalSubjectCount value=\"2\" />\n"
           "  <totalCostAmount value=\"9900\" currency=\"JPY\" />\n"
           "  <totalPaymentAmount value=\"0\" currency=\"JPY\" />\n"
           "  <totalPaymentByOtherProgram value=\"0\" currency=\"JPY\" />\n"
           "  <totalClaimAmount value=\"9900\" currency=\"JPY\" />\n"
           "</summary>\n";
}

std::string dataDocument(const std::string& value) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<doc xmlns=\"urn:hl7-org:v3\">\n"
           "  <name>山田　太郎</name>\n"
           "  <value>" +
           value + "</value>\n</doc>\n";
}

std::string claimDocument() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<claim xmlns=\"urn:hl7-org:v3\">\n  <amount>9900</amount>\n</claim>\n";
}

ArchiveFiles standardFiles() {
    return {
        {"ix08_V08.xml", indexDocument()},
        {"su08_V08.xml", summaryDocument()},
        {"XSD/ix08_V08.xsd", kIndexSchema},
        {"XSD/su08_V08.xsd", kSummarySchema},
    };
}

std::filesystem::path makeArchive(const std::filesystem::path& folder, const std::string& baseName,
                                  const ArchiveFiles& files) {
    std::vector<ZipEntry> entries;
    entries.reserve(files.size() + 1);
    entries.push_back(zipFolder(baseName + "/"));
    for (const auto& [name, content] : files) {
        if (!name.empty() && name.back() == '/') {
            entries.push_back(zipFolder(baseName + "/" + name));
        } else {
            entries.push_back(zipFile(baseName + "/" + name, content));
        }
    }
    const auto zipPath = folder / (baseName + ".zip");
    writeZip(zipPath, entries);
    return zipPath;
}

} // namespace morvik::test
