// The cause lines are worded from the run's facts alone: every case names a
// ZIP file that does not exist, so a line that looked at the disk or the
// archive again would say "missing" or list nothing.
#include "report/causes.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace morvik::inspection;
using namespace morvik::platform;
using morvik::report::causeOfEarlyEnd;
using morvik::report::causeOfMissingExtractionFolder;
using morvik::report::CauseOptions;

namespace {

const std::string kZip = "/nowhere/here/b.zip";

EarlyEnd unzipFailed(UnzipResult result, UnzipCause cause) {
    EarlyEnd end;
    end.kind = EarlyEnd::Kind::extractionFailed;
    end.zipPath = kZip;
    end.extraction.zipPath = kZip;
    end.extraction.place = extractionPlaceOf(kZip);
    end.extraction.unzip.result = result;
    end.extraction.unzip.cause = cause;
    return end;
}

std::string firstLine(const EarlyEnd& end) {
    const auto lines = causeOfEarlyEnd(end);
    return lines.empty() ? std::string() : lines.front();
}

} // namespace

TEST(Causes, ArchiveFileProblemsAreWordedFromTheFacts) {
    struct Case {
        ArchiveFileProblem problem;
        int error;
        std::string expected; // the start of the first line
    };
    const std::vector<Case> cases = {
        {ArchiveFileProblem::missing, 0, "ZIPファイル「/nowhere/here/b.zip」がありません。"},
        {ArchiveFileProblem::folder, 0, "「/nowhere/here/b.zip」はフォルダです。"},
        {ArchiveFileProblem::notRegular, 0,
         "「/nowhere/here/b.zip」は通常のファイルではありません。"},
        {ArchiveFileProblem::unreadable, EACCES,
         "ZIPファイル「/nowhere/here/b.zip」を読めません（Permission denied）。"},
        {ArchiveFileProblem::empty, 0, "ZIPファイル「/nowhere/here/b.zip」は空（0バイト）です。"},
        {ArchiveFileProblem::notZip, 0, "「/nowhere/here/b.zip」はZIPファイルではありません"},
    };
    for (const Case& c : cases) {
        EarlyEnd end = unzipFailed(UnzipResult::archiveNotFound, UnzipCause::archiveUnreadable);
        end.extraction.unzip.archiveProblem = c.problem;
        end.extraction.unzip.error = c.error;
        EXPECT_TRUE(firstLine(end).starts_with(c.expected)) << firstLine(end);
        EXPECT_NE(firstLine(end).find("（解凍コード 9。"), std::string::npos);
    }
}

TEST(Causes, LimitsNameWhatWasCountedAndTheDetailIsPrintable) {
    struct Case {
        UnzipResult result;
        UnzipCause cause;
        std::string part;
        std::string detail; // after 詳細：「entry」：
    };
    const std::vector<Case> cases = {
        {UnzipResult::limitExceeded, UnzipCause::entryCountLimit,
         "中のファイルが多すぎます（30個、上限は20個）",
         "中のファイルが30個で、上限の20個を超えます。"},
        {UnzipResult::limitExceeded, UnzipCause::folderCountLimit,
         "フォルダが多すぎます（30個、上限は20個）",
         "解凍するとフォルダが30個以上になり、上限の20個を超えます。"},
        {UnzipResult::limitExceeded, UnzipCause::totalSizeLimit, "--max-extracted-size",
         "解凍後の合計が30バイトで、上限の20バイトを超えます。"},
        {UnzipResult::limitExceeded, UnzipCause::ratioLimit, "圧縮率",
         "解凍すると圧縮されたときの30倍になり、上限の20倍を超えます。"},
        {UnzipResult::diskFull, UnzipCause::freeSpace, "書き込めません",
         "解凍には30バイト必要ですが、解凍先の空きは20バイトです。"},
        {UnzipResult::unexpectedEnd, UnzipCause::multiDisk, "分割された",
         "複数のファイルに分割されたZIPファイルの一部です。"},
        {UnzipResult::unexpectedEnd, UnzipCause::truncated, "途中で切れています",
         "ZIPファイルが途中で切れています。"},
    };
    for (const Case& c : cases) {
        EarlyEnd end = unzipFailed(c.result, c.cause);
        end.extraction.unzip.needed = 30;
        end.extraction.unzip.allowed = 20;
        end.extraction.unzip.entry = "a\x1b[2Jb";
        end.extraction.unzip.message = "entry \"a\x1b[2Jb\": x";
        const auto lines = causeOfEarlyEnd(end);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(c.part), std::string::npos) << lines[0];
        EXPECT_EQ(lines[1], "詳細：「a\u241b[2Jb」：" + c.detail);
        // English reasons keep the extractor's own English detail.
        CauseOptions english;
        english.englishDetail = true;
        EXPECT_EQ(causeOfEarlyEnd(end, english).at(1), "詳細: entry \"a\u241b[2Jb\": x");
    }
}

TEST(Causes, MissingTopFolderListsTheArchivesOwnTopLevel) {
    ExtractionFacts facts;
    facts.zipPath = kZip;
    facts.place = extractionPlaceOf(kZip, "/out");
    facts.folderFound = false;
    facts.unzip.topLevel = {{"2024 old", true}};
    auto lines = causeOfMissingExtractionFolder(facts);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "ZIPファイル「/nowhere/here/b.zip」の最上位に、ZIPファイルと同じ名前の"
                        "フォルダ「b/」がありません。最上位にあるもの：「2024 old/」。");
    // Only the top folder is unpacked: nothing of this archive was written.
    EXPECT_EQ(lines[1], "フォルダ「b/」の外にあるものは解凍しないため、何も解凍していません。"
                        "ZIPファイルの名前を「2024 old.zip」に戻して、もう一度実行してください。");

    facts.unzip.topLevel = {{"a.xml", false}, {"DATA", true}};
    lines = causeOfMissingExtractionFolder(facts);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("「a.xml」「DATA/」"), std::string::npos) << lines[0];

    facts.folderFound = true;
    EXPECT_TRUE(causeOfMissingExtractionFolder(facts).empty());
}
