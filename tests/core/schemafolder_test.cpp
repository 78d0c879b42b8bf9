// Schema folder resolution: the table of start texts and outcomes over
// folders built for each case, and the real schema set.
#include "inspection/schemafolder.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace morvik::inspection;
using morvik::test::TempDir;
using morvik::test::writeFile;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kSixStandardNames = {"cc08_V08.xsd", "co08_V08.xsd", "gc08_V08.xsd",
                                                    "hc08_V08.xsd", "ix08_V08.xsd", "su08_V08.xsd"};

} // namespace

TEST(IsStandardSchemaName, ExactComparison) {
    for (const std::string& name : kSixStandardNames) {
        EXPECT_TRUE(isStandardSchemaName(name)) << name;
    }
    for (const std::string name : {"CC08_V08.xsd", "cc08_v08.xsd", "IX08_V08.XSD", "hg08_V08.xsd",
                                   "cc08_V08.xsd ", " cc08_V08.xsd", "cc08_V08", ""}) {
        EXPECT_FALSE(isStandardSchemaName(name)) << name;
    }
}

TEST(ResolveSchemaFolder, ResolutionTable) {
    TempDir dir;
    const fs::path root = dir.path();
    // Folder test passes, and an XSD sub-folder that would fail is not examined.
    writeFile(root / "direct/cc08_V08.xsd", "");
    writeFile(root / "direct/XSD/other.xsd", "");
    // No *.xsd of its own; the sub-folder is spelled in lower case.
    writeFile(root / "sub/ix08_V08.xml", "");
    writeFile(root / "sub/xsd/ix08_V08.xsd", "");
    writeFile(root / "schemas.v8/su08_V08.xsd", "");
    writeFile(root / "upper/IX08_V08.XSD", "");
    // All six standard files, but "aa.xsd" comes first.
    for (const std::string& name : kSixStandardNames) {
        writeFile(root / "aafirst" / name, "");
        writeFile(root / "aafirst/XSD" / name, "");
        writeFile(root / "aaonly" / name, "");
    }
    writeFile(root / "aafirst/aa.xsd", "");
    writeFile(root / "aaonly/aa.xsd", "");
    // The real set's order: hg08_V08.xsd does not come first.
    for (const std::string& name : kSixStandardNames) {
        writeFile(root / "realorder" / name, "");
    }
    writeFile(root / "realorder/hg08_V08.xsd", "");
    fs::create_directories(root / "emptyxsd/XSD");
    writeFile(root / "othersub/XSD/aa.xsd", "");
    writeFile(root / "othersub/XSD/cc08_V08.xsd", "");
    writeFile(root / "xsdfile/XSD", "a file named XSD");
    writeFile(root / "hiddensub/.XSD/cc08_V08.xsd", "");
    // "XSD" comes before "xsd"; only the first is examined.
    writeFile(root / "twosubs/XSD/readme.txt", "");
    writeFile(root / "twosubs/xsd/cc08_V08.xsd", "");

    const std::string r = dir.folder();
    struct Case {
        std::string schemaText;
        std::string extractionFolder;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"", r + "direct/", r + "direct/"},
        {"", r + "sub/", r + "sub/xsd/"},
        {r + "direct", "", r + "direct/"},
        {r + "direct/", "", r + "direct/"},
        {r + "sub", "", r + "sub/xsd/"},
        {r + "sub/", "", r + "sub/xsd/"},
        {r + "schemas.v8", "", r + "schemas.v8/"},
        {r + "realorder", "", r + "realorder/"},
        {r + "aafirst", "", r + "aafirst/XSD/"},
        {r + "aaonly", "", ""},
        {r + "upper", "", ""},
        {r + "emptyxsd", "", ""},
        {r + "othersub", "", ""},
        {r + "xsdfile", "", ""},
        {r + "hiddensub", "", ""},
        {r + "twosubs", "", ""},
        {r + "missing", "", ""},
        // The box's text wins over the extraction folder, blanks and all.
        {r + "emptyxsd", r + "direct/", ""},
        {"   ", r + "direct/", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolveSchemaFolder(c.schemaText, c.extractionFolder), c.expected)
            << "text '" << c.schemaText << "' extraction '" << c.extractionFolder << "'";
    }
}

TEST(ResolveSchemaFolder, RealSchemaSetQualifiesThroughItsFirstName) {
    const fs::path real = fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024";
    if (!fs::exists(real / "XSD")) {
        GTEST_SKIP() << "real schema set not present: " << real;
    }
    EXPECT_EQ(resolveSchemaFolder((real / "XSD").string(), ""), (real / "XSD").string() + "/");
    EXPECT_EQ(resolveSchemaFolder(real.string(), ""), real.string() + "/XSD/");
}
