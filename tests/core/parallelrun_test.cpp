// Runs that validate on several threads tell exactly what a run on one
// thread tells: the same log byte for byte, the same progress texts, the
// same observer events, in the same order, whatever fails where.
#include "inspection/inspectionrun.h"
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/xmlfaults.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace morvik::inspection;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

// Counts the files opened in the document folders from the end of the
// extraction on: a document validated from the bytes the extraction
// inflated is never read back.
class ReadBackWatch {
public:
    ReadBackWatch() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~ReadBackWatch() { ::close(m_fd); }
    ReadBackWatch(const ReadBackWatch&) = delete;
    ReadBackWatch& operator=(const ReadBackWatch&) = delete;

    void watch(const fs::path& folder) {
        if (fs::is_directory(folder)) {
            ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN);
        }
    }
    std::size_t filesOpened() {
        std::size_t opened = 0;
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opened += event->len > 0 && (event->mask & IN_ISDIR) == 0 ? 1 : 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opened;
    }

private:
    int m_fd;
};

struct EventLog : RunObserver {
    std::vector<std::string> events;
    ReadBackWatch readBack;
    void extracted(const ExtractionFacts& facts) override {
        for (const char* folder : {"DATA", "CLAIMS"}) {
            readBack.watch(fs::path(facts.place.folder()) / folder);
        }
    }
    void endedEarly(const EarlyEnd& end) override {
        events.push_back("ended early " + std::to_string(static_cast<int>(end.kind)) + " " +
                         end.extraction.unzip.entry);
    }
    void started(const std::string& extraction, const std::string& schema,
                 std::size_t documents) override {
        events.push_back("started " + extraction + " " + schema + " " + std::to_string(documents));
    }
    void documentChecked(const DocumentReport& report) override {
        events.push_back(report.documentFolder + report.documentName + " " + report.schemaPath +
                         " " + std::to_string(report.status) + " " + report.message + " " +
                         report.detail);
    }
};

struct Seen {
    RunOutcome outcome;
    std::size_t filesReadBack = 0;
    std::string log;
    std::vector<std::string> status;
    std::vector<std::string> events;
    std::vector<std::pair<std::string, std::string>> chosen;
};

Seen runWith(const fs::path& zip, std::size_t threads,
             morvik::platform::XmlParserFactory* parser = nullptr,
             morvik::report::ReasonLanguage language = morvik::report::ReasonLanguage::japanese,
             bool whileExtracting = true) {
    fs::remove_all(zip.parent_path() / zip.stem());
    RunHarness h;
    h.reasons = morvik::report::ReasonWordingIn(language);
    EventLog observer;
    h.observer = &observer;
    h.parser = parser;
    h.validationThreads = threads;
    h.validateWhileExtracting = whileExtracting;
    Seen seen;
    seen.outcome = h.run(zip.string());
    seen.filesReadBack = observer.readBack.filesOpened();
    seen.log = h.log.text;
    seen.status = h.status.texts;
    seen.events = observer.events;
    seen.chosen = h.chosen;
    return seen;
}

void expectSame(const Seen& one, const Seen& many, const std::string& what) {
    EXPECT_EQ(one.outcome, many.outcome) << what;
    EXPECT_EQ(one.log, many.log) << what;
    EXPECT_EQ(one.status, many.status) << what;
    EXPECT_EQ(one.events, many.events) << what;
    EXPECT_EQ(one.chosen, many.chosen) << what;
}

} // namespace

TEST(ParallelRun, SameAsOneThreadWhateverFailsWhere) {
    const auto documents = [](std::size_t count, const std::vector<std::size_t>& bad) {
        ArchiveFiles files;
        for (std::size_t i = 0; i < count; ++i) {
            const bool fails = std::find(bad.begin(), bad.end(), i) != bad.end();
            char name[32];
            std::snprintf(name, sizeof name, "DATA/d%04zu.xml", i);
            files.push_back({name, dataDocument(fails ? "x" + std::to_string(i) : "1")});
        }
        return files;
    };
    struct Case {
        const char* what;
        ArchiveFiles files;
        std::vector<std::string> drop;
    };
    std::vector<Case> cases = {
        {"failures first, last and between", documents(300, {0, 7, 150, 151, 299}), {}},
        {"every document fails",
         documents(120,
                   [] {
                       std::vector<std::size_t> all;
                       for (std::size_t i = 0; i < 120; ++i) {
                           all.push_back(i);
                       }
                       return all;
                   }()),
         {}},
        {"no summary schema", documents(40, {3}), {"XSD/su08_V08.xsd"}},
        {"no index file", documents(40, {}), {"ix08_V08.xml"}},
    };
    cases[0].files.push_back({"DATA/empty.xml", ""});
    cases[0].files.push_back({"DATA/folder.xml/", ""});
    cases[0].files.push_back({"DATA/broken.xml", "<doc xmlns=\"urn:hl7-org:v3\"><name>"});
    cases[0].files.push_back(
        {"DATA/undecodable.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc xmlns=\"urn:hl7-org:v3\">\xff\xfe</doc>"});
    cases[0].files.push_back({"CLAIMS/c1.xml", claimDocument()});
    cases[0].files.push_back({"CLAIMS/c2.xml", dataDocument()});
    for (Case& c : cases) {
        ArchiveFiles files = standardFiles();
        files.insert(files.end(), c.files.begin(), c.files.end());
        std::erase_if(files, [&](const auto& file) {
            return std::find(c.drop.begin(), c.drop.end(), file.first) != c.drop.end();
        });
        // Schemas stored first, and last (as real archives store them): the
        // extraction then puts them in place before the documents it has
        // passed over.
        for (const bool schemasLast : {false, true}) {
            if (schemasLast) {
                std::stable_partition(files.begin(), files.end(), [](const auto& file) {
                    return !file.first.starts_with("XSD/");
                });
            }
            TempDir dir;
            const fs::path zip = makeArchive(dir.path(), "arc", files);
            const std::string what = c.what + std::string(schemasLast ? ", schemas last" : "");
            // Every file read back after the extraction, on one thread.
            const Seen one = runWith(zip, 1, nullptr, morvik::report::ReasonLanguage::japanese,
                                     false);
            EXPECT_EQ(one.outcome, RunOutcome::someFailed) << what;
            EXPECT_GT(one.filesReadBack, 0u) << what;
            for (std::size_t threads : {1u, 2u, 4u}) {
                for (const bool whileExtracting : {false, true}) {
                    const Seen many = runWith(zip, threads, nullptr,
                                              morvik::report::ReasonLanguage::japanese,
                                              whileExtracting);
                    const std::string variant = what + " on " + std::to_string(threads) +
                                                " threads" +
                                                (whileExtracting ? ", while extracting" : "");
                    expectSame(one, many, variant);
                    if (whileExtracting) {
                        EXPECT_EQ(many.filesReadBack, 0u) << variant;
                    }
                }
            }
        }
    }
}

// An extraction that fails after documents were validated from what it
// inflated shows none of them: the failure is told as a run that read
// nothing back tells it, and nothing is left in the destination.
TEST(ParallelRun, LateExtractionFailureShowsNoValidation) {
    std::vector<RawZipEntry> entries;
    for (const auto& [name, content] : standardFiles()) {
        if (!name.starts_with("XSD/")) {
            entries.push_back(rawFile("arc/" + name, content));
        }
    }
    for (int i = 0; i < 40; ++i) {
        entries.push_back(rawFile("arc/DATA/d" + std::to_string(i) + ".xml",
                                  dataDocument(i % 9 == 0 ? "x" : "1")));
    }
    for (const auto& [name, content] : standardFiles()) {
        if (name.starts_with("XSD/")) {
            entries.push_back(rawFile("arc/" + name, content));
        }
    }
    struct Case {
        const char* what;
        std::size_t damaged; // the entry whose CRC is wrong
    };
    const std::size_t documents = entries.size() - 2;
    for (const Case& c : {Case{"last document", documents - 1}, Case{"last schema", entries.size() - 1},
                          Case{"first document", entries.size() - 42}}) {
        std::vector<RawZipEntry> damaged = entries;
        damaged[c.damaged].crc ^= 1;
        TempDir dir;
        const fs::path zip = dir.path() / "arc.zip";
        writeFile(zip, rawZip(damaged));
        const Seen one =
            runWith(zip, 1, nullptr, morvik::report::ReasonLanguage::japanese, false);
        EXPECT_EQ(one.outcome, RunOutcome::endedEarly) << c.what;
        ASSERT_EQ(one.events.size(), 1u) << c.what;
        for (std::size_t threads : {1u, 4u}) {
            const Seen many =
                runWith(zip, threads, nullptr, morvik::report::ReasonLanguage::japanese, true);
            expectSame(one, many, c.what + std::string(" on ") + std::to_string(threads));
            EXPECT_FALSE(fs::exists(dir.path() / "arc")) << c.what;
        }
    }
}

// When no parser object can be made on a validation thread, each document
// reports what it reports on one thread.
TEST(ParallelRun, ParserFailuresReportAsOnOneThread) {
    TempDir dir;
    ArchiveFiles files = standardFiles();
    for (int i = 0; i < 30; ++i) {
        files.push_back({"DATA/d" + std::to_string(i) + ".xml", dataDocument()});
    }
    const fs::path zip = makeArchive(dir.path(), "arc", files);
    FaultyXmlParserFactory brokenOnce(morvik::platform::defaultXmlParserFactory());
    brokenOnce.failEverything();
    const Seen one = runWith(zip, 1, &brokenOnce);
    EXPECT_NE(one.log.find("Microsoft XML6.0"), std::string::npos) << one.log;
    FaultyXmlParserFactory brokenMany(morvik::platform::defaultXmlParserFactory());
    brokenMany.failEverything();
    expectSame(one, runWith(zip, 4, &brokenMany), "no parser");
}

// Two inspections at once in one process, of different archives and in
// different languages, each tell what they tell alone: nothing of a run
// (its language, its documents, its schemas) leaks into the other.
TEST(ParallelRun, TwoInspectionsAtOnceInOneProcess) {
    using morvik::report::ReasonLanguage;
    TempDir dir;
    const auto archive = [&](const std::string& name, int documents, int badEvery) {
        ArchiveFiles files = standardFiles();
        for (int i = 0; i < documents; ++i) {
            files.push_back({"DATA/d" + std::to_string(i) + ".xml",
                             dataDocument(i % badEvery == 0 ? "x" : "1")});
        }
        files.push_back({"CLAIMS/c.xml", claimDocument()});
        return makeArchive(dir.path() / name, name, files);
    };
    fs::create_directories(dir.path() / "japanese");
    fs::create_directories(dir.path() / "english");
    const fs::path first = archive("japanese", 120, 7);
    const fs::path second = archive("english", 90, 11);
    const Seen firstAlone = runWith(first, 2, nullptr, ReasonLanguage::japanese);
    const Seen secondAlone = runWith(second, 2, nullptr, ReasonLanguage::english);
    // Each run words its reasons in its own language.
    ASSERT_EQ(firstAlone.log.find("is not a valid value"), std::string::npos) << firstAlone.log;
    ASSERT_NE(secondAlone.log.find("is not a valid value"), std::string::npos) << secondAlone.log;
    for (int round = 0; round < 3; ++round) {
        Seen firstTogether;
        Seen secondTogether;
        std::thread other(
            [&] { secondTogether = runWith(second, 2, nullptr, ReasonLanguage::english); });
        firstTogether = runWith(first, 2, nullptr, ReasonLanguage::japanese);
        other.join();
        expectSame(firstAlone, firstTogether, "Japanese run beside an English one");
        expectSame(secondAlone, secondTogether, "English run beside a Japanese one");
    }
}
