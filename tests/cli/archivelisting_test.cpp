// The top level of an archive, read from its table of contents.
#include "platform/zip/archivelisting.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

using namespace morvik::test;
using morvik::platform::listTopLevel;

namespace {

// A file whose name goes into the archive byte for byte, as Windows tools
// write it.
ZipEntry rawNamed(const std::string& name) {
    ZipEntry entry = zipFile(name, "a");
    entry.nameBytes = ZipNameBytes::raw;
    return entry;
}

} // namespace

TEST(ArchiveListing, TopLevelNames) {
    struct Case {
        std::string label;
        std::vector<ZipEntry> entries;
        std::vector<std::pair<std::string, bool>> expected;
    };
    const std::vector<Case> cases = {
        {"one folder",
         {zipFolder("a/"), zipFile("a/x.xml", "x"), zipFile("a/DATA/y.xml", "y")},
         {{"a", true}}},
        {"folder without its own entry", {zipFile("a/b/c.xml", "c")}, {{"a", true}}},
        {"files and folders in archive order",
         {zipFile("ix.xml", "i"), zipFile("DATA/d.xml", "d"), zipFile("su.xml", "s"),
          zipFile("DATA/e.xml", "e"), zipFolder("empty/")},
         {{"ix.xml", false}, {"DATA", true}, {"su.xml", false}, {"empty", true}}},
        {"CP932 name", {zipCp932File("健診/a.xml", "a")}, {{"健診", true}}},
        {"backslash separators", {rawNamed("win\\a.xml")}, {{"win", true}}},
        {"empty archive", {}, {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string zip = dir.folder() + "t.zip";
        writeZip(zip, c.entries);
        const auto names = listTopLevel(zip);
        ASSERT_TRUE(names.ok()) << c.label << ": " << names.failure();
        std::vector<std::pair<std::string, bool>> got;
        for (const auto& name : *names) {
            got.emplace_back(name.name, name.folder);
        }
        EXPECT_EQ(got, c.expected) << c.label;
    }
}

TEST(ArchiveListing, NoArchiveIsAFailure) {
    TempDir dir;
    writeFile(dir.path() / "text.zip", "not an archive");
    for (const std::string& path :
         {dir.folder() + "text.zip", dir.folder() + "missing.zip", dir.folder()}) {
        const auto names = listTopLevel(path);
        EXPECT_FALSE(names.ok()) << path;
        EXPECT_FALSE(names.failure().empty()) << path;
    }
}
