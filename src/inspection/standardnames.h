// The fixed names of the output file set: the index and summary documents,
// the document folders, the schema sub-folder, the standard schema files,
// and the main window's caption (also the settings section).
#pragma once

#include <array>
#include <string_view>

namespace morvik::inspection {

inline constexpr const char* kMainCaption = "特定健診標準XML出力ファイル調査";

inline constexpr const char* kIndexDocument = "ix08_V08.xml";
inline constexpr const char* kSummaryDocument = "su08_V08.xml";
inline constexpr const char* kDataFolder = "DATA";
inline constexpr const char* kClaimsFolder = "CLAIMS";
inline constexpr const char* kSchemaSubFolder = "XSD";

inline constexpr const char* kIndexSchema = "ix08_V08.xsd";
inline constexpr const char* kSummarySchema = "su08_V08.xsd";
// Health checkup and health guidance data; claims for each.
inline constexpr const char* kCheckupSchema = "hc08_V08.xsd";
inline constexpr const char* kGuidanceSchema = "hg08_V08.xsd";
inline constexpr const char* kCheckupClaimSchema = "cc08_V08.xsd";
inline constexpr const char* kGuidanceClaimSchema = "gc08_V08.xsd";

// The namespace of the index, summary and claim schemas (and of their
// documents); the checkup and guidance schemas declare HL7's "urn:hl7-org:v3".
inline constexpr const char* kMinistryNamespace =
    "https://www.mhlw.go.jp/stf/seisakunitsuite/bunya/0000161103.html";

// The six names by which a folder qualifies as a schema folder, compared
// exactly (hg08_V08.xsd is not one of them).
inline constexpr std::array<std::string_view, 6> kStandardSchemaNames = {
    "cc08_V08.xsd", "co08_V08.xsd", "gc08_V08.xsd", "hc08_V08.xsd", "ix08_V08.xsd", "su08_V08.xsd",
};

} // namespace morvik::inspection
