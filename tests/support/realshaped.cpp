#include "support/realshaped.h"

#include <cstdint>

namespace morvik::test {

namespace {

std::string either(const std::string& value, const std::string& fallback) {
    return value.empty() ? fallback : value;
}

std::int64_t number(const std::string& text) {
    return text.empty() ? 0 : std::stoll(text);
}

// A schema of namespace ns declaring each root with any content.
std::string laxSchema(const std::string& ns, const std::vector<std::string>& roots) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"" +
        ns + "\" elementFormDefault=\"qualified\">\n";
    for (const std::string& root : roots) {
        text += "  <xs:element name=\"" + root +
                "\">\n    <xs:complexType>\n      <xs:sequence>\n"
                "        <xs:any processContents=\"skip\" minOccurs=\"0\" "
                "maxOccurs=\"unbounded\" namespace=\"##any\"/>\n"
                "      </xs:sequence>\n      <xs:anyAttribute processContents=\"skip\"/>\n"
                "    </xs:complexType>\n  </xs:element>\n";
    }
    return text + "</xs:schema>\n";
}

} // namespace

ShapedPerson ShapedArchive::secondPerson() {
    ShapedPerson person;
    person.serial = "000002";
    person.insured = "7000002";
    person.birth = "19580730";
    person.sex = "2";
    person.ticket = "26100000002";
    person.name = "サトウハナコ";
    person.address = "大阪府大阪市北区梅田１－１";
    person.examDate = "20261120";
    return person;
}

std::string ShapedArchive::baseName() const {
    return either(zipBase, sender + "_" + receiver + "_" + date + counter + "_" + kind);
}

std::string ShapedArchive::dataName(const ShapedPerson& person) const {
    return either(person.dataName,
                  "h" + person.body + date + counter + kind + person.serial + ".xml");
}

std::string ShapedArchive::claimName(const ShapedPerson& person) const {
    return either(person.claimName,
                  "c" + person.body + date + counter + kind + person.serial + ".xml");
}

std::string shapedIndex(const ShapedArchive& a) {
    const std::size_t documents = a.persons.size() * (a.withClaims ? 2 : 1);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<index xmlns=\"" +
           a.indexNamespace +
           "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"" +
           a.indexNamespace +
           " ./XSD/ix08_V08.xsd\">\n"
           "  <interactionType code=\"" +
           a.interactionType + "\" />\n  <creationTime value=\"" + a.creationTime +
           "\" />\n  <sender>\n    <id root=\"" + a.senderRoot + "\" extension=\"" +
           either(a.indexSender, a.sender) + "\" />\n  </sender>\n  <receiver>\n    <id root=\"" +
           a.receiverRoot + "\" extension=\"" + either(a.indexReceiver, a.receiver) +
           "\" />\n  </receiver>\n  <serviceEventType code=\"" + a.indexKind +
           "\" />\n  <totalRecordCount value=\"" +
           either(a.totalRecordCount, std::to_string(documents)) + "\" />\n</index>\n";
}

std::string shapedSummary(const ShapedArchive& a) {
    std::int64_t cost = 0;
    std::int64_t claim = 0;
    for (const ShapedPerson& person : a.persons) {
        cost += number(person.unitAmount);
        claim += number(person.claimAmount);
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<summary xmlns=\"" +
           std::string(kMinistryNamespace) +
           "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"" +
           kMinistryNamespace +
           " ./XSD/su08_V08.xsd\">\n"
           "<serviceEventType code=\"" +
           a.summaryKind + "\" />\n<totalSubjectCount value=\"" +
           either(a.totalSubjectCount, std::to_string(a.persons.size())) +
           "\" />\n<totalCostAmount value=\"" + either(a.totalCostAmount, std::to_string(cost)) +
           "\" currency=\"JPY\" />\n<totalPaymentAmount value=\"" + a.totalPaymentAmount +
           "\" currency=\"JPY\" />\n<totalPaymentByOtherProgram value=\"" +
           a.totalPaymentByOtherProgram + "\" currency=\"JPY\" />\n<totalClaimAmount value=\"" +
           either(a.totalClaimAmount, std::to_string(claim)) +
           "\" currency=\"JPY\" />\n</summary>\n";
}

std::string shapedData(const ShapedPerson& p) {
    std::string symbol;
    if (!p.symbol.empty()) {
        symbol = "      <id extension=\"" + p.symbol + "\" root=\"1.2.392.200119.6.204\" />\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<" +
           p.dataRoot + " xmlns=\"" + p.dataNamespace +
           "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"urn:hl7-org:v3 ../XSD/hc08_V08.xsd\">\n"
           "  <typeId root=\"2.16.840.1.113883.1.3\" extension=\"POCD_HD000040\" />\n"
           "  <id nullFlavor=\"NI\" />\n"
           "  <code code=\"" +
           p.category +
           "\" codeSystem=\"1.2.392.200119.6.1001\" />\n"
           "  <effectiveTime value=\"" +
           p.documentDate +
           "\" />\n"
           "  <confidentialityCode code=\"N\" />\n"
           "  <recordTarget>\n    <patientRole>\n"
           "      <id extension=\"" +
           p.insurer + "\" root=\"1.2.392.200119.6.101\" />\n" + symbol + "      <id extension=\"" +
           p.insured +
           "\" root=\"1.2.392.200119.6.205\" />\n"
           "      <addr>\n        <postalCode>100-8916</postalCode>" +
           p.address +
           "</addr>\n"
           "      <patient>\n        <name>" +
           p.name +
           "</name>\n"
           "        <administrativeGenderCode code=\"" +
           p.sex +
           "\" codeSystem=\"1.2.392.200119.6.1104\" />\n"
           "        <birthTime value=\"" +
           p.birth +
           "\" />\n      </patient>\n    </patientRole>\n  </recordTarget>\n"
           "  <author>\n    <time value=\"" +
           p.documentDate +
           "\" />\n    <assignedAuthor>\n      <id nullFlavor=\"NI\" />\n"
           "      <representedOrganization>\n        <id extension=\"" +
           p.body +
           "\" root=\"1.2.392.200119.6.102\" />\n        <name>架空健診クリニック</name>\n"
           "      </representedOrganization>\n    </assignedAuthor>\n  </author>\n"
           "  <participant typeCode=\"HLD\">\n"
           "    <functionCode code=\"1\" codeSystem=\"1.2.392.200119.6.208\" />\n"
           "    <time>\n      <high value=\"" +
           p.ticketExpiry +
           "\" />\n    </time>\n    <associatedEntity classCode=\"IDENT\">\n"
           "      <id extension=\"" +
           p.ticket +
           "\" root=\"1.2.392.200119.6.209.106130009\" />\n"
           "      <scopingOrganization>\n        <id extension=\"" +
           p.insurer +
           "\" root=\"1.2.392.200119.6.101\" />\n      </scopingOrganization>\n"
           "    </associatedEntity>\n  </participant>\n"
           "  <documentationOf>\n    <serviceEvent>\n"
           "      <code code=\"010\" codeSystem=\"1.2.392.200119.6.1002\" />\n"
           "      <effectiveTime value=\"" +
           p.examDate +
           "\" />\n      <performer typeCode=\"PRF\">\n        <assignedEntity>\n"
           "          <id nullFlavor=\"NI\" />\n          <representedOrganization>\n"
           "            <id extension=\"" +
           p.body +
           "\" root=\"1.2.392.200119.6.102\" />\n"
           "            <name>架空健診クリニック</name>\n"
           "          </representedOrganization>\n        </assignedEntity>\n"
           "      </performer>\n    </serviceEvent>\n  </documentationOf>\n"
           "  <component>\n    <structuredBody>\n      <component>\n        <section>\n"
           "          <code code=\"01010\" codeSystem=\"1.2.392.200119.6.1010\" />\n"
           "          <text />\n          <entry>\n"
           "            <observation classCode=\"OBS\" moodCode=\"EVN\">\n"
           "              <code code=\"9N001000000000001\" />\n"
           "              <value xsi:type=\"PQ\" value=\"170.1\" unit=\"cm\" />\n"
           "            </observation>\n          </entry>\n        </section>\n"
           "      </component>\n    </structuredBody>\n  </component>\n</" +
           p.dataRoot + ">\n";
}

std::string shapedClaim(const ShapedPerson& p) {
    std::string symbol;
    if (!p.symbol.empty()) {
        symbol = "      <symbol extension=\"" + p.symbol + "\" />\n";
    }
    std::string details;
    for (const std::string& amount : p.details) {
        details += "    <unitPriceDetail>\n      <amount value=\"" + amount +
                   "\" currency=\"JPY\" />\n      <observation code=\"4\" />\n"
                   "    </unitPriceDetail>\n";
    }
    std::string others;
    for (const std::string& amount : p.others) {
        others += "    <unitPriceOther>\n      <amount value=\"" + amount +
                  "\" currency=\"JPY\" />\n      <observation code=\"9A110160700000011\" "
                  "codeSystem=\"1.2.392.200119.6.1005\" />\n    </unitPriceOther>\n";
    }
    std::string otherProgram;
    if (!p.otherProgram.empty()) {
        otherProgram =
            "    <paymentByOtherProgram value=\"" + p.otherProgram + "\" currency=\"JPY\" />\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<" +
           p.claimRoot + " xmlns=\"" + p.claimNamespace +
           "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"" +
           p.claimNamespace +
           " ../XSD/cc08_V08.xsd\">\n"
           "  <encounter>\n    <serviceEventType code=\"" +
           p.claimKind +
           "\" />\n  </encounter>\n"
           "  <subjectPerson>\n    <performerOrganization>\n"
           "      <id root=\"1.2.392.200119.6.102\" extension=\"" +
           p.body +
           "\" />\n    </performerOrganization>\n    <insuranceCard>\n"
           "      <insurerNumber root=\"1.2.392.200119.6.101\" extension=\"" +
           either(p.claimInsurer, p.insurer) + "\" />\n" + symbol +
           "      <number root=\"1.2.392.200119.6.205\" extension=\"" +
           either(p.claimInsured, p.insured) +
           "\" />\n    </insuranceCard>\n"
           "    <name>" +
           p.name + "</name>\n    <addr>\n      <postalCode>100-8916</postalCode>" + p.address +
           "</addr>\n    <birthTime value=\"" + p.birth +
           "\" />\n    <administrativeGender code=\"" + p.sex +
           "\" />\n  </subjectPerson>\n"
           "  <checkupCard>\n    <id root=\"1.2.392.200119.6.209\" extension=\"" +
           p.ticket + "\" />\n    <effectiveTime>\n      <high value=\"" + p.ticketExpiry +
           "\" />\n    </effectiveTime>\n    <chargeTypeBasic code=\"1\">\n    </chargeTypeBasic>\n"
           "  </checkupCard>\n  <settlement>\n    <claimType code=\"1\" />\n"
           "    <commissionType code=\"1\" />\n"
           "    <unitPriceBasic>\n      <amount value=\"" +
           p.basic + "\" currency=\"JPY\" />\n    </unitPriceBasic>\n" + details + others +
           "    <paymentForBasic>\n      <amount value=\"000000\" currency=\"JPY\" />\n"
           "    </paymentForBasic>\n"
           "    <unitAmount value=\"" +
           p.unitAmount + "\" currency=\"JPY\" />\n    <paymentAmount value=\"" + p.paymentAmount +
           "\" currency=\"JPY\" />\n" + otherProgram + "    <claimAmount value=\"" + p.claimAmount +
           "\" currency=\"JPY\" />\n  </settlement>\n</" + p.claimRoot + ">\n";
}

ArchiveFiles laxSchemas(const std::string& dataSchema) {
    return {
        {"XSD/ix08_V08.xsd", laxSchema(kMinistryNamespace, {"index"})},
        {"XSD/su08_V08.xsd", laxSchema(kMinistryNamespace, {"summary"})},
        {"XSD/cc08_V08.xsd", laxSchema(kMinistryNamespace, {"checkupClaim"})},
        {"XSD/" + dataSchema, laxSchema("urn:hl7-org:v3", {"ClinicalDocument"})},
    };
}

ArchiveFiles ShapedArchive::files() const {
    ArchiveFiles result = {{"ix08_V08.xml", shapedIndex(*this)},
                           {"su08_V08.xml", shapedSummary(*this)}};
    for (const auto& schema : laxSchemas(dataSchema)) {
        result.push_back(schema);
    }
    result.push_back({"DATA/", ""});
    for (const ShapedPerson& person : persons) {
        result.push_back({"DATA/" + dataName(person), shapedData(person)});
    }
    if (withClaims) {
        result.push_back({"CLAIMS/", ""});
        for (const ShapedPerson& person : persons) {
            result.push_back({"CLAIMS/" + claimName(person), shapedClaim(person)});
        }
    }
    for (const auto& file : extra) {
        result.push_back(file);
    }
    return result;
}

} // namespace morvik::test
