// The run's tally, counted from its observer calls.
#include "report/runtally.h"

namespace morvik::report {

void RunTally::started(const std::string& extraction, const std::string& schemas,
                       std::size_t documents) {
    counting = true;
    total = documents;
    extractionFolder = extraction;
    schemaFolder = schemas;
}

bool RunTally::documentChecked(const inspection::DocumentReport& report) {
    ++checked;
    const bool failing = report.status != 0;
    failed += failing ? 1 : 0;
    return failing;
}

void RunTally::endedBeforeValidating(const inspection::EarlyEnd& end) {
    earlyEnd = end;
}

void RunTally::receptionFound(const inspection::ReceptionReport& report) {
    receptionChecked = true;
    receptionErrors = report.errors();
    receptionCautions = report.cautions();
}

} // namespace morvik::report
