// Archive extraction: the request handed to the unzip layer (and the command
// line for the library's string interface), the already-extracted test and
// what counts as a file there, the failure message's hexadecimal code, and
// the whole way through the platform unzip: quotes in the ZIP path, files
// beside the top folder, a second run after a failed one, and the run's limit
// and the failure's facts.
#include "inspection/inspectionrun.h"
#include "inspection/schemafolder.h"
#include "inspection/zipextract.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <sys/stat.h>

using namespace morvik::inspection;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

const std::string kAlreadyExtracted =
    "XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。";

struct RecordingUnZip {
    std::vector<morvik::platform::UnzipRequest> calls;
    int result = 0;
    Extractor function() {
        return [this](const morvik::platform::UnzipRequest& request) {
            calls.push_back(request);
            morvik::platform::UnzipOutcome outcome;
            outcome.result = static_cast<morvik::platform::UnzipResult>(result);
            return outcome;
        };
    }
};

ExtractionRequest requestFor(const std::string& zipPath, const Extractor& extractor,
                             char separator = '/', const std::string& into = {}) {
    ExtractionRequest request;
    request.zipPath = zipPath;
    request.extractor = extractor;
    request.separator = separator;
    request.extractInto = into;
    return request;
}

struct ZipExtractTest : ::testing::Test {
    RecordingMessageBox messages;
    RecordingProgramStart programs;
    RecordingUnZip unzip;
    std::string extractionFolder = "unchanged";
};

} // namespace

TEST_F(ZipExtractTest, RequestAndExtractionFolder) {
    TempDir dir;
    struct Case {
        std::string zipPath;
        char separator;
        std::string destination;
        std::string commandLine; // the same request for the library's string interface
        std::string extractionFolder;
    };
    const std::string blanks = dir.folder() + "my dir/";
    const std::vector<Case> cases = {
        {blanks + "健診 データ.ZIP", '/', blanks,
         "-x -o -q \"" + blanks + "健診 データ.ZIP\" \"" + blanks + "/\" *.*",
         blanks + "健診 データ/"},
        {blanks + "b.c.zip", '/', blanks,
         "-x -o -q \"" + blanks + "b.c.zip\" \"" + blanks + "/\" *.*", blanks + "b.c/"},
        {R"(C:\a\b.zip)", '\\', R"(C:\a\)", R"(-x -o -q "C:\a\b.zip" "C:\a\\" *.*)", R"(C:\a\b\)"},
        {R"(C:\b.zip)", '\\', R"(C:\)", R"(-x -o -q "C:\b.zip" "C:\\" *.*)", R"(C:\b\)"},
    };
    for (const Case& c : cases) {
        unzip.calls.clear();
        extractionFolder = "unchanged";
        EXPECT_EQ(ZipExtract(requestFor(c.zipPath, unzip.function(), c.separator), extractionFolder,
                             messages, programs),
                  0);
        ASSERT_EQ(unzip.calls.size(), 1u) << c.zipPath;
        EXPECT_EQ(unzip.calls[0].archive, c.zipPath);
        EXPECT_EQ(unzip.calls[0].destination, c.destination);
        EXPECT_TRUE(unzip.calls[0].patterns.empty());
        EXPECT_EQ(unzip.calls[0].options.existingFiles,
                  morvik::platform::ExistingFiles::replaceOnlyInTopFolder);
        EXPECT_EQ(unzipCommandLineFor(c.zipPath, c.destination, c.separator), c.commandLine);
        EXPECT_EQ(extractionFolder, c.extractionFolder);
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(programs.opened.empty());
}

TEST_F(ZipExtractTest, BareNameIsInTheCurrentFolderNeverTheRoot) {
    TempDir dir;
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    const int status =
        ZipExtract(requestFor("b.zip", unzip.function()), extractionFolder, messages, programs);
    fs::current_path(previous);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(unzip.calls.size(), 1u);
    EXPECT_EQ(unzip.calls[0].archive, "b.zip");
    EXPECT_EQ(unzip.calls[0].destination, "./");
    EXPECT_EQ(extractionFolder, "./b/");
}

// The whole top folder (in any letter case) is looked at: a file anywhere
// below is in the way; only empty sub-folders, hidden and system entries are
// not.
TEST_F(ZipExtractTest, AlreadyExtractedCountsOrdinaryFilesOnly) {
    struct Case {
        std::string label;
        std::function<void(const fs::path&)> prepare;
        bool blocked;
    };
    const std::vector<Case> cases = {
        {"no folder", [](const fs::path&) {}, false},
        {"only a subfolder", [](const fs::path& f) { fs::create_directories(f / "DATA"); }, false},
        {"only a hidden file", [](const fs::path& f) { writeFile(f / ".hidden.xml", "x"); }, false},
        {"only a FIFO",
         [](const fs::path& f) {
             fs::create_directories(f);
             ASSERT_EQ(::mkfifo((f / "pipe.xml").c_str(), 0644), 0);
         },
         false},
        {"only a broken link",
         [](const fs::path& f) {
             fs::create_directories(f);
             fs::create_symlink("missing.xml", f / "broken.xml");
         },
         false},
        {"only empty subfolders, nested",
         [](const fs::path& f) {
             fs::create_directories(f / "DATA/old");
             fs::create_directories(f / "CLAIMS");
         },
         false},
        {"a hidden file in a subfolder",
         [](const fs::path& f) { writeFile(f / "DATA/.x.xml", "x"); }, false},
        {"a file in a subfolder only", [](const fs::path& f) { writeFile(f / "DATA/a.xml", "x"); },
         true},
        {"a note deep below", [](const fs::path& f) { writeFile(f / "XSD/old/a/note.txt", "x"); },
         true},
        {"a file in the top folder spelt in upper case",
         [](const fs::path& f) { writeFile(f.parent_path() / "B/DATA/a.xml", "x"); }, true},
        {"one ordinary file", [](const fs::path& f) { writeFile(f / "ix08_V08.xml", "x"); }, true},
        {"a file without extension", [](const fs::path& f) { writeFile(f / "README", "x"); }, true},
        {"a link to a file",
         [](const fs::path& f) {
             writeFile(f.parent_path() / "elsewhere.txt", "x");
             fs::create_directories(f);
             fs::create_symlink("../elsewhere.txt", f / "link");
         },
         true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.prepare(dir.path() / "b");
        messages.shown.clear();
        programs.opened.clear();
        unzip.calls.clear();
        extractionFolder = "unchanged";
        const int status = ZipExtract(requestFor(dir.folder() + "b.zip", unzip.function()),
                                      extractionFolder, messages, programs);
        if (c.blocked) {
            EXPECT_EQ(status, -1) << c.label;
            EXPECT_TRUE(unzip.calls.empty()) << c.label;
            ASSERT_EQ(messages.shown.size(), 1u) << c.label;
            EXPECT_EQ(messages.shown[0].text, kAlreadyExtracted);
            EXPECT_EQ(messages.shown[0].caption, kAppTitle);
            EXPECT_EQ(messages.shown[0].icon, MessageIcon::none);
            EXPECT_EQ(programs.opened, std::vector<std::string>{dir.folder()}) << c.label;
            EXPECT_EQ(extractionFolder, "unchanged") << c.label;
        } else {
            EXPECT_EQ(status, 0) << c.label;
            EXPECT_EQ(unzip.calls.size(), 1u) << c.label;
            EXPECT_TRUE(messages.shown.empty()) << c.label;
            EXPECT_TRUE(programs.opened.empty()) << c.label;
        }
    }
}

TEST_F(ZipExtractTest, FailureShowsTheCodeInHexadecimal) {
    const std::vector<std::pair<int, std::string>> cases = {
        {255, "FF"},           {-1, "FFFFFFFF"},      {1, "1"},           {10, "A"}, {82, "52"},
        {INT_MAX, "7FFFFFFF"}, {INT_MIN, "80000000"}, {-256, "FFFFFF00"},
    };
    TempDir dir;
    for (const auto& [code, hex] : cases) {
        messages.shown.clear();
        unzip.result = code;
        EXPECT_EQ(ZipExtract(requestFor(dir.folder() + "b.zip", unzip.function()), extractionFolder,
                             messages, programs),
                  -1);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "解凍に失敗しました。Error Code:0x" + hex);
        EXPECT_EQ(messages.shown[0].caption, "Failed");
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::critical);
    }
    EXPECT_EQ(extractionFolder, "unchanged");
    EXPECT_TRUE(programs.opened.empty());
}

TEST_F(ZipExtractTest, PlatformUnzipUnpacksOnceThenRefusesOrFails) {
    TempDir dir;
    const std::string zipPath = dir.folder() + "健診 2024.zip";
    writeZip(zipPath, {zipFolder("健診 2024/"), zipFile("健診 2024/ix08_V08.xml", "<ix/>")});
    ASSERT_EQ(ZipExtract(zipPath, extractionFolder, messages, programs), 0);
    EXPECT_EQ(extractionFolder, dir.folder() + "健診 2024/");
    EXPECT_EQ(readFile(extractionFolder + "ix08_V08.xml"), "<ix/>");
    EXPECT_TRUE(messages.shown.empty());

    std::string second = "unchanged";
    EXPECT_EQ(ZipExtract(zipPath, second, messages, programs), -1);
    EXPECT_EQ(second, "unchanged");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kAlreadyExtracted);
    EXPECT_EQ(programs.opened, std::vector<std::string>{dir.folder()});

    // The layer's own code reaches the message: 9, the archive is no ZIP file.
    messages.shown.clear();
    writeFile(dir.path() / "b.zip", "not an archive");
    EXPECT_EQ(ZipExtract(dir.folder() + "b.zip", second, messages, programs), -1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "解凍に失敗しました。Error Code:0x9");
    EXPECT_EQ(second, "unchanged");
}

TEST_F(ZipExtractTest, RealArchiveExtractsAndCarriesItsSchemaFolder) {
    const fs::path real =
        fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip";
    if (!fs::exists(real)) {
        GTEST_SKIP() << "real archive not present: " << real;
    }
    TempDir dir;
    fs::copy_file(real, dir.path() / real.filename());
    ASSERT_EQ(
        ZipExtract((dir.path() / real.filename()).string(), extractionFolder, messages, programs),
        0);
    EXPECT_EQ(extractionFolder, dir.folder() + "5521111111_00280081_202405271_1/");
    EXPECT_EQ(FileChk(extractionFolder + "su08_V08.xml"), 0);
    EXPECT_EQ(resolveSchemaFolder("", extractionFolder), extractionFolder + "XSD/");
}

// Another destination folder: the request names it (one closing separator),
// the extraction folder lies below it, and the extracted copy is looked for
// there, not beside the ZIP file.
TEST_F(ZipExtractTest, DestinationFolderTakesThePlaceOfTheZipFolder) {
    TempDir dir;
    const std::string zipPath = dir.folder() + "share/b.zip";
    struct Case {
        std::string into;
        std::string destination;
        std::string extractionFolder;
    };
    const std::vector<Case> cases = {
        {dir.folder() + "out", dir.folder() + "out/", dir.folder() + "out/b/"},
        {dir.folder() + "out/", dir.folder() + "out/", dir.folder() + "out/b/"},
        {dir.folder() + "out//", dir.folder() + "out/", dir.folder() + "out/b/"},
        {"rel", "rel/", "rel/b/"},
    };
    for (const auto& c : cases) {
        unzip.calls.clear();
        std::string folder;
        ASSERT_EQ(ZipExtract(requestFor(zipPath, unzip.function(), '/', c.into), folder, messages,
                             programs),
                  0)
            << c.into;
        ASSERT_EQ(unzip.calls.size(), 1u);
        EXPECT_EQ(unzip.calls[0].archive, zipPath);
        EXPECT_EQ(unzip.calls[0].destination, c.destination);
        EXPECT_EQ(folder, c.extractionFolder);
    }

    // A copy beside the ZIP file does not count; one in the destination does,
    // and the destination is the folder shown.
    writeFile(dir.path() / "share" / "b" / "old.xml", "<old/>");
    unzip.calls.clear();
    std::string folder;
    EXPECT_EQ(ZipExtract(requestFor(zipPath, unzip.function(), '/', dir.folder() + "out"), folder,
                         messages, programs),
              0);
    writeFile(dir.path() / "out" / "b" / "old.xml", "<old/>");
    EXPECT_EQ(ZipExtract(requestFor(zipPath, unzip.function(), '/', dir.folder() + "out"),
                         extractionFolder, messages, programs),
              -1);
    EXPECT_EQ(unzip.calls.size(), 1u);
    EXPECT_EQ(extractionFolder, "unchanged");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kAlreadyExtracted);
    EXPECT_EQ(programs.opened, std::vector<std::string>{dir.folder() + "out/"});

    // The platform unzip writes below the destination only.
    TempDir real;
    const std::string realZip = real.folder() + "c.zip";
    writeZip(realZip, {zipFolder("c/"), zipFile("c/ix08_V08.xml", "<ix/>")});
    fs::create_directory(real.path() / "dest");
    std::string realFolder;
    ASSERT_EQ(ZipExtract(requestFor(realZip, {}, '/', real.folder() + "dest"), realFolder, messages,
                         programs),
              0);
    EXPECT_EQ(realFolder, real.folder() + "dest/c/");
    EXPECT_EQ(readFile(realFolder + "ix08_V08.xml"), "<ix/>");
    EXPECT_FALSE(fs::exists(real.path() / "c"));
}

TEST_F(ZipExtractTest, QuotesInTheZipPathNeverOpenAnotherArchive) {
    // Each archive holds its own name under the top folder named like it; the
    // decoys are what a regrouped command line would open instead.
    struct Case {
        std::string name;
        std::vector<std::string> decoys;
    };
    const std::vector<Case> cases = {
        {"x\"y\"z.zip", {"xyz.zip", "x.zip"}}, {"a\"b.zip", {"a.zip", "b.zip"}},
        {"q\" \"r.zip", {"q.zip", "r.zip"}},   {"\"lead.zip", {"lead.zip"}},
        {"star* ?.zip", {"star.zip"}},         {"健診 \"データ\".zip", {"健診 データ.zip"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto archive = [&](const std::string& name) {
            const std::string base = name.substr(0, name.size() - 4);
            writeZip(dir.path() / name, {zipFile(base + "/ix08_V08.xml", name)});
        };
        archive(c.name);
        for (const std::string& decoy : c.decoys) {
            archive(decoy);
        }
        messages.shown.clear();
        extractionFolder = "unchanged";
        ASSERT_EQ(ZipExtract(dir.folder() + c.name, extractionFolder, messages, programs), 0)
            << c.name << (messages.shown.empty() ? "" : ": " + messages.shown[0].text);
        const std::string base = c.name.substr(0, c.name.size() - 4);
        EXPECT_EQ(extractionFolder, dir.folder() + base + "/");
        EXPECT_EQ(readFile(extractionFolder + "ix08_V08.xml"), c.name);
        for (const std::string& decoy : c.decoys) {
            EXPECT_FALSE(fs::exists(dir.path() / decoy.substr(0, decoy.size() - 4))) << decoy;
        }
    }
    // For the string interface the quote is doubled inside its piece;
    // ordinary paths keep their shape.
    EXPECT_EQ(unzipCommandLineFor("/w/x\"y\"z.zip", "/w/", '/'),
              R"(-x -o -q "/w/x""y""z.zip" "/w//" *.*)");
    EXPECT_EQ(unzipCommandLineFor("/a b/c.zip", "/a b/", '/'),
              R"(-x -o -q "/a b/c.zip" "/a b//" *.*)");
}

// Only the top folder is the archive's: an entry beside it is never written,
// whether a file of that name exists or not, and the extraction goes on.
TEST_F(ZipExtractTest, EntriesBesideTheTopFolderAreNeverWritten) {
    struct Case {
        std::string label;
        std::string entry;
        std::string existing; // what stands there before, if anything
    };
    const std::vector<Case> cases = {
        {"the ZIP itself", "b.zip", "zip"},
        {"a file beside the ZIP", "users_report.docx", "mine"},
        {"a file in a folder beside the ZIP", "other_folder/kept.txt", "mine"},
        {"a new file in a new folder beside the ZIP", "other_folder2/planted.txt", ""},
        {"a readme", "readme.txt", ""},
        {"a __MACOSX folder", "__MACOSX/b/._ix08_V08.xml", ""},
        {"a key for the home folder", ".ssh/authorized_keys", ""},
        {"a program started at login", ".config/autostart/x.desktop", ""},
        {"a login script", ".bash_login", ""},
        {"documents aimed at the next archive's folder", "a/DATA/planted.xml", ""},
        {"a file named like the top folder", "B", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (!c.existing.empty() && c.existing != "zip") {
            writeFile(dir.path() / c.entry, c.existing);
        }
        writeZip(dir.path() / "b.zip", {zipFile("b/ix08_V08.xml", "<ix/>"), zipFile(c.entry, "x")});
        const std::string zipBytes = readFile(dir.path() / "b.zip");
        messages.shown.clear();
        extractionFolder.clear();
        const int status = ZipExtract(dir.folder() + "b.zip", extractionFolder, messages, programs);
        EXPECT_EQ(status, 0) << c.label;
        EXPECT_TRUE(messages.shown.empty()) << c.label;
        EXPECT_EQ(readFile(dir.path() / "b.zip"), zipBytes) << c.label;
        EXPECT_EQ(readFile(dir.path() / "b/ix08_V08.xml"), "<ix/>") << c.label;
        if (c.existing.empty()) {
            EXPECT_FALSE(fs::exists(dir.path() / c.entry)) << c.label;
            EXPECT_FALSE(fs::exists(dir.path() / fs::path(c.entry).begin()->string())) << c.label;
        } else if (c.existing != "zip") {
            EXPECT_EQ(readFile(dir.path() / c.entry), c.existing) << c.label;
        }
    }
}

TEST_F(ZipExtractTest, AfterAFailedExtractionTheNextRunIsNotRefused) {
    TempDir dir;
    const fs::path zipPath = dir.path() / "b.zip";
    std::vector<RawZipEntry> entries;
    for (int i = 0; i < 26; ++i) {
        entries.push_back(rawFile("b/DATA/h" + std::to_string(i) + ".xml", "<doc/>"));
    }
    entries.push_back(rawFile("b/ix08_V08.xml", "<ix/>"));
    RawZipEntry broken = rawFile("b/su08_V08.xml", "<su/>");
    broken.crc ^= 1;
    entries.push_back(broken);
    writeFile(zipPath, rawZip(entries));
    EXPECT_EQ(ZipExtract(zipPath.string(), extractionFolder, messages, programs), -1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "解凍に失敗しました。Error Code:0x3");
    EXPECT_FALSE(fs::exists(dir.path() / "b"));

    entries.back() = rawFile("b/su08_V08.xml", "<su/>");
    writeFile(zipPath, rawZip(entries));
    messages.shown.clear();
    EXPECT_EQ(ZipExtract(zipPath.string(), extractionFolder, messages, programs), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(readFile(dir.path() / "b/su08_V08.xml"), "<su/>");
}

namespace {

struct EarlyEndRecorder : RunObserver {
    std::vector<EarlyEnd> ends;
    void endedEarly(const EarlyEnd& end) override { ends.push_back(end); }
};

} // namespace

TEST_F(ZipExtractTest, TheRunPassesItsSizeLimitDownAndReportsTheCause) {
    struct Case {
        std::uint64_t maxExtractedSize;
        std::size_t documentBytes;
        int unzipCode;
        std::string detail;
    };
    const std::vector<Case> cases = {
        {0, 1000, 0, ""},
        {100'000, 50'000, 0, ""},
        {100'000, 200'000, 0xC, "more than the limit 100000 bytes"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeZip(dir.path() / "arc.zip",
                 {zipFile("arc/ix08_V08.xml", "<ix/>"),
                  zipFile("arc/DATA/big.xml", std::string(c.documentBytes, 'x'))});
        MemorySettings settings;
        StringLog log;
        RecordingStatusLine status;
        EarlyEndRecorder observer;
        RunServices services{settings, messages, log, status, programs, {}, &observer, {}};
        RunInputs inputs;
        inputs.zipPath = dir.folder() + "arc.zip";
        inputs.appName = "Morvik";
        inputs.section = "section";
        inputs.maxExtractedSize = c.maxExtractedSize;
        runInspection(inputs, services);
        if (c.unzipCode == 0) {
            // Extracted; the run ends later, at the missing schema folder.
            EXPECT_TRUE(fs::exists(dir.path() / "arc/DATA/big.xml")) << c.documentBytes;
            continue;
        }
        ASSERT_EQ(observer.ends.size(), 1u);
        EXPECT_EQ(observer.ends[0].kind, EarlyEnd::Kind::extractionFailed);
        const EarlyEnd& end = observer.ends[0];
        EXPECT_EQ(end.unzipCode(), c.unzipCode);
        EXPECT_EQ(end.extraction.unzip.cause, morvik::platform::UnzipCause::totalSizeLimit);
        EXPECT_EQ(end.extraction.unzip.needed, c.documentBytes + 5);
        EXPECT_EQ(end.extraction.unzip.allowed, c.maxExtractedSize);
        EXPECT_EQ(end.extraction.place.folder(), dir.folder() + "arc/");
        EXPECT_NE(end.extraction.unzip.message.find(c.detail), std::string::npos)
            << end.extraction.unzip.message;
        EXPECT_FALSE(fs::exists(dir.path() / "arc"));
    }
}
