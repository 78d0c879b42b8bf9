// Folder listing: pattern matching by file-name rules, name order, and which
// entries each mask admits.
#include "platform/fs/folderlisting.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using morvik::platform::FolderListing;
using morvik::platform::lessByName;
using morvik::platform::ListingMask;
using morvik::platform::wildcardMatch;
using morvik::test::TempDir;
using morvik::test::writeFile;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> drain(FolderListing& listing, const std::string& wildcardPath,
                               ListingMask mask) {
    std::vector<std::string> names;
    for (std::string name = listing.first(wildcardPath, mask); !name.empty();
         name = listing.next()) {
        names.push_back(name);
    }
    // Past the end the listing stays at its end.
    EXPECT_EQ(listing.next(), "");
    return names;
}

} // namespace

TEST(WildcardMatch, FileNameRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"*.xml", "a.xml", true},
        {"*.xml", "A.XML", true},
        {"*.XSD", "cc08_V08.xsd", true},
        {"*.xml", "a.xmlx", false},
        {"*.xml", "a.xml.bak", false},
        {"*.xml", "xml", false},
        {"*.*", "XSD", true},
        {"*.*", "a.b.c", true},
        {"*.*", "trailing.", true},
        {"a*.*", "abc", true},
        {"*b.*", "ab", true},
        {"*.x*", "abc", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"?.txt", "健.txt", true},
        {"??.txt", "健.txt", false},
        {"*a*b", "aXbYb", true},
        {"*a*b", "aXbYc", false},
        {"Ａ*", "ａｂ", true},
        {"*/*.xml", "DATA/h1.xml", true},
        {"x", "y", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}

TEST(LessByName, UpperCasedNameOrderThenBytes) {
    std::vector<std::string> names = {"_a.xsd",       "hg08_V08.xsd", "Zeta.xsd", "co08_V08.xsd",
                                      "cc08_V08.xsd", "ix08.xsd",     "a",        "A"};
    std::sort(names.begin(), names.end(), lessByName);
    // Letters before "_" as the upper-cased comparison puts them; "A" and "a"
    // differ only in case and fall back to byte order.
    const std::vector<std::string> expected = {
        "A", "a", "cc08_V08.xsd", "co08_V08.xsd", "hg08_V08.xsd", "ix08.xsd", "Zeta.xsd", "_a.xsd"};
    EXPECT_EQ(names, expected);
}

TEST(FolderListing, MasksHiddenAndSystemEntries) {
    TempDir dir;
    const fs::path root = dir.path();
    writeFile(root / "b.xml", "b");
    writeFile(root / "A.XML", "a");
    writeFile(root / "c.xsd", "c");
    writeFile(root / "noext", "n");
    writeFile(root / ".hidden.xml", "h");
    fs::create_directory(root / "d.xml");
    fs::create_directory(root / "XSD");
    fs::create_directory(root / ".git");
    fs::create_symlink("b.xml", root / "link.xml");
    fs::create_symlink("d.xml", root / "linkdir.xml");
    fs::create_symlink("missing", root / "broken.xml");
    ASSERT_EQ(::mkfifo((root / "pipe.xml").c_str(), 0644), 0);

    struct Case {
        std::string pattern;
        ListingMask mask;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"*.xml", ListingMask::files, {"A.XML", "b.xml", "link.xml"}},
        {"*.xml",
         ListingMask::filesAndFolders,
         {"A.XML", "b.xml", "d.xml", "link.xml", "linkdir.xml"}},
        {"*.*", ListingMask::files, {"A.XML", "b.xml", "c.xsd", "link.xml", "noext"}},
        {"*.*",
         ListingMask::filesAndFolders,
         {"A.XML", "b.xml", "c.xsd", "d.xml", "link.xml", "linkdir.xml", "noext", "XSD"}},
        {"*.XSD", ListingMask::files, {"c.xsd"}},
        {"missing/*.*", ListingMask::filesAndFolders, {}},
        {"b.xml/*.*", ListingMask::filesAndFolders, {}},
        {"", ListingMask::filesAndFolders, {}},
    };
    FolderListing listing;
    for (const Case& c : cases) {
        EXPECT_EQ(drain(listing, dir.folder() + c.pattern, c.mask), c.expected) << c.pattern;
    }
}

TEST(FolderListing, FirstEndsThePreviousListing) {
    TempDir dir;
    writeFile(dir.path() / "a.xml", "");
    writeFile(dir.path() / "b.xml", "");
    writeFile(dir.path() / "c.xsd", "");
    writeFile(dir.path() / "d.xsd", "");
    FolderListing listing;
    EXPECT_EQ(listing.first(dir.folder() + "*.xml", ListingMask::files), "a.xml");
    EXPECT_EQ(listing.first(dir.folder() + "*.xsd", ListingMask::files), "c.xsd");
    EXPECT_EQ(listing.next(), "d.xsd");
    EXPECT_EQ(listing.next(), "");
}

TEST(FolderListing, PathWithoutSeparatorListsTheCurrentFolder) {
    TempDir dir;
    writeFile(dir.path() / "here.txt", "");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    FolderListing listing;
    const std::string first = listing.first("*.txt", ListingMask::files);
    fs::current_path(previous);
    EXPECT_EQ(first, "here.txt");
}
