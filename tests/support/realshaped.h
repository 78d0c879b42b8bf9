// Archives shaped like the real V08 files, with made-up values: the index and
// summary in the ministry's namespace with attribute values, checkup data as
// ClinicalDocument in urn:hl7-org:v3, checkup claims as checkupClaim, and a
// schema set that accepts any content under the right roots (the checks of
// the whole archive, not the schemas, are what these archives exercise).
// Every value can be changed before the files are written.
#pragma once

#include "support/archives.h"

#include <string>
#include <vector>

namespace morvik::test {

inline constexpr const char* kMinistryNamespace =
    "https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html";

// One person: a DATA document and, when the archive has claims, a claim.
struct ShapedPerson {
    std::string serial = "000001"; // the last six digits of both names
    // Both documents
    std::string insurer = "06130009";
    std::string insured = "7000001";
    std::string symbol = "";
    std::string birth = "19650412";
    std::string sex = "1";
    std::string body = "1310000011"; // creating and performing body
    std::string ticket = "26100000001";
    std::string ticketExpiry = "20270331";
    std::string name = "ヤマダタロウ";
    std::string address = "東京都千代田区霞が関１－２－２";
    // DATA
    std::string category = "10";
    std::string documentDate = "20261201";
    std::string examDate = "20261115";
    std::string dataNamespace = "urn:hl7-org:v3";
    std::string dataRoot = "ClinicalDocument";
    // Claim (omit the other-programme share when empty)
    std::string claimNamespace = kMinistryNamespace;
    std::string claimRoot = "checkupClaim";
    std::string claimInsurer; // empty: as insurer
    std::string claimInsured; // empty: as insured
    std::string claimKind = "1";
    std::string basic = "7000";
    std::vector<std::string> details = {"0"};
    std::vector<std::string> others = {"2900"};
    std::string unitAmount = "9900";
    std::string paymentAmount = "0";
    std::string otherProgram = "";
    std::string claimAmount = "9900";
    // Names (empty: formed from the archive's values)
    std::string dataName;
    std::string claimName;
};

struct ShapedArchive {
    // ZIP name parts
    std::string sender = "1310000003";
    std::string receiver = "06130009";
    std::string date = "20261201";
    std::string counter = "0";
    std::string kind = "1";
    std::string zipBase; // empty: formed from the parts above
    // Index
    std::string interactionType = "6";
    std::string creationTime = "20261201";
    std::string indexSender; // empty: sender
    std::string senderRoot = "1.2.392.200119.6.102";
    std::string indexReceiver; // empty: receiver
    std::string receiverRoot = "1.2.392.200119.6.101";
    std::string indexKind = "1";
    std::string totalRecordCount; // empty: the number of documents
    std::string indexNamespace = kMinistryNamespace;
    // Summary
    std::string summaryKind = "1";
    std::string totalSubjectCount; // empty: the number of persons
    std::string totalCostAmount;   // empty: the sum of unitAmount
    std::string totalPaymentAmount = "0";
    std::string totalPaymentByOtherProgram = "0";
    std::string totalClaimAmount; // empty: the sum of claimAmount
    bool withClaims = true;
    std::vector<ShapedPerson> persons = {ShapedPerson{}, secondPerson()};
    // The name of the lax schema that declares ClinicalDocument (the DATA
    // documents declare hc08_V08.xsd).
    std::string dataSchema = "hc08_V08.xsd";
    // Extra files below the top folder (added after the usual ones).
    ArchiveFiles extra;

    static ShapedPerson secondPerson();
    std::string baseName() const;
    std::string dataName(const ShapedPerson& person) const;
    std::string claimName(const ShapedPerson& person) const;
    ArchiveFiles files() const;
};

std::string shapedIndex(const ShapedArchive& archive);
std::string shapedSummary(const ShapedArchive& archive);
std::string shapedData(const ShapedPerson& person);
std::string shapedClaim(const ShapedPerson& person);

// The lax schema set: XSD/ix08_V08.xsd, su08_V08.xsd, cc08_V08.xsd and
// dataSchema (ClinicalDocument).
ArchiveFiles laxSchemas(const std::string& dataSchema = "hc08_V08.xsd");

} // namespace morvik::test
