// The unzip layer: the command line, what an archive from outside parties may
// not do (asserting that nothing at all was written), the result codes for
// damaged archives, names in CP932 and with backslashes, and the real archive.
#include "platform/zip/unzip.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace morvik::platform;
using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

// Every path below root, folders marked with "/" and links with "@", and the
// contents of the files.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = fs::relative(it->path(), root).string();
        if (it->is_symlink()) {
            tree[name + "@"] = fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            tree[name + "/"] = "";
        } else {
            tree[name] = readFile(it->path());
        }
    }
    return tree;
}

// The outcome of the last extraction a test ran.
UnzipOutcome g_lastOutcome;
const UnzipOutcome& lastUnzipOutcome() {
    return g_lastOutcome;
}
UnzipResult remember(UnzipOutcome outcome) {
    g_lastOutcome = std::move(outcome);
    return g_lastOutcome.result;
}

std::string commandFor(const fs::path& zip, const fs::path& destination) {
    return "-x -o -q \"" + zip.string() + "\" \"" + destination.string() + "//\" *.*";
}

ZipEntry raw(ZipEntry entry) {
    entry.nameBytes = ZipNameBytes::raw;
    return entry;
}

ZipEntry ofKind(const std::string& name, ZipEntryKind kind) {
    ZipEntry entry = zipFile(name, "");
    entry.kind = kind;
    return entry;
}

struct UnzipTest : ::testing::Test {
    TempDir dir;
    fs::path zip = dir.path() / "in put.zip";
    fs::path destination = dir.path() / "out";

    void SetUp() override { fs::create_directory(destination); }
    // Archive and destination in a folder of their own, for one case of a table.
    void useFolder(const TempDir& folder) {
        zip = folder.path() / "in put.zip";
        destination = folder.path() / "out";
        fs::create_directory(destination);
    }
    // All files, or those the patterns select, replacing existing files anywhere.
    UnzipResult unzip(std::vector<std::string> patterns = {}) {
        UnzipRequest request;
        request.archive = zip.string();
        request.destination = destination.string() + "/";
        request.patterns = std::move(patterns);
        request.options.existingFiles = ExistingFiles::replace;
        return remember(extractArchive(request));
    }
};

} // namespace

TEST(ParseUnzipCommandLine, AcceptedAndRefusedShapes) {
    struct Case {
        std::string commandLine;
        std::optional<UnzipCommand> expected;
    };
    const std::vector<Case> cases = {
        {R"(-x -o -q "/a b/c.zip" "/a b//" *.*)", UnzipCommand{"/a b/c.zip", "/a b/", {"*.*"}}},
        {R"(-x -o -q "c.zip" ".//" *.*)", UnzipCommand{"c.zip", "./", {"*.*"}}},
        {R"(-x -o -q "/c.zip" "//" *.*)", UnzipCommand{"/c.zip", "/", {"*.*"}}},
        {R"(-xoq "-c.zip" "d/")", UnzipCommand{"-c.zip", "d/", {}}},
        {R"("a.zip"   "d/" *.xml DATA/*)", UnzipCommand{"a.zip", "d/", {"*.xml", "DATA/*"}}},
        {"", std::nullopt},
        {"-x -o -q", std::nullopt},
        {R"(-x -o -q "a.zip")", std::nullopt},
        {R"(-x -o -q "a.zip" "d" *.*)", std::nullopt},
        {R"(-x -o -q "a.zip "d/" *.*)", std::nullopt},
        {R"(-z "a.zip" "d/")", std::nullopt},
        {R"(-x "" "d/")", std::nullopt},
        {R"(-x "a.zip" "d/" "")", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto parsed = parseUnzipCommandLine(c.commandLine);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.commandLine;
        if (parsed) {
            EXPECT_EQ(parsed->archive, c.expected->archive) << c.commandLine;
            EXPECT_EQ(parsed->destination, c.expected->destination) << c.commandLine;
            EXPECT_EQ(parsed->patterns, c.expected->patterns) << c.commandLine;
        }
    }
}

TEST_F(UnzipTest, BadCommandLineTouchesNothing) {
    writeZip(zip, {zipFile("a.txt", "a")});
    const auto before = snapshot(dir.path());
    const fs::path fresh = dir.path() / "fresh";
    // UnZip gives the documented number: 10, a command line it cannot parse.
    EXPECT_EQ(UnZip(nullptr, "-x -o -q \"" + zip.string() + "\" \"" + fresh.string() + "\"", 0, 0),
              10);
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(UnzipTest, UnpacksNamesAndFoldersOverwritingFiles) {
    writeFile(destination / "top/a.txt", "old content that is longer");
    writeFile(destination / "top/stray.txt", "stays");
    writeZip(zip, {
                      zipFolder("top/"),
                      zipFile("top/a.txt", "new"),
                      zipFile("top/DATA/h1.xml", "<doc/>", ZipMethod::store),
                      zipFile("top/empty.xml", ""),
                      zipFolder("top/empty folder"),
                      zipFile("top/健診データ/～①.xml", "utf8"),
                      zipCp932File("健診データ/表～①.xml", "cp932"),
                      raw(zipFile("win\\sub\\b.xml", "backslash")),
                      zipFile("utf\\健診\\c.xml", "flagged backslash"),
                      zipFile("./top/./dot.xml", "dot"),
                  });
    ASSERT_EQ(unzip(), UnzipResult::ok);
    const std::map<std::string, std::string> expected = {
        {"top/", ""},
        {"top/a.txt", "new"},
        {"top/stray.txt", "stays"},
        {"top/DATA/", ""},
        {"top/DATA/h1.xml", "<doc/>"},
        {"top/empty.xml", ""},
        {"top/empty folder/", ""},
        {"top/健診データ/", ""},
        {"top/健診データ/～①.xml", "utf8"},
        {"健診データ/", ""},
        {"健診データ/表～①.xml", "cp932"},
        {"win/", ""},
        {"win/sub/", ""},
        {"win/sub/b.xml", "backslash"},
        {"utf/", ""},
        {"utf/健診/", ""},
        {"utf/健診/c.xml", "flagged backslash"},
        {"top/dot.xml", "dot"},
    };
    EXPECT_EQ(snapshot(destination), expected);
}

TEST_F(UnzipTest, NamesConvertWhenTheProcessRunsInTheCLocale) {
    writeZip(zip, {zipCp932File("健診データ/ix08_V08.xml", "cp932"), zipFile("ü.xml", "utf8")});
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const UnzipResult result = unzip();
    const std::string during = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(result, UnzipResult::ok);
    // The process-wide locale is left as the front end set it.
    EXPECT_EQ(during, "C");
    EXPECT_EQ(readFile(destination / "健診データ/ix08_V08.xml"), "cp932");
    EXPECT_EQ(readFile(destination / "ü.xml"), "utf8");
}

TEST_F(UnzipTest, PatternsSelectEntries) {
    writeZip(zip, {zipFile("top/a.xml", "a"), zipFile("top/b.txt", "b")});
    EXPECT_EQ(unzip({"*.csv"}), UnzipResult::noMatchingFiles);
    EXPECT_FALSE(fs::exists(destination / "top"));
    EXPECT_EQ(unzip({"*.xml"}), UnzipResult::ok);
    EXPECT_TRUE(fs::exists(destination / "top/a.xml"));
    EXPECT_FALSE(fs::exists(destination / "top/b.txt"));
}

TEST_F(UnzipTest, RefusedEntriesWriteNothingAnywhere) {
    // Inside the test's folder, so that a write there would be seen.
    const std::string absolute = (dir.path() / "absolute.txt").string();
    std::string backslashed = (dir.path() / "backslashed.txt").string();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    const std::vector<std::pair<std::string, ZipEntry>> refused = {
        {"absolute path", raw(zipFile(absolute, "x"))},
        {"absolute backslash path", raw(zipFile(backslashed, "x"))},
        {"drive letter", raw(zipFile("C:/escape.txt", "x"))},
        {"drive letter, backslash", raw(zipFile("C:\\escape.txt", "x"))},
        {"drive-relative", raw(zipFile("c:escape.txt", "x"))},
        {"parent", raw(zipFile("../escape.txt", "x"))},
        {"parent inside", raw(zipFile("top/../../escape.txt", "x"))},
        {"parent, backslash", raw(zipFile("top\\..\\..\\escape.txt", "x"))},
        {"symbolic link", zipSymlink("top/link", "../..")},
        {"character device", ofKind("top/dev", ZipEntryKind::characterDevice)},
        {"block device", ofKind("top/blk", ZipEntryKind::blockDevice)},
        {"socket", ofKind("top/sock", ZipEntryKind::socket)},
        {"undecodable CP932 name", raw(zipFile("top/bad\x81\x20.xml", "x"))},
        {"file and folder at once", zipFile("top/first.txt/inner.txt", "x")},
    };
    for (const auto& [label, entry] : refused) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeZip(zip, {zipFile("top/first.txt", "first"), entry, zipFile("top/last.txt", "last")});
        const auto before = snapshot(caseDir.path());
        EXPECT_EQ(unzip(), UnzipResult::archiveError) << label;
        EXPECT_EQ(snapshot(caseDir.path()), before) << label;
    }
    EXPECT_EQ(snapshot(dir.path()), (std::map<std::string, std::string>{{"out/", ""}}));
}

TEST_F(UnzipTest, DamagedArchivesGiveTheirCodesAndWriteNothing) {
    const std::string content = "DISTINCT-CONTENT-0123456789";
    const auto flipContentByte = [&](const fs::path& path) {
        std::string bytes = readFile(path);
        bytes[bytes.find(content) + 3] ^= 0x01;
        writeFile(path, bytes);
    };
    const auto halve = [](const fs::path& path) { fs::resize_file(path, fs::file_size(path) / 2); };
    ZipEntry method97 = zipFile("top/m.xml", content);
    method97.methodCode = 97;
    ZipEntry deflate64 = zipFile("top/m.xml", content);
    deflate64.methodCode = 9;
    ZipEntry largerDeflated = zipFile("top/big.xml", std::string(5000, 'a'));
    largerDeflated.declaredSize = 100;
    ZipEntry largerStored = zipFile("top/big.xml", std::string(5000, 'a'), ZipMethod::store);
    largerStored.declaredSize = 100;

    struct Case {
        std::string label;
        std::vector<ZipEntry> entries;
        ZipOptions options;
        std::function<void(const fs::path&)> damage;
        UnzipResult expected;
    };
    const std::vector<Case> cases = {
        {"empty archive", {}, {}, nullptr, UnzipResult::noMatchingFiles},
        {"truncated", {zipFile("top/a.xml", content)}, {}, halve, UnzipResult::unexpectedEnd},
        {"CRC error",
         {zipFile("top/a.xml", content, ZipMethod::store)},
         {},
         flipContentByte,
         UnzipResult::archiveError},
        {"unknown method", {method97}, {}, nullptr, UnzipResult::unsupportedMethod},
        {"Deflate64", {deflate64}, {}, nullptr, UnzipResult::unsupportedMethod},
        {"encrypted", {zipFile("top/a.xml", content)}, {"secret"}, nullptr, UnzipResult::encrypted},
        {"larger than declared, deflated",
         {largerDeflated},
         {},
         nullptr,
         UnzipResult::archiveError},
        {"larger than declared, stored", {largerStored}, {}, nullptr, UnzipResult::archiveError},
        {"not a ZIP archive",
         {},
         {},
         [](const fs::path& path) { writeFile(path, "just some text, no archive"); },
         UnzipResult::archiveNotFound},
        {"missing archive",
         {},
         {},
         [](const fs::path& path) { fs::remove(path); },
         UnzipResult::archiveNotFound},
        {"archive path names a folder",
         {},
         {},
         [](const fs::path& path) {
             fs::remove(path);
             fs::create_directory(path);
         },
         UnzipResult::archiveNotFound},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        // A good entry first: it must not be written either.
        std::vector<ZipEntry> entries;
        if (!c.entries.empty()) {
            entries.push_back(zipFile("top/good.xml", "good"));
        }
        entries.insert(entries.end(), c.entries.begin(), c.entries.end());
        writeZip(zip, entries, c.options);
        if (c.damage) {
            c.damage(zip);
        }
        const auto before = snapshot(caseDir.path());
        EXPECT_EQ(unzip(), c.expected) << c.label;
        EXPECT_EQ(snapshot(caseDir.path()), before) << c.label;
    }
}

TEST_F(UnzipTest, DeclaredSizesMustFitTheFreeSpace) {
    writeZip(zip, {zipFile("top/a.xml", "12345"), zipFile("top/b.xml", "123456")});
    const std::string command = commandFor(zip, destination);
    const auto before = snapshot(dir.path());
    std::string askedFor;
    EXPECT_EQ(unzipCommandLine(command,
                               [&](const std::string& folder) {
                                   askedFor = folder;
                                   return std::optional<std::uint64_t>(10);
                               })
                  .result,
              UnzipResult::diskFull);
    EXPECT_EQ(askedFor, destination.string() + "/");
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_EQ(unzipCommandLine(command,
                               [](const std::string&) { return std::optional<std::uint64_t>(11); })
                  .result,
              UnzipResult::ok);
    EXPECT_EQ(readFile(destination / "top/b.xml"), "123456");
}

TEST_F(UnzipTest, WritesNeitherThroughLinksNorOverFolders) {
    const fs::path outside = dir.path() / "outside";
    writeFile(outside / "target.xml", "outside");
    writeZip(zip, {zipFile("top/a.xml", "archive")});

    // An existing link in the final component is not written through.
    writeFile(destination / "top/.keep", "");
    fs::create_symlink(outside / "target.xml", destination / "top/a.xml");
    EXPECT_EQ(unzip(), UnzipResult::diskFull);
    EXPECT_EQ(readFile(outside / "target.xml"), "outside");

    // Nor a linked folder below the destination.
    fs::remove_all(destination / "top");
    fs::create_directory_symlink(outside, destination / "top");
    EXPECT_EQ(unzip(), UnzipResult::diskFull);
    EXPECT_FALSE(fs::exists(outside / "a.xml"));

    // A file where the archive has a folder.
    fs::remove(destination / "top");
    writeFile(destination / "top", "a file");
    EXPECT_EQ(unzip(), UnzipResult::diskFull);
    EXPECT_EQ(readFile(destination / "top"), "a file");
}

TEST_F(UnzipTest, RealArchiveUnpacks) {
    const fs::path real =
        fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip";
    if (!fs::exists(real)) {
        GTEST_SKIP() << "real archive not present: " << real;
    }
    zip = real;
    ASSERT_EQ(unzip(), UnzipResult::ok);
    const fs::path top = destination / "5521111111_00280081_202405271_1";
    const auto count = [](const fs::path& folder) {
        return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    };
    EXPECT_EQ(count(top / "DATA"), 4);
    EXPECT_EQ(count(top / "CLAIMS"), 4);
    EXPECT_EQ(fs::file_size(top / "ix08_V08.xml"), 811u);
    EXPECT_EQ(fs::file_size(top / "XSD/coreschemas/voc_hcgv08.xsd"), 790252u);
    EXPECT_EQ(readFile(top / "XSD/cc08_V08.xsd"),
              readFile(fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024/XSD/cc08_V08.xsd"));
}

// ---------------------------------------------------------------------------
// Archives from outside parties: quoting, what may be replaced, zip bombs,
// deep names, planted links, rollback, control characters, and the detail.

namespace {

ExtractionOptions protecting(ExtractionLimits limits = {}) {
    ExtractionOptions options;
    options.limits = limits;
    options.existingFiles = ExistingFiles::replaceOnlyInTopFolder;
    return options;
}

UnzipResult unzipInto(const fs::path& zip, const fs::path& destination,
                      const ExtractionOptions& options, StopCheck stop = {}) {
    UnzipRequest request;
    request.archive = zip.string();
    request.destination = destination.string() + "/";
    request.options = options;
    request.stopRequested = std::move(stop);
    return remember(extractArchive(request));
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    writeFile(path, bytes);
}

RawZipEntry rawLink(const std::string& name, const std::string& target) {
    RawZipEntry entry = rawFile(name, target, false);
    entry.externalAttributes = 0120777u << 16;
    return entry;
}

// Runs work in a child process that is killed after seconds; its exit code
// (128 + signal when killed) and its peak resident set in KiB.
struct ChildRun {
    int exitCode = -1;
    long peakKb = 0;
};
ChildRun inChild(const std::function<int()>& work, unsigned seconds = 60) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(seconds);
        ::_exit(work());
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    ChildRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakKb = usage.ru_maxrss;
    return run;
}

// The resident set of this process now, in KiB.
long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

struct Inode {
    dev_t device;
    ino_t inode;
    bool operator==(const Inode&) const = default;
};
Inode inodeOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return {info.st_dev, info.st_ino};
}

} // namespace

TEST(ParseUnzipCommandLine, QuotedPiecesCarryAnyPath) {
    const std::vector<std::string> paths = {
        "/w/plain.zip",
        "/w/x\"y\"z.zip",
        "/w/x\"y.zip",
        "/w/a b/c d.zip",
        "C:\\w\\b.zip",
        "/w/*.zip",
        "/w/end\".zip\"",
        "\"",
        "/w/tab\there.zip",
        "/w/''.zip",
        "/w/健診 \"データ\".zip",
    };
    for (const std::string& path : paths) {
        const std::string destination = path + " folder/";
        const auto parsed = parseUnzipCommandLine("-x -o -q " + quotedUnzipPiece(path) + " " +
                                                  quotedUnzipPiece(destination) + " *.*");
        ASSERT_TRUE(parsed.has_value()) << path;
        EXPECT_EQ(parsed->archive, path);
        EXPECT_EQ(parsed->destination, destination);
        EXPECT_EQ(parsed->patterns, std::vector<std::string>{"*.*"}) << path;
    }
    // Ordinary paths keep the classic shape; a quote is doubled.
    EXPECT_EQ(quotedUnzipPiece("/a b/c.zip"), "\"/a b/c.zip\"");
    EXPECT_EQ(quotedUnzipPiece("/x\"y\"z.zip"), "\"/x\"\"y\"\"z.zip\"");
    // A NUL would cut the path short: another file than the one named.
    EXPECT_FALSE(parseUnzipCommandLine(std::string("-x \"a.zip\0.zip\" \"d/\"", 21)).has_value());
    EXPECT_FALSE(parseUnzipCommandLine("-x \"a\"\"b.zip \"d/\"").has_value());
}

TEST_F(UnzipTest, EntriesOutsideTheTopFolderNeverReplaceFiles) {
    struct Case {
        std::string label;
        std::string entry; // besides "in put/DATA/a.xml", written first
        ExtractionOptions options;
        UnzipResult expected;
    };
    ExtractionOptions classic = protecting();
    classic.existingFiles = ExistingFiles::replace;
    const std::vector<Case> cases = {
        {"the ZIP itself", "in put.zip", protecting(), UnzipResult::wouldReplaceFile},
        {"the ZIP itself, classic -o", "in put.zip", classic, UnzipResult::wouldReplaceFile},
        {"a sibling file", "users_report.docx", protecting(), UnzipResult::wouldReplaceFile},
        {"a file in a sibling folder", "other/kept.txt", protecting(),
         UnzipResult::wouldReplaceFile},
        {"backslashes", "other\\kept.txt", protecting(), UnzipResult::wouldReplaceFile},
        {"a new file beside the top folder", "other/planted.txt", protecting(), UnzipResult::ok},
        {"a file in a subfolder of the top folder", "in put/DATA/old.xml", protecting(),
         UnzipResult::ok},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        const fs::path folder = caseDir.path();
        writeFile(folder / "users_report.docx", "mine");
        writeFile(folder / "other/kept.txt", "mine");
        writeFile(folder / "in put/DATA/old.xml", "old");
        // A second name for the old document: replacing must not write through it.
        fs::create_hard_link(folder / "in put/DATA/old.xml", folder / "old-link.xml");
        writeZip(zip, {zipFile("in put/DATA/a.xml", "a"), raw(zipFile(c.entry, "archive"))});
        const auto before = snapshot(folder);
        EXPECT_EQ(unzipInto(zip, folder, c.options), c.expected) << c.label;
        auto expected = before;
        if (c.expected == UnzipResult::ok) {
            expected["in put/DATA/a.xml"] = "a";
            std::string path = c.entry;
            std::replace(path.begin(), path.end(), '\\', '/');
            expected[path] = "archive";
            expected["other/"] = "";
        } else {
            EXPECT_EQ(lastUnzipOutcome().cause, UnzipCause::existingFile) << c.label;
            EXPECT_EQ(lastUnzipOutcome().entry,
                      c.entry == "other\\kept.txt" ? "other/kept.txt" : c.entry);
        }
        EXPECT_EQ(snapshot(folder), expected) << c.label;
        EXPECT_EQ(readFile(folder / "old-link.xml"), "old") << c.label;
    }
}

TEST_F(UnzipTest, PlantedLinksAndFifosAreReplacedNeverWrittenThrough) {
    const fs::path outside = dir.path() / "outside";
    writeFile(outside / "target.xml", "outside");
    writeFile(outside / "hard.xml", "outside hard");
    const fs::path top = dir.path() / "in put";
    fs::create_directories(top / "DATA");
    fs::create_symlink(outside / "target.xml", top / "DATA/link.xml");
    fs::create_hard_link(outside / "hard.xml", top / "DATA/hard.xml");
    ASSERT_EQ(::mkfifo((top / "DATA/fifo.xml").c_str(), 0644), 0);
    fs::create_symlink(outside / "target.xml", top / "top-link.xml");
    writeZip(zip, {zipFile("in put/DATA/link.xml", "1"), zipFile("in put/DATA/hard.xml", "2"),
                   zipFile("in put/DATA/fifo.xml", "3"), zipFile("in put/top-link.xml", "4")});
    // In a child that an alarm ends: a FIFO opened for writing would wait forever.
    const ChildRun run =
        inChild([&] { return static_cast<int>(unzipInto(zip, dir.path(), protecting())); }, 30);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(readFile(outside / "target.xml"), "outside");
    EXPECT_EQ(readFile(outside / "hard.xml"), "outside hard");
    for (const auto& [name, content] : std::map<std::string, std::string>{{"DATA/link.xml", "1"},
                                                                          {"DATA/hard.xml", "2"},
                                                                          {"DATA/fifo.xml", "3"},
                                                                          {"top-link.xml", "4"}}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(top / name))) << name;
        EXPECT_EQ(readFile(top / name), content) << name;
    }

    // A subfolder that is a link is found before anything is written.
    fs::remove_all(top / "DATA");
    fs::create_directory_symlink(outside, top / "DATA");
    const auto before = snapshot(dir.path());
    EXPECT_EQ(unzipInto(zip, dir.path(), protecting()), UnzipResult::diskFull);
    EXPECT_EQ(lastUnzipOutcome().cause, UnzipCause::notWritable);
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(UnzipTest, ZipBombsAreRefusedBeforeAnythingIsWritten) {
    const std::string page(600, 'x');
    std::string noise;
    for (std::uint32_t i = 0, x = 1; i < 700; ++i) {
        x = x * 1103515245u + 12345u;
        noise += static_cast<char>(x >> 24);
    }
    RawZipEntry first = rawFile("top/a.xml", page);
    RawZipEntry sameHeader = rawFile("top/b.xml", page);
    sameHeader.sharesHeaderOf = 0;
    RawZipEntry nested = rawFile("top/c.xml", page);
    nested.sharesHeaderOf = 0;
    nested.offsetIntoData = 2;
    RawZipEntry pastData = rawFile("top/d.xml", page);
    pastData.compressedSize = pastData.data.size() + 100;
    // The classic overlapping bomb: many entries, one kernel of data.
    std::vector<RawZipEntry> overlapping{rawFile("top/k0.xml", std::string(1 << 20, 'k'))};
    for (int i = 1; i < 125; ++i) {
        RawZipEntry again = overlapping.front();
        again.name = "top/k" + std::to_string(i) + ".xml";
        again.sharesHeaderOf = 0;
        overlapping.push_back(again);
    }
    RawZipEntry zeros;
    zeros.name = "top/zeros.bin";
    zeros.size = 8u << 20;
    zeros.data = deflatedZeros(zeros.size);
    zeros.crc = crc32OfZeros(zeros.size);
    std::vector<RawZipEntry> manySmall;
    for (int i = 0; i < 40; ++i) {
        RawZipEntry small = zeros;
        small.name = "top/small" + std::to_string(i) + ".bin";
        small.size = 1u << 20;
        small.data = deflatedZeros(small.size);
        small.crc = crc32OfZeros(small.size);
        manySmall.push_back(small);
    }
    // 10 GiB declared in one entry, 10 MB packed.
    RawZipEntry huge;
    huge.name = "top/huge.bin";
    huge.zip64 = true;
    huge.size = std::uint64_t{10} << 30;
    huge.data = std::string(10'000'000, '\0');
    ExtractionLimits smallTotal;
    smallTotal.maxTotalBytes = 1000;
    ExtractionLimits raised;
    raised.maxRatio = 2000;

    struct Case {
        std::string label;
        std::vector<RawZipEntry> entries;
        ExtractionLimits limits;
        UnzipResult expected;
        UnzipCause cause;
    };
    const std::vector<Case> cases = {
        {"two entries, one local header",
         {first, sameHeader},
         {},
         UnzipResult::archiveError,
         UnzipCause::overlappingEntries},
        {"a header inside another's data",
         {first, nested},
         {},
         UnzipResult::archiveError,
         UnzipCause::overlappingEntries},
        {"data past the archive's data",
         {first, pastData},
         {},
         UnzipResult::archiveError,
         UnzipCause::overlappingEntries},
        {"125 entries over one kernel",
         overlapping,
         {},
         UnzipResult::archiveError,
         UnzipCause::overlappingEntries},
        {"one entry of 8 MiB zeros",
         {first, zeros},
         {},
         UnzipResult::limitExceeded,
         UnzipCause::ratioLimit},
        {"40 entries of 1 MiB zeros",
         manySmall,
         {},
         UnzipResult::limitExceeded,
         UnzipCause::ratioLimit},
        {"10 GiB in one ZIP64 entry",
         {first, huge},
         {},
         UnzipResult::limitExceeded,
         UnzipCause::ratioLimit},
        {"more than the total limit",
         {rawFile("top/n1", noise, false), rawFile("top/n2", noise)},
         smallTotal,
         UnzipResult::limitExceeded,
         UnzipCause::totalSizeLimit},
        {"8 MiB zeros under a raised ratio",
         {first, zeros},
         raised,
         UnzipResult::ok,
         UnzipCause::none},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeBytes(zip, rawZip(c.entries));
        const auto before = snapshot(caseDir.path());
        EXPECT_EQ(unzipInto(zip, destination, protecting(c.limits)), c.expected) << c.label;
        EXPECT_EQ(lastUnzipOutcome().cause, c.cause)
            << c.label << ": " << lastUnzipOutcome().message;
        if (c.expected != UnzipResult::ok) {
            EXPECT_EQ(snapshot(caseDir.path()), before) << c.label;
        } else {
            EXPECT_EQ(fs::file_size(destination / "top/zeros.bin"), 8u << 20);
        }
    }
}

TEST_F(UnzipTest, NamesLongerThanFileSystemsTakeAreRefused) {
    const auto deep = [](std::size_t folders) {
        std::string name;
        for (std::size_t i = 0; i < folders; ++i) {
            name += "a/";
        }
        return name + "f.xml";
    };
    struct Case {
        std::string label;
        std::string name;
        UnzipResult expected;
    };
    const std::vector<Case> cases = {
        {"255-byte component", "top/" + std::string(255, 'n'), UnzipResult::ok},
        {"256-byte component", "top/" + std::string(256, 'n'), UnzipResult::archiveError},
        {"300-byte component", "top/" + std::string(300, 'n') + "/a.xml",
         UnzipResult::archiveError},
        {"500 folders deep", deep(500), UnzipResult::ok},
        {"4,200-byte path", deep(2100), UnzipResult::archiveError},
        {"65,000-byte name", "top/" + std::string(64'995, 'n'), UnzipResult::archiveError},
        {"32,700 one-letter folders", deep(32'700), UnzipResult::archiveError},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeBytes(zip, rawZip({rawFile("top/first.xml", "first"), rawFile(c.name, "x")}));
        const auto before = snapshot(caseDir.path());
        EXPECT_EQ(unzipInto(zip, destination, protecting()), c.expected) << c.label;
        if (c.expected == UnzipResult::ok) {
            EXPECT_EQ(readFile(destination / c.name), "x") << c.label;
        } else {
            EXPECT_EQ(lastUnzipOutcome().cause, UnzipCause::nameTooLong) << c.label;
            EXPECT_EQ(snapshot(caseDir.path()), before) << c.label;
        }
    }
}

TEST_F(UnzipTest, BookkeepingGrowsWithNameLengthNotItsSquare) {
    // How much one extraction adds to a child process's resident set: the
    // child's peak less what it had from its parent when it started.
    const auto growthKbFor = [&](const std::string& name) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeBytes(zip, rawZip({rawFile(name, "x")}));
        const long startKb = residentKb();
        const ChildRun run =
            inChild([&] { return static_cast<int>(unzipInto(zip, destination, protecting())); });
        return std::make_pair(run.exitCode, run.peakKb - startKb);
    };
    std::string allowed;
    // Not deeper than remove_all can clean up with the usual 1024 descriptors.
    while (allowed.size() < 1000) {
        allowed += "a/";
    }
    std::string deepest;
    for (int i = 0; i < 32'700; ++i) {
        deepest += "a/";
    }
    const auto [shallowCode, shallowKb] = growthKbFor("top/f.xml");
    const auto [allowedCode, allowedKb] = growthKbFor(allowed + "f.xml");
    const auto [deepestCode, deepestKb] = growthKbFor(deepest + "f.xml");
    EXPECT_EQ(shallowCode, 0);
    EXPECT_EQ(allowedCode, 0);
    EXPECT_EQ(deepestCode, static_cast<int>(UnzipResult::archiveError));
    // 32,700 folders deep once took 1.16 GB; linear bookkeeping of a name of
    // 65 KB adds a few MB at most.
    EXPECT_LT(allowedKb, shallowKb + 16 * 1024) << shallowKb;
    EXPECT_LT(deepestKb, shallowKb + 16 * 1024) << shallowKb;
}

// The stop check is asked before each entry and every few megabytes inside
// a long one; when it answers true the extraction is rolled back exactly as a
// failure is, also over files an earlier extraction left in the top folder.
TEST_F(UnzipTest, StopCheckRollsBackBetweenAndInsideEntries) {
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 5; ++i) {
        entries.push_back(zipFile("in put/DATA/d" + std::to_string(i) + ".xml", "<d/>"));
    }
    entries.push_back(zipFile("in put/DATA/long.xml", std::string(9 << 20, 'x')));
    writeZip(zip, entries);
    writeFile(destination / "in put/DATA/d0.xml", "earlier");
    const auto before = snapshot(dir.path());
    ExtractionLimits limits;
    limits.maxRatio = 1e6; // the long entry is one letter repeated
    struct Case {
        int allowed; // how many answers are false
        int asked;   // how many questions, at least
    };
    // One question before each of the 6 entries, two inside the 9 MiB one
    // (at 4 and 8 MiB), one before the files are put in place.
    for (const Case c : {Case{0, 1}, Case{3, 4}, Case{6, 7}, Case{7, 8}, Case{8, 9}}) {
        int asked = 0;
        EXPECT_EQ(
            unzipInto(zip, destination, protecting(limits), [&] { return asked++ >= c.allowed; }),
            UnzipResult::interrupted)
            << c.allowed;
        EXPECT_EQ(lastUnzipOutcome().cause, UnzipCause::stopped);
        EXPECT_EQ(asked, c.asked) << c.allowed;
        EXPECT_TRUE(snapshot(dir.path()) == before) << c.allowed;
    }
    int asked = 0;
    EXPECT_EQ(unzipInto(zip, destination, protecting(limits), [&] { return ++asked < 0; }),
              UnzipResult::ok);
    EXPECT_EQ(asked, 9);
    EXPECT_EQ(readFile(destination / "in put/DATA/d0.xml"), "<d/>");
}

TEST_F(UnzipTest, FailureWhileWritingLeavesTheDestinationAsItWas) {
    const auto badCrc = [](RawZipEntry entry) {
        entry.crc ^= 1;
        return entry;
    };
    RawZipEntry larger = rawFile("in put/DATA/z.xml", std::string(5000, 'z'));
    larger.size = 100;
    RawZipEntry shorter = rawFile("in put/DATA/z.xml", std::string(5000, 'z'));
    shorter.size = 6000;
    struct Case {
        std::string label;
        RawZipEntry last;
        UnzipCause cause;
    };
    const std::vector<Case> cases = {
        {"CRC error", badCrc(rawFile("in put/DATA/z.xml", "zzz")), UnzipCause::badData},
        {"CRC error, stored", badCrc(rawFile("in put/DATA/z.xml", "zzz", false)),
         UnzipCause::badData},
        {"larger than declared", larger, UnzipCause::badData},
        {"smaller than declared", shorter, UnzipCause::badData},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        const fs::path folder = caseDir.path();
        writeFile(folder / "in put/DATA/01.xml", "old 01");
        writeFile(folder / "in put/.hidden", "hidden");
        const Inode oldInode = inodeOf(folder / "in put/DATA/01.xml");
        std::vector<RawZipEntry> entries;
        for (int i = 0; i < 26; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "in put/DATA/%02d.xml", i);
            entries.push_back(rawFile(name, "new " + std::to_string(i)));
        }
        entries.push_back(rawFile("in put/NEW/x.xml", "x"));
        entries.push_back(c.last);
        writeBytes(zip, rawZip(entries));
        const auto before = snapshot(folder);
        EXPECT_EQ(unzipInto(zip, folder, protecting()), UnzipResult::archiveError) << c.label;
        EXPECT_EQ(lastUnzipOutcome().cause, c.cause)
            << c.label << ": " << lastUnzipOutcome().message;
        EXPECT_EQ(lastUnzipOutcome().entry, "in put/DATA/z.xml") << c.label;
        // Exactly as before, the replaced file itself put back, no temporaries.
        EXPECT_EQ(snapshot(folder), before) << c.label;
        EXPECT_EQ(inodeOf(folder / "in put/DATA/01.xml"), oldInode) << c.label;
    }
}

// A failure while the files are put in place (a folder made meanwhile where
// one of them goes) rolls back what was already replaced: every earlier file
// back from aside, every new one and every made folder gone, whichever file
// is the one that fails. The journal keeps numbers, not names, for this.
TEST_F(UnzipTest, FailureWhilePuttingInPlacePutsEveryReplacedFileBack) {
    constexpr int kFiles = 10;
    const auto nameOf = [](int i) {
        char name[32];
        std::snprintf(name, sizeof name, "in put/DATA/%02d.xml", i);
        return std::string(name);
    };
    for (const int blocked : {0, 5, kFiles - 1}) {
        const TempDir caseDir;
        useFolder(caseDir);
        const fs::path folder = caseDir.path();
        std::vector<RawZipEntry> entries;
        std::map<std::string, Inode> replaced;
        for (int i = 0; i < kFiles; ++i) {
            entries.push_back(rawFile(nameOf(i), "new " + std::to_string(i)));
            if (i % 2 == 0 && i != blocked) {
                writeFile(folder / nameOf(i), "old " + std::to_string(i));
                replaced[nameOf(i)] = inodeOf(folder / nameOf(i));
            }
        }
        entries.push_back(rawFile("in put/NEW/x.xml", "x"));
        writeBytes(zip, rawZip(entries));
        auto expected = snapshot(folder);
        expected[nameOf(blocked) + "/"] = "";
        // Asked before the first entry: after the destination was looked at.
        bool planted = false;
        const auto plant = [&] {
            if (!planted) {
                fs::create_directories(folder / nameOf(blocked));
                planted = true;
            }
            return false;
        };
        EXPECT_EQ(unzipInto(zip, folder, protecting(), plant), UnzipResult::diskFull) << blocked;
        EXPECT_EQ(lastUnzipOutcome().cause, UnzipCause::notWritable) << blocked;
        EXPECT_EQ(lastUnzipOutcome().entry, nameOf(blocked)) << blocked;
        EXPECT_EQ(snapshot(folder), expected) << blocked;
        for (const auto& [name, inode] : replaced) {
            EXPECT_EQ(inodeOf(folder / name), inode) << blocked << " " << name;
        }
    }
}

TEST_F(UnzipTest, ControlCharactersInNamesAreRefused) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {std::string("top/zz\0.xml", 11), "top/zz\\x00.xml"},
        {"top/a\x01.xml", "top/a\\x01.xml"},
        {"top/tab\t.xml", "top/tab\\x09.xml"},
        {"top/line\n.xml", "top/line\\x0A.xml"},
        {"top/\x1f", "top/\\x1F"},
        {"top/del\x7f.xml", "top/del\\x7F.xml"},
    };
    for (const auto& [name, shown] : names) {
        for (const bool flagged : {false, true}) {
            const TempDir caseDir;
            useFolder(caseDir);
            RawZipEntry entry = rawFile(name, "x");
            entry.flags = flagged ? 0x0800 : 0;
            writeBytes(zip, rawZip({rawFile("top/first.xml", "first"), entry}));
            const auto before = snapshot(caseDir.path());
            EXPECT_EQ(unzipInto(zip, destination, protecting()), UnzipResult::archiveError)
                << shown;
            EXPECT_EQ(lastUnzipOutcome().cause, UnzipCause::controlCharacter) << shown;
            EXPECT_EQ(lastUnzipOutcome().entry, shown);
            EXPECT_EQ(snapshot(caseDir.path()), before) << shown;
        }
    }
    // C1 controls, as UTF-8.
    zip = dir.path() / "in put.zip";
    destination = dir.path() / "out";
    writeZip(zip, {zipFile("top/first.xml", "first"), zipFile("top/nel\u0085.xml", "x")});
    EXPECT_EQ(unzip(), UnzipResult::archiveError);
    EXPECT_EQ(lastUnzipOutcome().entry, "top/nel\\xC2\\x85.xml");
    EXPECT_FALSE(fs::exists(destination / "top"));
}

TEST_F(UnzipTest, DetailTellsTheEntryTheLimitAndLibarchivesWords) {
    ExtractionLimits small;
    small.maxTotalBytes = 10;
    struct Expected {
        UnzipResult result = UnzipResult::ok;
        UnzipCause cause = UnzipCause::none;
        std::string entry;
        std::uint64_t needed = 0;
        std::uint64_t allowed = 0;
        std::string message; // a part it must contain
    };
    struct Case {
        std::string label;
        std::vector<RawZipEntry> entries;
        ExtractionLimits limits;
        Expected expected;
    };
    RawZipEntry crc = rawFile("top/bad.xml", "data");
    crc.crc ^= 1;
    const std::vector<Case> cases = {
        {"success", {rawFile("top/a.xml", "a")}, {}, {}},
        {"total size",
         {rawFile("top/a.xml", "123456"), rawFile("top/b.xml", "123456")},
         small,
         {UnzipResult::limitExceeded, UnzipCause::totalSizeLimit, "", 12, 10,
          "the files declare in total 12 bytes, more than the limit 10 bytes"}},
        {"CRC",
         {rawFile("top/a.xml", "a"), crc},
         {},
         {UnzipResult::archiveError, UnzipCause::badData, "top/bad.xml", 0, 0,
          "entry \"top/bad.xml\": libarchive: ZIP bad CRC"}},
        {"link",
         {rawLink("top/link", "../..")},
         {},
         {UnzipResult::archiveError, UnzipCause::linkOrDevice, "top/link", 0, 0,
          "entry \"top/link\": a link"}},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeBytes(zip, rawZip(c.entries));
        EXPECT_EQ(unzipInto(zip, destination, protecting(c.limits)), c.expected.result) << c.label;
        const UnzipOutcome& detail = lastUnzipOutcome();
        EXPECT_EQ(detail.cause, c.expected.cause) << c.label;
        EXPECT_EQ(detail.entry, c.expected.entry) << c.label;
        EXPECT_EQ(detail.needed, c.expected.needed) << c.label;
        EXPECT_EQ(detail.allowed, c.expected.allowed) << c.label;
        EXPECT_NE(detail.message.find(c.expected.message), std::string::npos)
            << c.label << ": " << detail.message;
        EXPECT_EQ(detail.message.empty(), c.expected.message.empty()) << c.label;
    }
    const UnzipOutcome unparsed = unzipCommandLine("-x \"unclosed", freeSpaceOf);
    EXPECT_EQ(unparsed.result, UnzipResult::badCommandLine);
    EXPECT_EQ(unparsed.cause, UnzipCause::commandLine);
}

namespace {

// The archive's bytes with its end record (the last 22 bytes, no comment)
// changed by edit, then comment appended.
std::string withEndRecord(std::string bytes, const std::function<void(char*)>& edit,
                          const std::string& comment = {}) {
    char* end = bytes.data() + bytes.size() - 22;
    end[20] = static_cast<char>(comment.size() & 0xFF);
    end[21] = static_cast<char>(comment.size() >> 8);
    edit(end);
    return bytes + comment;
}

} // namespace

// Hostile archives, round three: the end record anywhere in the last 64 KiB
// + 22 bytes, split archives, and counts that cost inodes whatever the bytes.
TEST_F(UnzipTest, CommentsMultiDiskAndCountLimits) {
    const std::vector<RawZipEntry> two = {rawFile("in put/a.xml", "<a/>"),
                                          rawFile("in put/b/c.xml", "<c/>")};
    ExtractionLimits fewEntries;
    fewEntries.maxEntries = 1;
    ExtractionLimits fewFolders;
    fewFolders.maxFolders = 2; // "in put" and "b"
    std::vector<RawZipEntry> deep;
    std::string path = "in put";
    for (int i = 0; i < 50; ++i) {
        path += "/d";
        deep.push_back(rawFile(path + "/f.xml", "<f/>"));
    }
    ExtractionLimits tenFolders;
    tenFolders.maxFolders = 10;
    struct Case {
        std::string label;
        std::string bytes;
        ExtractionLimits limits;
        UnzipResult result;
        UnzipCause cause;
        std::uint64_t needed = 0;
        std::uint64_t allowed = 0;
    };
    const std::string noEdit;
    const std::vector<Case> cases = {
        {"comment of 65,535 bytes",
         withEndRecord(
             rawZip(two), [](char*) {}, std::string(65535, 'c')),
         {},
         UnzipResult::ok,
         UnzipCause::none},
        {"comment holding an end record's signature",
         withEndRecord(
             rawZip(two), [](char*) {},
             std::string(40000, 'c') + "PK\x05\x06" + std::string(100, 'c')),
         {},
         UnzipResult::ok,
         UnzipCause::none},
        {"last part of a split archive",
         withEndRecord(rawZip(two),
                       [](char* e) {
                           e[4] = 2;
                           e[6] = 2;
                       }),
         {},
         UnzipResult::unexpectedEnd,
         UnzipCause::multiDisk},
        {"entries past the count", rawZip(two), fewEntries, UnzipResult::limitExceeded,
         UnzipCause::entryCountLimit, 2, 1},
        {"folders up to the count", rawZip(two), fewFolders, UnzipResult::ok, UnzipCause::none},
        {"deep folders past the count", rawZip(deep), tenFolders, UnzipResult::limitExceeded,
         UnzipCause::folderCountLimit, 11, 10},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeBytes(zip, c.bytes);
        const auto before = snapshot(caseDir.path());
        EXPECT_EQ(unzipInto(zip, destination, protecting(c.limits)), c.result)
            << c.label << ": " << lastUnzipOutcome().message;
        EXPECT_EQ(lastUnzipOutcome().cause, c.cause) << c.label;
        EXPECT_EQ(lastUnzipOutcome().needed, c.needed) << c.label;
        EXPECT_EQ(lastUnzipOutcome().allowed, c.allowed) << c.label;
        if (c.result == UnzipResult::ok) {
            EXPECT_EQ(readFile(destination / "in put/a.xml"), "<a/>") << c.label;
        } else {
            EXPECT_TRUE(snapshot(caseDir.path()) == before) << c.label;
        }
    }
    // The defaults leave room for 20 times the largest real archive (about
    // 20,000 entries in a handful of folders).
    EXPECT_GE(ExtractionLimits::kDefaultMaxEntries, 20u * 20'000u);
    EXPECT_GE(ExtractionLimits::kDefaultMaxFolders, 20u * 10u);
}

namespace {

// The lines of the journal an extraction keeps in folder, or empty text.
std::string journalText(const fs::path& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".morvik-unzip-") && name.ends_with(".journal")) {
            return readFile(entry.path());
        }
    }
    return {};
}

std::size_t countLines(const std::string& text, char step) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        count += text[at] == step ? 1 : 0;
        if (text.find('\n', at) == std::string::npos) {
            break;
        }
    }
    return count;
}

} // namespace

// An extraction killed with SIGKILL cannot roll back; its journal on disk lets
// the next extraction into the same destination finish the rollback first:
// killed while files are written, while earlier files are moved aside, or
// while the files are put in place, the next run finds the destination as
// it was before the killed one, then unpacks.
namespace {
// Where the child of KilledExtractionIsRolledBackByTheNextOne stops.
struct KillPoint {
    char step = 0;
    std::size_t lines = 0;
    int pipe = -1;
};
KillPoint g_killPoint;
} // namespace

TEST_F(UnzipTest, KilledExtractionIsRolledBackByTheNextOne) {
    std::vector<ZipEntry> entries;
    for (int i = 0; i < 4000; ++i) {
        entries.push_back(zipFile("in put/DATA/d" + std::to_string(i) + ".xml",
                                  std::string(2000 + i % 7, 'a' + static_cast<char>(i % 26))));
    }
    struct Case {
        std::string label;
        char step; // killed once the journal holds this many lines of step
        std::size_t lines;
    };
    const std::vector<Case> cases = {
        {"writing the first files", 'T', 10},           {"writing", 'T', 2000},
        {"moving earlier files aside", 'A', 50},        {"putting files in place", 'P', 100},
        {"putting the last files in place", 'P', 3500},
    };
    for (const Case& c : cases) {
        const TempDir caseDir;
        useFolder(caseDir);
        writeZip(zip, entries);
        // An earlier copy in the top folder: its files are moved aside.
        for (int i = 0; i < 300; ++i) {
            writeFile(destination / ("in put/DATA/d" + std::to_string(i) + ".xml"), "earlier");
        }
        writeFile(destination / "users_file.txt", "mine");
        const auto before = snapshot(caseDir.path());
        // The child stops once its journal holds the lines wanted and says
        // so through a pipe; it is killed there, whatever the machine's speed.
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        g_killPoint = {c.step, c.lines, ready[1]};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            ::alarm(60);
            setJournalWatch([](char step, std::size_t lines) {
                if (step == g_killPoint.step && lines == g_killPoint.lines) {
                    const char byte = 'k';
                    (void)!::write(g_killPoint.pipe, &byte, 1);
                    for (;;) {
                        ::pause();
                    }
                }
            });
            ::_exit(static_cast<int>(unzipInto(zip, destination, protecting())));
        }
        ::close(ready[1]);
        char byte = 0;
        const bool stopped = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(stopped && WIFSIGNALED(status))
            << c.label << ": finished before the kill point, status " << status;
        EXPECT_EQ(countLines(journalText(destination), c.step), c.lines) << c.label;

        // The next run finishes the rollback (the destination is as it was),
        // then unpacks; nothing of the killed run is left.
        EXPECT_EQ(recoverInterruptedExtractions(destination.string()), 1u) << c.label;
        EXPECT_TRUE(snapshot(caseDir.path()) == before) << c.label;
        ASSERT_EQ(unzipInto(zip, destination, protecting()), UnzipResult::ok) << c.label;
        EXPECT_EQ(readFile(destination / "in put/DATA/d1.xml"), entries[1].content) << c.label;
        EXPECT_EQ(readFile(destination / "users_file.txt"), "mine") << c.label;
        std::size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(destination)) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.starts_with(".")) << c.label << ": " << entry.path();
            files += entry.is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(files, entries.size() + 1) << c.label;
    }
    // A journal of a process that still runs is left alone.
    const std::string live = ".morvik-unzip-" + std::to_string(::getppid()) + "-1.journal";
    writeFile(destination / live, "T\tin put/x\t\n");
    EXPECT_EQ(recoverInterruptedExtractions(destination.string()), 0u);
    EXPECT_TRUE(fs::exists(destination / live));
}

// An extraction interrupted before journals were kept left its temporaries
// (hidden, named .unzip-XXXXXXXX-N) beside the files it was writing; the
// next extraction removes those of ours below the archive's top folder and
// in the destination itself, and nothing that only looks like them.
TEST_F(UnzipTest, StaleTemporariesOfOursAreRemoved) {
    const TempDir caseDir;
    useFolder(caseDir);
    writeZip(zip, {zipFile("in put/DATA/d.xml", "data")});
    const std::string ours = ".unzip-0a1b2c3d-";
    struct Case {
        std::string path;
        bool removed;
    } cases[] = {
        {"in put/DATA/" + ours + "0", true},
        {"in put/DATA/deeper/" + ours + "1f", true},
        {"in put/" + ours + "2", true},
        {ours + "3", true},
        {"in put/DATA/.unzip-notours", false},
        {"in put/DATA/.unzip-0A1B2C3D-4", false},
        {"in put/DATA/" + ours, false},
        {"in put/DATA/.unzip-0a1b2c3d-5.xml", false},
        {"other/" + ours + "6", false}, // not the archive's folder
        {"in put/DATA/" + ours + "7", false}, // named by a journal of a live run
    };
    for (const Case& c : cases) {
        writeFile(destination / c.path, "left");
    }
    const std::string live = ".morvik-unzip-" + std::to_string(::getppid()) + "-1.journal";
    writeFile(destination / live, "T\tin put/DATA/" + ours + "7\t\n");
    // A folder and a link named like ours are not files of ours.
    fs::create_directories(destination / "in put" / (ours + "8"));
    fs::create_symlink(destination / "other" / (ours + "6"), destination / "in put" / (ours + "9"));

    ASSERT_EQ(unzipInto(zip, destination, protecting()), UnzipResult::ok);
    EXPECT_EQ(lastUnzipOutcome().removedTemporaries, 4u);
    for (const Case& c : cases) {
        EXPECT_EQ(fs::exists(destination / c.path), !c.removed) << c.path;
    }
    EXPECT_TRUE(fs::is_directory(destination / "in put" / (ours + "8")));
    EXPECT_TRUE(fs::is_symlink(destination / "in put" / (ours + "9")));
    EXPECT_EQ(readFile(destination / "in put/DATA/d.xml"), "data");
    // Nothing left: the next run has nothing to remove.
    fs::remove_all(destination / "in put");
    ASSERT_EQ(unzipInto(zip, destination, protecting()), UnzipResult::ok);
    EXPECT_EQ(lastUnzipOutcome().removedTemporaries, 0u);
}

namespace {

// Wants the .xsd files first and the data of the .xml files; records what
// stood in the destination when the first files were said to be in place.
struct RecordingSink : ExtractionSink {
    fs::path destination;
    int firstPlacedCalls = 0;
    std::map<std::string, std::string> atFirstPlaced; // as snapshot() shows it
    std::map<std::string, std::string> data;

    bool first(std::string_view path) override { return path.ends_with(".xsd"); }
    void firstPlaced(std::uint64_t) override {
        ++firstPlacedCalls;
        atFirstPlaced = snapshot(destination);
        std::erase_if(atFirstPlaced, [](const auto& entry) {
            return entry.first.back() == '/' || entry.first.find(".unzip-") != std::string::npos ||
                   entry.first.find(".morvik-unzip-") != std::string::npos;
        });
    }
    bool wanted(std::string_view path, std::uint64_t) override { return path.ends_with(".xml"); }
    void inflated(std::string_view path, std::string bytes) override {
        data.emplace(std::string(path), std::move(bytes));
    }
};

} // namespace

// Whatever their place in the archive, the files a sink wants first are in
// place, alone, before any other file is written; the others' data reach it
// as written; a later failure takes the first files away again and puts back
// what they replaced.
TEST_F(UnzipTest, SinkGetsItsFilesFirstAndTheOthersAsInflated) {
    const std::vector<std::pair<std::string, std::string>> schemas = {{"a/XSD/s.xsd", "<s/>"},
                                                                      {"a/XSD/t.xsd", "<t/>"}};
    const std::vector<std::pair<std::string, std::string>> documents = {
        {"a/ix.xml", "index"}, {"a/DATA/d1.xml", std::string(200000, 'd')}, {"a/DATA/d2.xml", ""}};
    struct Case {
        const char* what;
        std::vector<std::size_t> order; // into schemas (0, 1) then documents (2, 3, 4)
        bool failLast;                  // the last entry's CRC is wrong
    };
    const std::vector<Case> cases = {
        {"schemas first", {0, 1, 2, 3, 4}, false},
        {"schemas last", {2, 3, 4, 0, 1}, false},
        {"schemas between", {2, 0, 3, 1, 4}, false},
        {"no schema", {2, 3, 4}, false},
        {"last document damaged, schemas in place", {0, 1, 2, 4, 3}, true},
        {"last schema damaged", {2, 3, 4, 0, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir caseDir;
        useFolder(caseDir);
        // A schema replaced inside the top folder must come back on failure.
        writeFile(destination / "a/XSD/s.xsd", "old");
        std::vector<RawZipEntry> entries;
        std::map<std::string, std::string> expectedFirst = {{"a/XSD/s.xsd", "old"}};
        for (const std::size_t i : c.order) {
            const auto& [name, content] = i < 2 ? schemas[i] : documents[i - 2];
            entries.push_back(rawFile(name, content));
            if (i < 2) {
                expectedFirst[name] = content;
            }
        }
        if (c.failLast) {
            entries.back().crc ^= 1;
        }
        writeBytes(zip, rawZip(entries));
        const auto before = snapshot(destination);
        RecordingSink sink;
        sink.destination = destination;
        UnzipRequest request;
        request.archive = zip.string();
        request.destination = destination.string() + "/";
        request.options.existingFiles = ExistingFiles::replace;
        request.sink = &sink;
        const UnzipOutcome outcome = extractArchive(request);
        if (c.failLast) {
            EXPECT_EQ(outcome.result, UnzipResult::archiveError);
            EXPECT_EQ(snapshot(destination), before);
            continue;
        }
        ASSERT_EQ(outcome.result, UnzipResult::ok) << outcome.message;
        EXPECT_EQ(sink.firstPlacedCalls, 1);
        EXPECT_EQ(sink.atFirstPlaced, expectedFirst);
        std::map<std::string, std::string> expectedData(documents.begin(), documents.end());
        EXPECT_EQ(sink.data, expectedData);
        for (const auto& [name, content] : expectedData) {
            EXPECT_EQ(readFile(destination / name), content) << name;
        }
    }
}
