// Path and file helpers: the worked examples with the Windows separator as
// written, the same with "/", and FileChk on what can go wrong with a file.
#include "inspection/bytesize.h"
#include "inspection/paths.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace morvik::inspection;
using morvik::test::TempDir;
using morvik::test::writeFile;

namespace {

struct SplitCase {
    std::string fileName;
    std::string folderPart;
    std::string makeFile;
    std::string makeDir;
};

std::string toSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

} // namespace

TEST(GetDirectoryMemberSplit, WorkedExamplesWithBothSeparators) {
    const std::vector<SplitCase> cases = {
        {R"(C:\a\b.zip)", R"(C:\a\)", "b.zip", "b"},
        {R"(C:\a\b)", R"(C:\a\)", "b", "b"},
        {R"(C:\a.b\c)", R"(C:\a.b\)", "c", "c"},
        {R"(C:\a\b.c.zip)", R"(C:\a\)", "b.c.zip", "b.c"},
        {R"(C:\a\)", R"(C:\a\)", "", ""},
        {R"(C:\a\.zip)", R"(C:\a\)", ".zip", ""},
        {R"(C:\a\b.)", R"(C:\a\)", "b.", "b."},
        {R"(C:\a\a.b.)", R"(C:\a\)", "a.b.", "a"},
        {R"(C:\x.y)", R"(C:\)", "x.y", "x"},
        {R"(C:\a\健診データ.ZIP)", R"(C:\a\)", "健診データ.ZIP", "健診データ"},
        // A folder without its closing separator: its dot starts an "extension".
        {R"(C:\a\b.d)", R"(C:\a\)", "b.d", "b"},
    };
    for (const auto& c : cases) {
        for (char separator : {'\\', '/'}) {
            const auto adapt = [&](const std::string& s) {
                return separator == '\\' ? s : toSlashes(s);
            };
            std::string makeDir = "stale";
            std::string makeFile = "stale";
            const std::string folder =
                GetDirectoryMemberSplit(adapt(c.fileName), makeDir, makeFile, separator);
            EXPECT_EQ(folder, adapt(c.folderPart)) << c.fileName << " sep " << separator;
            EXPECT_EQ(makeFile, c.makeFile) << c.fileName << " sep " << separator;
            EXPECT_EQ(makeDir, c.makeDir) << c.fileName << " sep " << separator;
        }
    }
}

TEST(GetDirectoryMemberSplit, BackslashIsOrdinaryWithSlashSeparator) {
    std::string makeDir;
    std::string makeFile;
    EXPECT_EQ(GetDirectoryMemberSplit(R"(/x/a\b.zip)", makeDir, makeFile, '/'), "/x/");
    EXPECT_EQ(makeFile, R"(a\b.zip)");
    EXPECT_EQ(makeDir, R"(a\b)");
}

TEST(GetDirectoryMemberSplit, PathWithoutSeparatorIsAllName) {
    std::string makeDir = "x";
    std::string makeFile = "x";
    EXPECT_EQ(GetDirectoryMemberSplit("b.zip", makeDir, makeFile, '/'), "");
    EXPECT_EQ(makeFile, "b.zip");
    EXPECT_EQ(makeDir, "b");
    EXPECT_EQ(GetDirectoryMemberSplit(".zip", makeDir, makeFile, '/'), "");
    EXPECT_EQ(makeDir, "");
    EXPECT_EQ(GetDirectoryMemberSplit("", makeDir, makeFile, '/'), "");
    EXPECT_EQ(makeFile, "");
    EXPECT_EQ(makeDir, "");
}

TEST(Getpbsl, ClosingSeparator) {
    EXPECT_EQ(Getpbsl(R"(C:\x\)", '\\'), "");
    EXPECT_EQ(Getpbsl(R"(C:\x)", '\\'), "\\");
    EXPECT_EQ(Getpbsl("", '\\'), "\\");
    EXPECT_EQ(Getpbsl("/x/"), "");
    EXPECT_EQ(Getpbsl("/x"), "/");
    EXPECT_EQ(Getpbsl(""), "/");
    // Exact comparison: a slash does not close a Windows path.
    EXPECT_EQ(Getpbsl("C:/x/", '\\'), "\\");
}

TEST(FileChk, OutcomesByKindOfPath) {
    TempDir dir;
    const auto file = dir.path() / "doc.xml";
    writeFile(file, "<a/>");
    std::filesystem::create_directory(dir.path() / "sub.xml");
    ::mkfifo((dir.path() / "pipe.xml").c_str(), 0644);

    EXPECT_EQ(FileChk(""), -1);
    EXPECT_EQ(FileChk("   "), -1);
    EXPECT_EQ(FileChk(file.string()), 0);
    EXPECT_EQ(FileChk((dir.path() / "missing.xml").string()), -2);
    EXPECT_EQ(FileChk((dir.path() / "nofolder" / "x.xml").string()), -2);
    EXPECT_NE(FileChk((dir.path() / "sub.xml").string()), 0);
    EXPECT_NE(FileChk((dir.path() / "pipe.xml").string()), 0); // and does not hang
    // Blanks around the path are part of the name tested.
    EXPECT_EQ(FileChk(" " + file.string()), -2);
    EXPECT_EQ(FileChk(file.string() + " "), -2);
    writeFile(file.string() + " ", "x");
    EXPECT_EQ(FileChk(file.string() + " "), 0);
}

TEST(FileChk, LeavesFileUnchanged) {
    TempDir dir;
    const auto file = dir.path() / "doc.xml";
    writeFile(file, "content");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    for (int i = 0; i < 2000; ++i) { // a leaked descriptor per call would show up below
        ASSERT_EQ(FileChk(file.string()), 0);
    }
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_size, after.st_size);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(morvik::test::readFile(file), "content");
    const auto openFds = std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                       std::filesystem::directory_iterator());
    EXPECT_LT(openFds, 100);
}

TEST(FileChk, UnreadableFileIsRefused) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const auto file = dir.path() / "secret.xml";
    writeFile(file, "<a/>");
    std::filesystem::permissions(file, std::filesystem::perms::owner_write);
    // Root reads everything; check as an ordinary user in a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(99);
        }
        ::_exit(FileChk(file.string()) != 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an unreadable file passed FileChk";
}

TEST(ByteSize, SizesAsPeopleWriteThem) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"1", 1},
        {"500", 500},
        {"64K", 64 * 1024},
        {"64k", 64 * 1024},
        {"8G", std::uint64_t{8} << 30},
        {"2T", std::uint64_t{2} << 40},
        {"0", std::nullopt},
        {"", std::nullopt},
        {"G", std::nullopt},
        {"-5", std::nullopt},
        {"5 M", std::nullopt},
        {"5MB", std::nullopt},
        {"12Q", std::nullopt},
        {"99999999999T", std::nullopt}, // past 64 bits
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(morvik::inspection::parseByteSize(text), bytes) << text;
    }
}
