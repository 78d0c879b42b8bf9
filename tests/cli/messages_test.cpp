// morvik-inspect end to end: usage errors and --version, and the cause line
// after each message that ends a run before validating.
#include "cli/process.h"
#include "support/archives.h"
#include "support/testutil.h"
#include "support/zipbuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace morvik::test;
namespace fs = std::filesystem;

namespace {

constexpr const char* kUsageLine = "Usage: morvik-inspect [OPTIONS] ZIPFILE|FOLDER...";
const std::string kUnzipFailed = "morvik-inspect: Failed: 解凍に失敗しました。Error Code:0x";
const std::string kCodeTable = "コードの一覧は morvik-inspect(1) の UNZIP CODES にあります）";

} // namespace

TEST(InspectUsage, OneLineNamesWhatIsWrongAndPointsToTheHelp) {
    TempDir dir;
    const std::string zip = dir.folder() + "a.zip";
    const std::string size = "--max-extracted-size には 0 より大きいバイト数を指定してください"
                             "（K・M・G・T は 1024 の累乗）。";
    struct Case {
        std::vector<std::string> args;
        std::string what;
    };
    const std::vector<Case> cases = {
        {{"--bogus", zip}, "オプション --bogus はありません。"},
        {{zip, "-x"}, "オプション -x はありません。"},
        {{zip, "--schema"}, "--schema にはフォルダを指定してください。"},
        {{"--schema=", zip}, "--schema にはフォルダを指定してください。"},
        {{zip, "--into"}, "--into にはフォルダを指定してください。"},
        {{zip, "--json"}, "--json にはファイル名を指定してください（標準出力には -）。"},
        {{zip, "--csv"}, "--csv にはファイル名を指定してください（標準出力には -）。"},
        {{"--reasons=fr", zip}, "--reasons には ja か en を指定してください。"},
        {{"--max-extracted-size=0", zip}, size},
        {{"--max-extracted-size=12Q", zip}, size},
        {{"--max-document-memory=0", zip},
         "--max-document-memory には 0 より大きいバイト数を指定してください（K・M・G・T は 1024 "
         "の累乗）。"},
        {{"--max-document-time=1.5", zip}, "--max-document-time には 1 以上の秒数を指定してください。"},
        {{"--max-schema-compile-time=0", zip},
         "--max-schema-compile-time には 1 以上の秒数を指定してください。"},
        {{}, "ZIPファイルまたはフォルダが指定されていません。"},
        {{"--verbose", "--"}, "ZIPファイルまたはフォルダが指定されていません。"},
        {{"--into", dir.folder() + "nowhere", zip},
         "--into のフォルダ " + dir.folder() + "nowhere がありません。"},
        {{"--json", dir.folder() + "no/such/folder/r.json", zip},
         "--json の書き出し先 " + dir.folder() +
             "no/such/folder/r.json に書き込めません（そのフォルダがありません）。"},
    };
    for (const auto& c : cases) {
        const auto result = runInspect(c.args);
        EXPECT_EQ(result.status, 64) << c.what;
        EXPECT_TRUE(result.out.empty()) << c.what;
        EXPECT_EQ(result.err, "morvik-inspect: " + c.what + "詳しくは morvik-inspect --help\n");
    }
    // Nothing was run: no extraction folder, no report file.
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// --all-errors acts on the reports and --verbose; alone it says so and the
// run goes on as without it.
TEST(InspectUsage, AllErrorsAloneSaysWhereItActs) {
    TempDir dir;
    auto files = standardFiles();
    const fs::path zip = makeArchive(dir.path(), "arc", files);
    const auto alone = runInspect({"--all-errors", "--no-reception-check", zip.string()});
    EXPECT_EQ(alone.status, 0);
    EXPECT_EQ(alone.err, "morvik-inspect: --all-errors は --json、--csv、--verbose と一緒のときに"
                         "働きます。ログには各文書の最初のエラーだけが出ます。\n");
    fs::remove_all(dir.path() / "arc");
    const auto withCsv = runInspect(
        {"--all-errors", "--no-reception-check", "--csv", dir.folder() + "r.csv", zip.string()});
    EXPECT_EQ(withCsv.status, 0);
    EXPECT_TRUE(withCsv.err.empty()) << withCsv.err;
}

TEST(InspectUsage, VersionAndHelpPrintAndExitZero) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"--version"}, std::string("morvik-inspect ") + MORVIK_VERSION + "\n"},
        {{"--version", "a.zip", "--verbose"},
         std::string("morvik-inspect ") + MORVIK_VERSION + "\n"},
        {{"--help"}, ""},
        {{"-h", "a.zip"}, ""},
    };
    for (const auto& c : cases) {
        const auto result = runInspect(c.args);
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(result.err.empty()) << result.err;
        if (c.out.empty()) {
            EXPECT_TRUE(result.out.starts_with(kUsageLine)) << result.out;
            EXPECT_NE(result.out.find("70 internal error"), std::string::npos);
            EXPECT_NE(result.out.find("man morvik-inspect"), std::string::npos);
        } else {
            EXPECT_EQ(result.out, c.out);
        }
    }
}

// Each way the unzip layer can refuse the ZIP file: the system's message,
// then the cause with the absolute path, then (when the unzip layer knows
// more) a line of detail.
TEST(InspectCauses, UnzipFailuresNameTheFileAndTheCause) {
    const std::string content = "DISTINCT-CONTENT-0123456789";
    struct Case {
        std::string label;
        std::function<void(const fs::path& zip)> make;
        std::string hex;
        std::string cause; // after the absolute ZIP path
    };
    const std::vector<Case> cases = {
        {"missing", [](const fs::path&) {}, "9", "ZIPファイル「{}」がありません。"},
        {"folder", [](const fs::path& zip) { fs::create_directory(zip); }, "9",
         "「{}」はフォルダです。ZIPファイルを指定してください。"},
        {"empty file", [](const fs::path& zip) { writeFile(zip, ""); }, "9",
         "ZIPファイル「{}」は空（0バイト）です。"},
        {"text file", [](const fs::path& zip) { writeFile(zip, "just some text\n"); }, "9",
         "「{}」はZIPファイルではありません（中身がZIP形式ではありません）。"},
        {"truncated",
         [&](const fs::path& zip) {
             writeZip(zip, {zipFile("a/x.xml", content), zipFile("a/y.xml", content)});
             fs::resize_file(zip, fs::file_size(zip) / 2);
         },
         "33",
         "ZIPファイル「{}」が途中で切れています（ダウンロードやコピーが途中で終わった可能性が"
         "あります）。"},
        {"damaged",
         [&](const fs::path& zip) {
             writeZip(zip, {zipFile("a/x.xml", content, ZipMethod::store)});
             std::string bytes = readFile(zip);
             bytes[bytes.find(content) + 3] ^= 0x01;
             writeFile(zip, bytes);
         },
         "3",
         "ZIPファイル「{}」が壊れているか、受け付けられないファイルを含んでいます（壊れたファイル"
         "・CRCの誤り、絶対パスや「..」を含む名前、リンクやデバイスなど）。"},
        {"no entries", [](const fs::path& zip) { writeZip(zip, {}); }, "B",
         "ZIPファイル「{}」には、中にファイルがありません（空のZIPファイルです）。"},
        {"encrypted",
         [&](const fs::path& zip) { writeZip(zip, {zipFile("a/x.xml", content)}, {"secret"}); },
         "52",
         "ZIPファイル「{}」の中のファイルは暗号化されています（パスワード付きのZIPファイルは解凍"
         "できません）。"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path zip = dir.path() / "a.zip";
        c.make(zip);
        const auto result = runInspect({zip.string()});
        EXPECT_EQ(result.status, 2) << c.label;
        EXPECT_TRUE(result.out.empty()) << c.label;
        std::string cause = c.cause;
        cause.replace(cause.find("{}"), 2, zip.string());
        const auto lines = linesOf(result.err);
        ASSERT_GE(lines.size(), 2u) << c.label << ": " << result.err;
        EXPECT_EQ(lines[0], kUnzipFailed + c.hex) << c.label;
        EXPECT_EQ(lines[1], "morvik-inspect: " + cause + "（解凍コード " +
                                std::to_string(std::stoi(c.hex, nullptr, 16)) + "。" + kCodeTable)
            << c.label;
        // The detail is Japanese too; the extractor's English goes with
        // English reasons only.
        for (std::size_t i = 2; i < lines.size(); ++i) {
            EXPECT_TRUE(lines[i].starts_with("morvik-inspect: 詳細：")) << c.label << lines[i];
            EXPECT_EQ(lines[i].find("entry"), std::string::npos) << c.label << lines[i];
        }
        const auto english = runInspect({"--reasons=en", zip.string()});
        for (const std::string& line : linesOf(english.err)) {
            EXPECT_FALSE(line.starts_with("morvik-inspect: 詳細：")) << c.label << line;
        }
    }
}

TEST(InspectCauses, RelativeZipPathIsNamedAbsolute) {
    TempDir dir;
    const auto result = runProgram(
        "/bin/sh", {"-c", "cd " + dir.folder() + " && exec '" + MORVIK_INSPECT_EXE + "' gone.zip"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("ZIPファイル「" + dir.folder() + "gone.zip」がありません。"),
              std::string::npos)
        << result.err;
}

// An archive renamed after it was made: its top folder keeps the old name, so
// nothing is the archive's to unpack and the run finds no schema folder
// where it looks. The cause says so, lists what the archive holds at the
// top, and how to put it right.
TEST(InspectCauses, RenamedArchiveNamesItsTopFolder) {
    TempDir dir;
    const auto made = makeArchive(dir.path(), "original", standardFiles());
    const fs::path renamed = dir.path() / "renamed.zip";
    fs::rename(made, renamed);

    const auto result = runInspect({renamed.string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(
        result.err,
        "morvik-inspect: ZIPファイル「" + renamed.string() +
            "」の中の5個のファイルは、最上位のフォルダ「renamed/」の外にあるため解凍せず、"
            "ZIPファイルに残しました。\n"
            "morvik-inspect: XMLスキーマとして指定されたフォルダにスキーマが見つかりません。\n"
            "morvik-inspect: ZIPファイル「" +
            renamed.string() +
            "」の最上位に、ZIPファイルと同じ名前のフォルダ「renamed/」がありません。"
            "最上位にあるもの：「original/」。\n"
            "morvik-inspect: フォルダ「renamed/」の外にあるものは解凍しないため、何も解凍"
            "していません。ZIPファイルの名前を「original.zip」に戻して、もう一度実行して"
            "ください。\n");
    EXPECT_FALSE(fs::exists(dir.path() / "original"));

    // With a schema folder of its own the run goes on, every document is
    // missing, and the same cause follows the log.
    writeFile(dir.path() / "xsd" / "ix08_V08.xsd", kIndexSchema);
    writeFile(dir.path() / "xsd" / "su08_V08.xsd", kSummarySchema);
    fs::remove_all(dir.path() / "original");
    const auto withSchema = runInspect({"--schema", dir.folder() + "xsd", renamed.string()});
    EXPECT_EQ(withSchema.status, 1);
    EXPECT_TRUE(withSchema.out.starts_with("交換用基本情報ファイルの調査 \n")) << withSchema.out;
    EXPECT_NE(withSchema.err.find("最上位にあるもの：「original/」。\n"), std::string::npos)
        << withSchema.err;
}

// Files at the top of the archive, and no schema anywhere: each gets the
// cause that fits it.
TEST(InspectCauses, SchemaFolderCauses) {
    struct Case {
        std::string label;
        std::vector<std::string> extraArgs;
        std::function<fs::path(const TempDir&)> make;
        std::string cause;  // {} is the temporary folder
        std::string notice; // before the message, when entries were left in the archive
    };
    const std::vector<Case> cases = {
        {"loose files",
         {},
         [](const TempDir& dir) {
             writeZip(dir.path() / "arc.zip",
                      {zipFile("ix08_V08.xml", indexDocument()), zipFile("DATA/d.xml", "<d/>")});
             return dir.path() / "arc.zip";
         },
         "morvik-inspect: ZIPファイル「{}arc.zip」の最上位に、ZIPファイルと同じ名前のフォルダ"
         "「arc/」がありません。最上位にあるもの：「ix08_V08.xml」「DATA/」。\n"
         "morvik-inspect: フォルダ「arc/」の外にあるものは「{}」に解凍していません。XMLファイルは"
         "最上位のフォルダ「arc/」の下にある必要があります。\n",
         "morvik-inspect: ZIPファイル「{}arc.zip」の中の2個のファイルは、最上位のフォルダ「arc/」"
         "の外にあるため解凍せず、ZIPファイルに残しました。\n"},
        {"no schema in the archive",
         {},
         [](const TempDir& dir) {
             return makeArchive(dir.path(), "arc", {{"ix08_V08.xml", indexDocument()}});
         },
         "morvik-inspect: 解凍先フォルダ「{}arc/」にも「{}arc/XSD/」にも、標準の名前のスキーマ"
         "ファイル（「ix08_V08.xsd」など）がありません。--schema でスキーマのフォルダを指定して"
         "ください。\n",
         ""},
        {"missing --schema folder",
         {"--schema", "{}nowhere"},
         [](const TempDir& dir) { return makeArchive(dir.path(), "arc", standardFiles()); },
         "morvik-inspect: --schema のフォルダ「{}nowhere」がありません。\n",
         ""},
        {"--schema folder without schemas",
         {"--schema", "{}empty"},
         [](const TempDir& dir) {
             writeFile(dir.path() / "empty" / "other.xsd", kIndexSchema);
             return makeArchive(dir.path(), "arc", standardFiles());
         },
         "morvik-inspect: --schema のフォルダ「{}empty/」にも「{}empty/XSD/」にも、標準の名前の"
         "スキーマファイル（「ix08_V08.xsd」など）が最初の「*.xsd」としてありません。\n",
         ""},
    };
    const auto fill = [](std::string text, const std::string& folder) {
        for (auto at = text.find("{}"); at != std::string::npos; at = text.find("{}", at)) {
            text.replace(at, 2, folder);
        }
        return text;
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path zip = c.make(dir);
        std::vector<std::string> args;
        for (const auto& arg : c.extraArgs) {
            args.push_back(fill(arg, dir.folder()));
        }
        args.push_back(zip.string());
        const auto result = runInspect(args);
        EXPECT_EQ(result.status, 2) << c.label;
        EXPECT_EQ(result.err,
                  fill(c.notice, dir.folder()) +
                      "morvik-inspect: "
                      "XMLスキーマとして指定されたフォルダにスキーマが見つかりません。\n" +
                      fill(c.cause, dir.folder()))
            << c.label;
    }
}

// The reason at the end of a detail line: Japanese by default, the parser's
// English on request; --verbose says why a document's root could not be read
// instead of naming a schema for it.
TEST(InspectReasons, LanguageOfTheReasonAndTheVerboseSchemaLine) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "4行　  <value>x</value>　→ 値が正しくありません：要素「value」の値「x」は"},
        {{"--reasons=ja"}, "4行　  <value>x</value>　→ 値が正しくありません：要素「value」の値「x」は"},
        {{"--reasons", "en"},
         "4行　  <value>x</value>Element '{urn:hl7-org:v3}value': 'x' is not a valid value"},
    };
    for (const auto& [options, detail] : cases) {
        TempDir dir;
        auto files = standardFiles();
        files.push_back({"DATA/bad.xml", dataDocument("x")});
        files.push_back(
            {"DATA/sjis.xml",
             "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!-- \x82 -->\n<doc/>\n"});
        const fs::path zip = makeArchive(dir.path(), "arc", files);
        std::vector<std::string> args = options;
        args.push_back("--verbose");
        args.push_back(zip.string());
        const auto result = runInspect(args);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.out.find(detail), std::string::npos) << result.out;
        const std::string data = (dir.path() / "arc" / "DATA").string() + "/";
        EXPECT_NE(result.err.find("schema: " + data + "bad.xml -> "), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find("schema: " + data + "sjis.xml -> root element not read: "),
                  std::string::npos)
            << result.err;
    }
}

// The limit on what an archive unpacks to can be raised; when it is hit, the
// message names the limit and how to raise it.
TEST(InspectCauses, ExtractedSizeLimit) {
    TempDir dir;
    auto files = standardFiles();
    files.push_back({"DATA/big.xml", dataDocument() + std::string(300 * 1024, ' ')});
    const fs::path zip = makeArchive(dir.path(), "arc", files);
    const auto refused = runInspect({"--max-extracted-size=200K", zip.string()});
    EXPECT_EQ(refused.status, 2);
    const auto lines = linesOf(refused.err);
    ASSERT_GE(lines.size(), 2u) << refused.err;
    EXPECT_EQ(lines[0], kUnzipFailed + "C");
    EXPECT_NE(lines[1].find("--max-extracted-size"), std::string::npos) << lines[1];
    EXPECT_FALSE(fs::exists(dir.path() / "arc"));
    // The small made-up documents are not of the real kinds: without the
    // fifth section the stages alone give the exit status.
    const auto raised =
        runInspect({"--max-extracted-size", "1M", "--no-reception-check", zip.string()});
    EXPECT_EQ(raised.status, 0) << raised.err;
}
