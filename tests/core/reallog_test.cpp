// The whole result log of the real 2024 archive with typical mistakes made
// in three of its checkup documents, in Japanese, compared byte for byte
// with the expected log beside the fixtures. Skips when the real data is
// not at hand. MORVIK_WRITE_EXPECTED=1 writes the expected log anew.
#include "platform/zip/unzip.h"
#include "support/runharness.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

const fs::path kRealArchive =
    fs::path(MORVIK_REALDATA_DIR) / "mhlw-v08-2024" / "5521111111_00280081_202405271_1.zip";
const fs::path kExpectedLog = fs::path(MORVIK_FIXTURES_DIR) / "reallog" / "mistakes.log";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The real archive's files, with three checkup documents made wrong.
std::vector<ZipEntry> archiveWithMistakes(const fs::path& unpacked) {
    const std::string top = "5521111111_00280081_202405271_1";
    std::vector<ZipEntry> entries;
    for (const auto& item : fs::recursive_directory_iterator(unpacked / top)) {
        if (!item.is_regular_file()) {
            continue;
        }
        const std::string name = fs::relative(item.path(), unpacked).generic_string();
        std::string content = readFile(item.path());
        if (name.ends_with("DATA/h28133035892024052701_0059_00280081.xml")) {
            // A code that is not one of the allowed values.
            content =
                replaced(content, "<performer typeCode=\"PRF\">", "<performer typeCode=\"PRX\">");
        } else if (name.ends_with("DATA/h28133035892024052701_0060_00280081.xml")) {
            // A required element left out.
            content = replaced(
                content, "<typeId root=\"2.16.840.1.113883.1.3\" extension=\"POCD_HD000040\" />",
                "");
        } else if (name.ends_with("DATA/h28133042492024052701_0077_00280081.xml")) {
            // A letter in a number.
            const std::size_t at = content.find("xsi:type=\"PQ\" value=\"");
            EXPECT_NE(at, std::string::npos);
            content.insert(content.find('"', at + 21), "a");
        }
        entries.push_back(zipFile(name, content));
    }
    return entries;
}

} // namespace

TEST(RealLog, TypicalMistakesReadInJapanese) {
    if (!fs::exists(kRealArchive)) {
        GTEST_SKIP() << "real archive not present";
    }
    TempDir dir;
    ASSERT_EQ(morvik::platform::UnZip(nullptr,
                                      "-x -o -q \"" + kRealArchive.string() + "\" \"" +
                                          dir.folder() + "unpacked/\"",
                                      0, 0),
              0);
    const fs::path zip = dir.path() / "5521111111_00280081_202405271_1.zip";
    writeZip(zip, archiveWithMistakes(dir.path() / "unpacked"));
    RunHarness h;
    h.run(zip.string());
    if (std::getenv("MORVIK_WRITE_EXPECTED") != nullptr) {
        writeFile(kExpectedLog, h.log.text);
    }
    EXPECT_EQ(h.log.text, readFile(kExpectedLog));
}
