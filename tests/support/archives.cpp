#include "support/archives.h"

#include "support/zipbuilder.h"

namespace morvik::test {

const char* const kIndexSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:element name="index">
    <xs:complexType><xs:sequence>
      <xs:element name="count" type="xs:positiveInteger"/>
    </xs:sequence></xs:complexType>
  </xs:element>
</xs:schema>
)";

const char* const kSummarySchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:element name="summary">
    <xs:complexType><xs:sequence>
      <xs:element name="total" type="xs:nonNegativeInteger"/>
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
           "<index xmlns=\"urn:hl7-org:v3\">\n  <count>3</count>\n</index>\n";
}

std::string summaryDocument() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<summary xmlns=\"urn:hl7-org:v3\">\n  <total>2</total>\n</summary>\n";
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
