// How far a run has got and what it has found so far, counted from the run's
// observer calls: the documents the stages are about to validate, those
// validated and failing, the reception check's findings by level, the
// folders the run used and why it ended early. Front ends show their
// progress, completion text and summary table from it; it holds no document
// and no text of the log, and no Qt.
#pragma once

#include "inspection/runreport.h"

#include <cstddef>
#include <optional>
#include <string>

namespace morvik::report {

struct RunTally {
    bool counting = false;   // the documents are known and being validated
    std::size_t total = 0;   // documents the stages are about to validate
    std::size_t checked = 0; // documents validated so far
    std::size_t failed = 0;  // of which with a failure entry
    // The reception check (the log's fifth section) has run; its findings
    // by level. Both stay 0 when the check was off or not reached.
    bool receptionChecked = false;
    std::size_t receptionErrors = 0;              // findings of level エラー
    std::size_t receptionCautions = 0;            // findings of level 注意
    std::string extractionFolder;                 // once started: where the documents are
    std::string schemaFolder;                     // once started: the schema folder used
    std::optional<inspection::EarlyEnd> earlyEnd; // why the run ended before validating

    std::size_t ok() const { return checked - failed; }
    bool endedEarly() const { return earlyEnd.has_value(); }

    // The run's observer calls, counted.
    void started(const std::string& extraction, const std::string& schemas, std::size_t documents);
    // True when the document has a failure entry.
    bool documentChecked(const inspection::DocumentReport& report);
    void endedBeforeValidating(const inspection::EarlyEnd& end);
    void receptionFound(const inspection::ReceptionReport& report);
};

} // namespace morvik::report
