// morvik-inspect end to end: the built executable on archives built here.
#include "app/commandline.h"
#include "cli/process.h"
#include "support/archives.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <utility>
#include <vector>

using namespace morvik::test;

TEST(CommandLine, UsageAndHelp) {
    const auto help = runInspect({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: morvik-inspect"), std::string::npos);
    EXPECT_TRUE(help.err.empty());

    // Two archives are no longer a usage error: they are inspected in turn.
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"--schema"}, {"--bogus", "a.zip"}}) {
        const auto bad = runInspect(args);
        EXPECT_EQ(bad.status, 64);
        EXPECT_TRUE(bad.out.empty());
        EXPECT_TRUE(bad.err.ends_with("詳しくは morvik-inspect --help\n")) << bad.err;
        EXPECT_EQ(linesOf(bad.err).size(), 1u) << bad.err;
    }
}

TEST(CommandLine, LogOnStdoutWithLineFeedsAndExitStatus) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/d1.xml", dataDocument("1")});
    files.push_back({"DATA/d2.xml", dataDocument("bad")});
    const auto zip = makeArchive(dir.path(), "arc", files);

    // The four stages and their streams; the fifth section (whose findings on
    // these small made-up documents would end the log) has tests of its own.
    const auto first = runInspect({"--verbose", "--no-reception-check", zip.string()});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.out.find('\r'), std::string::npos);
    EXPECT_TRUE(
        first.out.starts_with("交換用基本情報ファイルの調査 ・・・・・OK\n"
                              "集計情報ファイルの調査 ・・・・・OK\n"
                              "特定健診・保健指導データの調査 \n"
                              "d1.xml・・・・・OK\n"
                              "d2.xml\nXMLファイルの整合性チェックでエラーが発生しました。\n"))
        << first.out;
    EXPECT_TRUE(first.out.ends_with("\n特定健診・保健指導決済情報の調査 \n")) << first.out;
    // Verbose: progress texts and the schema of each document on stderr.
    EXPECT_NE(first.err.find("XML出力ファイルの整合性チェック中\n"), std::string::npos);
    EXPECT_NE(first.err.find("d2.xml -> " + dir.folder() + "arc/XSD/su08_V08.xsd"),
              std::string::npos)
        << first.err;

    // The extracted copy stops the second run; the folder to look at is named.
    const auto second = runInspect({zip.string()});
    EXPECT_EQ(second.status, 2);
    EXPECT_TRUE(second.out.empty());
    EXPECT_EQ(
        second.err,
        "morvik-inspect: XMLZip圧縮フォルダには、すでに解凍済みのXMLファイルが含まれています。\n"
        "morvik-inspect: 解凍先フォルダ「" +
            dir.folder() +
            "arc/」には前回解凍したファイルが残っています。次の実行の前に、このフォルダを"
            "移動するか削除してください。\n");
}

TEST(CommandLine, AllValidAndSchemaOption) {
    TempDir dir;
    writeFile(dir.path() / "my schemas" / "ix08_V08.xsd", kIndexSchema);
    writeFile(dir.path() / "my schemas" / "su08_V08.xsd", kSummarySchema);
    auto files = standardFiles();
    std::erase_if(files, [](const auto& file) { return file.first.starts_with("XSD/"); });
    files.push_back({"CLAIMS/c.xml", claimDocument()});
    const auto zip = makeArchive(dir.path(), "arc", files);

    // The four stages alone: the small made-up documents are not of the real
    // kinds, which the fifth section would count as an エラー.
    const auto result = runInspect({"--schema", (dir.path() / "my schemas").string(),
                                    "--no-reception-check", zip.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.ends_with("c.xml・・・・・OK\n")) << result.out;
    EXPECT_TRUE(result.err.empty()) << result.err;
}

TEST(CommandLine, BadZipPathEndsBeforeValidating) {
    const auto result = runInspect({"archive.tar"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "morvik-inspect: XMLファイルが圧縮されているZIPファイルを選択してください。\n"
              "morvik-inspect: 「archive.tar」は「.zip」で終わっていません。ZIPファイルを指定して"
              "ください。\n");
    EXPECT_TRUE(result.out.empty());
}

// The web page runs the command line in its own process: one validation
// thread, told the progress document by document, and the same log as the
// program prints.
TEST(CommandLine, EmbeddedRunTellsProgressAndWritesTheSameLog) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/d1.xml", dataDocument("1")});
    files.push_back({"DATA/d2.xml", dataDocument("bad")});
    files.push_back({"CLAIMS/c.xml", claimDocument()});
    std::filesystem::create_directories(dir.path() / "page");
    const auto zip = makeArchive(dir.path() / "page", "arc", files);
    const auto program = makeArchive(dir.path(), "arc", files);

    std::vector<std::pair<std::size_t, std::size_t>> told;
    morvik::app::Embedding embedding;
    embedding.validationThreads = 1;
    embedding.progress = [&](std::size_t checked, std::size_t documents) {
        told.emplace_back(checked, documents);
    };
    std::ostringstream log;
    std::ostringstream err;
    const int status = morvik::app::runCommandLine({zip.string()}, log, err, embedding);

    EXPECT_EQ(status, 1) << err.str();
    const std::vector<std::pair<std::size_t, std::size_t>> expected{
        {0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}};
    EXPECT_EQ(told, expected);
    const auto printed = runInspect({program.string()});
    EXPECT_EQ(printed.status, status);
    EXPECT_EQ(log.str(), printed.out);
    EXPECT_TRUE(err.str().empty()) << err.str();
}
