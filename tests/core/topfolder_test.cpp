// No document of the archive goes unchecked and nothing outside its top
// folder is written: top folders, DATA and CLAIMS in any letter case are
// checked together, entries beside the top folder stay in the archive, an
// extracted copy anywhere below the top folder stops the run, a schema folder
// the user names is looked at before anything is unpacked and may use schema
// files anywhere on the local disk.
#include "support/archives.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

using namespace morvik::test;
using morvik::inspection::DocumentReport;
using morvik::inspection::RunObserver;
using morvik::inspection::RunOutcome;
using morvik::inspection::Stage;
namespace fs = std::filesystem;

namespace {

constexpr const char* kAlreadyExtracted =
    "XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。";
constexpr const char* kNoSchema = "XMLスキーマとして指定されたフォルダにスキーマが見つかりません。";

// What the run told besides its log.
struct Watcher : RunObserver {
    std::vector<DocumentReport> checked;
    std::vector<std::string> left;
    void documentChecked(const DocumentReport& report) override { checked.push_back(report); }
    void leftInArchive(const std::vector<std::string>& entries) override { left = entries; }
};

std::vector<ZipEntry> standardEntries(const std::string& top) {
    std::vector<ZipEntry> entries;
    for (const auto& [name, content] : standardFiles()) {
        entries.push_back(zipFile(top + "/" + name, content));
    }
    return entries;
}

std::set<std::string> failedNames(const Watcher& watcher) {
    std::set<std::string> names;
    for (const DocumentReport& report : watcher.checked) {
        if (report.status != 0) {
            names.insert(report.documentName);
        }
    }
    return names;
}

} // namespace

// The trap of a retry: an entry beside the top folder, run once, the top
// folder removed as the message asks, run again. Neither run writes the entry.
TEST(TopFolder, EntriesBesideTheTopFolderStayInTheArchive) {
    const std::vector<std::string> beside = {"readme.txt", "__MACOSX/ex/._ix08_V08.xml",
                                             ".ssh/authorized_keys", ".bash_login",
                                             "a/DATA/planted.xml"};
    for (const std::string& entry : beside) {
        TempDir dir;
        std::vector<ZipEntry> entries = standardEntries("ex");
        entries.push_back(zipFile("ex/DATA/d1.xml", dataDocument()));
        entries.push_back(zipFile(entry, "planted"));
        writeZip(dir.path() / "ex.zip", entries);
        for (int round = 1; round <= 2; ++round) {
            RunHarness harness;
            Watcher watcher;
            harness.observer = &watcher;
            EXPECT_EQ(harness.run(dir.folder() + "ex.zip"), RunOutcome::allValid)
                << entry << " round " << round;
            EXPECT_TRUE(harness.messages.shown.empty()) << entry << " round " << round;
            EXPECT_EQ(watcher.left, std::vector<std::string>{entry}) << entry;
            EXPECT_FALSE(fs::exists(dir.path() / fs::path(entry).begin()->string())) << entry;
            fs::remove_all(dir.path() / "ex");
        }
    }
}

// An archive renamed after it was made: its top folder is not named like the
// ZIP file, so nothing is its to write; the run stops at the schema folder,
// and the same on a retry (never "already extracted").
TEST(TopFolder, ARenamedArchiveWritesNothing) {
    TempDir dir;
    writeZip(dir.path() / "renamed.zip", standardEntries("orig"));
    for (int round = 1; round <= 2; ++round) {
        RunHarness harness;
        Watcher watcher;
        harness.observer = &watcher;
        EXPECT_EQ(harness.run(dir.folder() + "renamed.zip"), RunOutcome::endedEarly);
        ASSERT_EQ(harness.messages.shown.size(), 1u);
        EXPECT_EQ(harness.messages.shown[0].text, kNoSchema) << round;
        EXPECT_EQ(watcher.left.size(), standardFiles().size()) << round;
        EXPECT_FALSE(fs::exists(dir.path() / "orig")) << round;
        EXPECT_FALSE(fs::exists(dir.path() / "renamed")) << round;
    }
}

// Top folders that differ only in letter case are one folder where the
// archives come from: the documents of all of them are checked.
TEST(TopFolder, LetterCaseVariantsOfTheTopFolderAreCheckedTogether) {
    TempDir dir;
    std::vector<ZipEntry> entries = standardEntries("ex1");
    entries.push_back(zipFile("ex1/DATA/good.xml", dataDocument()));
    entries.push_back(zipFile("EX1/DATA/bad.xml", dataDocument("x")));
    entries.push_back(zipFile("Ex1/CLAIMS/bad2.xml", dataDocument("y")));
    writeZip(dir.path() / "ex1.zip", entries);
    RunHarness harness;
    Watcher watcher;
    harness.observer = &watcher;
    EXPECT_EQ(harness.run(dir.folder() + "ex1.zip"), RunOutcome::someFailed);
    EXPECT_TRUE(watcher.left.empty());
    EXPECT_EQ(failedNames(watcher), (std::set<std::string>{"bad.xml", "bad2.xml"}));
    EXPECT_EQ(watcher.checked.size(), 5u); // index, summary and the three documents
    // The second run finds the extracted copies, in whichever spelling.
    fs::remove_all(dir.path() / "ex1");
    RunHarness again;
    EXPECT_EQ(again.run(dir.folder() + "ex1.zip"), RunOutcome::endedEarly);
    ASSERT_EQ(again.messages.shown.size(), 1u);
    EXPECT_EQ(again.messages.shown[0].text, kAlreadyExtracted);
}

// Archives with random letter-case variants of the top folder, DATA, CLAIMS
// and the .xml extension: the documents checked are exactly the DATA and
// CLAIMS *.xml entries of the archive.
TEST(TopFolder, EveryDocumentOfRandomLetterCaseArchivesIsChecked) {
    std::mt19937 random(20261208);
    const auto variant = [&](const std::string& name) {
        std::string spelt = name;
        for (char& c : spelt) {
            if (std::isalpha(static_cast<unsigned char>(c)) != 0 && random() % 2 == 0) {
                c = static_cast<char>(std::isupper(static_cast<unsigned char>(c))
                                          ? std::tolower(static_cast<unsigned char>(c))
                                          : std::toupper(static_cast<unsigned char>(c)));
            }
        }
        return spelt;
    };
    for (int archive = 0; archive < 12; ++archive) {
        TempDir dir;
        // The index, summary and XSD folder too may lie in any spelling.
        std::vector<ZipEntry> entries = standardEntries(variant("kx"));
        std::set<std::string> expected;
        std::set<std::string> used;
        const int documents = 2 + static_cast<int>(random() % 6);
        for (int i = 0; i < documents; ++i) {
            const bool claims = random() % 2 == 0;
            const std::string path = variant("kx") + "/" + variant(claims ? "CLAIMS" : "DATA") +
                                     "/d" + std::to_string(i) + variant(".xml");
            if (!used.insert(path).second) {
                continue;
            }
            entries.push_back(zipFile(path, dataDocument(std::to_string(i))));
            expected.insert(path);
        }
        // Neither documents nor beside the stages: never checked.
        entries.push_back(zipFile(variant("kx") + "/" + variant("DATA") + "/notes.txt", "x"));
        entries.push_back(zipFile(variant("kx") + "/other/o.xml", dataDocument()));
        writeZip(dir.path() / "kx.zip", entries);
        RunHarness harness;
        Watcher watcher;
        harness.observer = &watcher;
        EXPECT_EQ(harness.run(dir.folder() + "kx.zip"), RunOutcome::allValid) << archive;
        std::set<std::string> checked;
        for (const DocumentReport& report : watcher.checked) {
            if (report.stage == Stage::data || report.stage == Stage::claims) {
                checked.insert(
                    fs::relative(fs::path(report.documentFolder + report.documentName), dir.path())
                        .string());
            }
        }
        EXPECT_EQ(checked, expected) << archive;
    }
}

// A schema folder the user names is looked at first: a mistyped or empty one
// writes nothing, and the corrected retry runs.
TEST(TopFolder, ANamedSchemaFolderIsCheckedBeforeExtraction) {
    TempDir dir;
    std::vector<ZipEntry> entries = standardEntries("ex");
    entries.push_back(zipFile("ex/DATA/d1.xml", dataDocument()));
    writeZip(dir.path() / "ex.zip", entries);
    fs::create_directories(dir.path() / "empty");
    writeFile(dir.path() / "mine/ix08_V08.xsd", kIndexSchema);
    writeFile(dir.path() / "mine/su08_V08.xsd", kSummarySchema);
    for (const std::string& wrong :
         {dir.folder() + "no/such", dir.folder() + "empty", dir.folder() + "ex.zip"}) {
        RunHarness harness;
        EXPECT_EQ(harness.run(dir.folder() + "ex.zip", wrong), RunOutcome::endedEarly) << wrong;
        ASSERT_EQ(harness.messages.shown.size(), 1u) << wrong;
        EXPECT_EQ(harness.messages.shown[0].text, kNoSchema) << wrong;
        EXPECT_FALSE(fs::exists(dir.path() / "ex")) << wrong;
    }
    RunHarness retry;
    EXPECT_EQ(retry.run(dir.folder() + "ex.zip", dir.folder() + "mine"), RunOutcome::allValid);
    EXPECT_TRUE(retry.messages.shown.empty());
}

namespace {

// A summary schema whose document types come from ../common/types.xsd.
const char* const kSplitSummarySchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:include schemaLocation="../common/types.xsd"/>
  <xs:element name="summary" type="Summary"/>
  <xs:element name="doc" type="Doc"/>
</xs:schema>
)";
const char* const kCommonTypes = R"(<?xml version="1.0" encoding="UTF-8"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns="urn:hl7-org:v3"
           targetNamespace="urn:hl7-org:v3" elementFormDefault="qualified">
  <xs:complexType name="Summary"><xs:sequence>
    <xs:any processContents="lax" minOccurs="0" maxOccurs="unbounded"/>
  </xs:sequence></xs:complexType>
  <xs:complexType name="Doc"><xs:sequence>
    <xs:element name="name" type="xs:string"/>
    <xs:element name="value" type="xs:integer"/>
  </xs:sequence></xs:complexType>
</xs:schema>
)";

} // namespace

// Containment is for schemas that came out of an archive; a folder the user
// names may include files beside it or reach them through a link.
TEST(TopFolder, AUsersSchemaFolderMayUseFilesAnywhereOnTheDisk) {
    struct Row {
        const char* what;
        bool named;  // the schema folder is given by the user
        bool linked; // its common folder is a link to a shared folder
        RunOutcome expected;
    };
    const Row rows[] = {
        {"named, include beside it", true, false, RunOutcome::allValid},
        {"named, include through a link", true, true, RunOutcome::allValid},
        {"the archive's own, include outside its XSD folder", false, false, RunOutcome::someFailed},
    };
    for (const Row& row : rows) {
        TempDir dir;
        ArchiveFiles files = {{"ix08_V08.xml", indexDocument()},
                              {"su08_V08.xml", summaryDocument()},
                              {"DATA/d1.xml", dataDocument()}};
        std::string schemaText;
        if (row.named) {
            writeFile(dir.path() / "schemas/XSD/ix08_V08.xsd", kIndexSchema);
            writeFile(dir.path() / "schemas/XSD/su08_V08.xsd", kSplitSummarySchema);
            if (row.linked) {
                writeFile(dir.path() / "shared/types.xsd", kCommonTypes);
                fs::create_symlink(dir.path() / "shared", dir.path() / "schemas/common");
            } else {
                writeFile(dir.path() / "schemas/common/types.xsd", kCommonTypes);
            }
            schemaText = (dir.path() / "schemas/XSD").string();
        } else {
            files.push_back({"XSD/ix08_V08.xsd", kIndexSchema});
            files.push_back({"XSD/su08_V08.xsd", kSplitSummarySchema});
            files.push_back({"common/types.xsd", kCommonTypes});
        }
        makeArchive(dir.path(), "ex", files);
        RunHarness harness;
        EXPECT_EQ(harness.run(dir.folder() + "ex.zip", schemaText), row.expected) << row.what;
        if (row.expected == RunOutcome::allValid) {
            EXPECT_EQ(harness.log.text.find("エラー"), std::string::npos) << harness.log.text;
        }
    }
}
