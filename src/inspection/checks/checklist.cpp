// The checks of the reception rules, in the order the log lists their
// findings (the order of docs/reception-rules.md). A new check: its file in
// this folder, its line here and in src/CMakeLists.txt.
#include "inspection/archivecheck.h"

namespace morvik::inspection {

namespace checks {
std::unique_ptr<ArchiveCheck> makeArchiveNameCheck();
std::unique_ptr<ArchiveCheck> makeArchiveNameIndexCheck();
std::unique_ptr<ArchiveCheck> makeDocumentKindCheck();
std::unique_ptr<ArchiveCheck> makeLegacyNamespaceCheck();
std::unique_ptr<ArchiveCheck> makeFileNameCheck();
std::unique_ptr<ArchiveCheck> makeFilePairingCheck();
std::unique_ptr<ArchiveCheck> makeFileNameArchiveCheck();
std::unique_ptr<ArchiveCheck> makeRecordCountCheck();
std::unique_ptr<ArchiveCheck> makeInteractionTypeCheck();
std::unique_ptr<ArchiveCheck> makeSubjectCountCheck();
std::unique_ptr<ArchiveCheck> makeSummaryTotalsCheck();
std::unique_ptr<ArchiveCheck> makeSummaryArithmeticCheck();
std::unique_ptr<ArchiveCheck> makeServiceEventTypeCheck();
std::unique_ptr<ArchiveCheck> makeClaimUnitTotalCheck();
std::unique_ptr<ArchiveCheck> makeClaimAmountCheck();
std::unique_ptr<ArchiveCheck> makePairIdentityCheck();
std::unique_ptr<ArchiveCheck> makeInsurerNumberCheck();
std::unique_ptr<ArchiveCheck> makeBodyNumberCheck();
std::unique_ptr<ArchiveCheck> makeCalendarDateCheck();
std::unique_ptr<ArchiveCheck> makeDateOrderCheck();
std::unique_ptr<ArchiveCheck> makeAgeRangeCheck();
std::unique_ptr<ArchiveCheck> makeSchemaSetCheck();
std::unique_ptr<ArchiveCheck> makeSchemaChoiceCheck();
} // namespace checks

std::vector<std::unique_ptr<ArchiveCheck>> receptionChecks() {
    using namespace checks;
    std::vector<std::unique_ptr<ArchiveCheck>> list;
    for (auto make :
         {makeArchiveNameCheck,      makeArchiveNameIndexCheck, makeDocumentKindCheck,
          makeLegacyNamespaceCheck,  makeFileNameCheck,         makeFilePairingCheck,
          makeFileNameArchiveCheck,  makeRecordCountCheck,      makeInteractionTypeCheck,
          makeSubjectCountCheck,     makeSummaryTotalsCheck,    makeSummaryArithmeticCheck,
          makeServiceEventTypeCheck, makeClaimUnitTotalCheck,   makeClaimAmountCheck,
          makePairIdentityCheck,     makeInsurerNumberCheck,    makeBodyNumberCheck,
          makeCalendarDateCheck,     makeDateOrderCheck,        makeAgeRangeCheck,
          makeSchemaSetCheck,        makeSchemaChoiceCheck}) {
        list.push_back(make());
    }
    return list;
}

} // namespace morvik::inspection
