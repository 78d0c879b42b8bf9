// The unzip layer: the command line, what an archive from outside parties may
// not do (asserting that nothing at all was written), the result codes for
// damaged archives, names in CP932 and with backslashes, and the real archive.
#include "platform/unzip.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <functional>
#include <map>

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
    UnzipResult unzip(const std::string& patterns = "*.*") {
        return unzipCommandLine("-x -o -q \"" + zip.string() + "\" \"" + destination.string() +
                                    "//\" " + patterns,
                                freeSpaceOf);
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
    EXPECT_EQ(unzip("*.csv"), UnzipResult::noMatchingFiles);
    EXPECT_FALSE(fs::exists(destination / "top"));
    EXPECT_EQ(unzip("*.xml"), UnzipResult::ok);
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
                               }),
              UnzipResult::diskFull);
    EXPECT_EQ(askedFor, destination.string() + "/");
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_EQ(unzipCommandLine(command,
                               [](const std::string&) { return std::optional<std::uint64_t>(11); }),
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
