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
        {ArchiveFileProblem::missing, 0, "ZIPファイル /nowhere/here/b.zip がありません。"},
        {ArchiveFileProblem::folder, 0, "/nowhere/here/b.zip はフォルダです。"},
        {ArchiveFileProblem::notRegular, 0, "/nowhere/here/b.zip は通常のファイルではありません。"},
        {ArchiveFileProblem::unreadable, EACCES,
         "ZIPファイル /nowhere/here/b.zip を読めません（Permission denied）。"},
        {ArchiveFileProblem::empty, 0, "ZIPファイル /nowhere/here/b.zip は空（0バイト）です。"},
        {ArchiveFileProblem::notZip, 0, "/nowhere/here/b.zip はZIPアーカイブではありません"},
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
    };
    const std::vector<Case> cases = {
        {UnzipResult::limitExceeded, UnzipCause::entryCountLimit,
         "項目が多すぎます（30 個、上限は 20 個）"},
        {UnzipResult::limitExceeded, UnzipCause::folderCountLimit,
         "フォルダが多すぎます（30 個、上限は 20 個）"},
        {UnzipResult::limitExceeded, UnzipCause::totalSizeLimit, "--max-extracted-size"},
        {UnzipResult::unexpectedEnd, UnzipCause::multiDisk, "分割された"},
        {UnzipResult::unexpectedEnd, UnzipCause::truncated, "途中で切れています"},
    };
    for (const Case& c : cases) {
        EarlyEnd end = unzipFailed(c.result, c.cause);
        end.extraction.unzip.needed = 30;
        end.extraction.unzip.allowed = 20;
        end.extraction.unzip.message = "entry \"a\x1b[2Jb\": x";
        const auto lines = causeOfEarlyEnd(end);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(c.part), std::string::npos) << lines[0];
        EXPECT_EQ(lines[1], "詳細: entry \"a\u241b[2Jb\": x");
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
    EXPECT_EQ(lines[0], "ZIPアーカイブ /nowhere/here/b.zip の最上位に、ZIPファイルと同じ名前の"
                        "フォルダ「b/」がありません。最上位にあるもの: 「2024 old/」。");
    // Only the top folder is unpacked: nothing of this archive was written.
    EXPECT_EQ(lines[1], "フォルダ 「b/」 の外にあるものは解凍しないため、何も解凍していません。"
                        "ZIPファイルの名前を 「2024 old.zip」 に戻して、もう一度実行してください。");

    facts.unzip.topLevel = {{"a.xml", false}, {"DATA", true}};
    lines = causeOfMissingExtractionFolder(facts);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("「a.xml」「DATA/」"), std::string::npos) << lines[0];

    facts.folderFound = true;
    EXPECT_TRUE(causeOfMissingExtractionFolder(facts).empty());
}
