// One inspection run driven through recording services.
#pragma once

#include "inspection/inspectionrun.h"
#include "report/reasons.h"
#include "support/testutil.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace morvik::test {

inline constexpr const char* kMainSection = "特定健診標準XML出力ファイル調査";

struct RunHarness {
    MemorySettings settings;
    RecordingMessageBox messages;
    StringLog log;
    RecordingStatusLine status;
    RecordingProgramStart programs;
    // Document path and schema path, in the order the run validated them.
    std::vector<std::pair<std::string, std::string>> chosen;
    inspection::RunObserver* observer = nullptr;
    std::function<bool()> stopRequested;
    platform::XmlParserFactory* parser = nullptr;
    std::size_t validationThreads = 0;
    report::ReasonWordingIn reasons{report::ReasonLanguage::japanese};
    // The checks of the whole archive are off here: these runs are about the
    // four stages, whose logs the tests compare whole (the fifth section has
    // tests of its own, reception_test.cpp).
    bool receptionCheck = false;
    std::uint64_t maxDocumentMemory = 0;
    std::uint32_t maxDocumentTime = 0;
    bool validateWhileExtracting = false;

    inspection::RunOutcome run(const std::string& zipPath, const std::string& schemaText = "") {
        inspection::RunServices services{
            settings,
            messages,
            log,
            status,
            programs,
            [this](const std::string& document, const std::string& schema, const std::string&) {
                chosen.emplace_back(document, schema);
            },
            observer,
            stopRequested,
            parser,
            &reasons};
        inspection::RunInputs inputs;
        inputs.zipPath = zipPath;
        inputs.schemaText = schemaText;
        inputs.appName = "Morvik";
        inputs.section = kMainSection;
        inputs.validationThreads = validationThreads;
        inputs.receptionCheck = receptionCheck;
        inputs.maxDocumentMemory = maxDocumentMemory;
        inputs.maxDocumentTime = maxDocumentTime;
        inputs.validateWhileExtracting = validateWhileExtracting;
        return inspection::runInspection(inputs, services);
    }
    std::string saved(const std::string& key) { return settings.read("Morvik", kMainSection, key); }
};

} // namespace morvik::test
