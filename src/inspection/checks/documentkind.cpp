// document-kind (エラー): a DATA document's root is ClinicalDocument in
// urn:hl7-org:v3; a CLAIMS document's root is a checkup or guidance claim in
// the 2024 namespace. An index or summary file copied into DATA is not a
// checkup document, even where a schema of the folder accepts it. Roots in the
// pre-2024 namespace are legacy-namespace's; a document whose root could not
// be read is its stage's failure.
#include "inspection/checks/checktools.h"

namespace morvik::inspection::checks {

namespace {

class DocumentKindCheck : public ArchiveCheck {
public:
    void document(const DocumentFacts& document, CheckOutput& out) override {
        if ((document.stage != Stage::data && document.stage != Stage::claims) ||
            document.rootName().empty() || document.rootNamespace() == kLegacyNamespace) {
            return;
        }
        const std::string& ns = document.rootNamespace();
        const std::string& name = document.rootName();
        const bool fits = document.stage == Stage::data
                              ? ns == kHl7Namespace && name == "ClinicalDocument"
                              : ns == kMinistryNamespace &&
                                    (name == "checkupClaim" || name == "healthGuidanceClaim");
        if (fits) {
            return;
        }
        const char* expected =
            document.stage == Stage::data
                ? "{urn:hl7-org:v3}ClinicalDocument"
                : "checkupClaim または healthGuidanceClaim（2024年版の名前空間）";
        out.report(
            {"document-kind",
             FindingLevel::error,
             document.stage == Stage::data ? "DATAの文書が健診・保健指導の文書ではない"
                                           : "CLAIMSの文書が請求の文書ではない",
             {document.path},
             {{"ルート要素", (ns.empty() ? "" : "{" + ns + "}") + name}, {"期待", expected}}});
    }
    void finish(const ArchiveFacts&, CheckOutput&) override {}
};

} // namespace

std::unique_ptr<ArchiveCheck> makeDocumentKindCheck() {
    return std::make_unique<DocumentKindCheck>();
}

} // namespace morvik::inspection::checks
