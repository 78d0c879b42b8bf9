// Text helpers of the XML parser layer: encoding detection, one source line
// as UTF-8 with its window around the error column, one-line messages.
#include "platform/xml/xmltext.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

using namespace morvik::platform;
using morvik::test::TempDir;
using morvik::test::writeFile;

namespace {

using namespace std::string_literals;

std::size_t characterCount(const std::string& utf8) {
    std::size_t count = 0;
    for (unsigned char c : utf8) {
        count += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(XmlText, DetectsDocumentEncoding) {
    const struct {
        std::string head;
        std::string encoding;
    } cases[] = {
        {"<?xml version=\"1.0\"?><a/>", "UTF-8"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "UTF-8"},
        {"\xFF\xFE<\0?\0x\0"s, "UTF-16LE"},
        {"\xFE\xFF\0<\0?\0x"s, "UTF-16BE"},
        {"<\0?\0x\0m\0"s, "UTF-16LE"},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "CP932"},
        {"<?xml version='1.0' encoding = 'shift_jis' ?>", "CP932"},
        {"<?xml version=\"1.0\" encoding=\"EUC-JP\"?>", "EUC-JP"},
        {"<?xml version=\"1.0\" encoding=\"\"?>", "UTF-8"},
        {"<?xml version=\"1.0\"?><a encoding=\"EUC-JP\"/>", "UTF-8"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detectDocumentEncoding(c.head), c.encoding) << c.head;
    }
}

TEST(XmlText, SourceLineOfShortLines) {
    TempDir dir;
    const auto file = dir.path() / "d.xml";
    const struct {
        std::string content;
        std::int32_t line;
        std::string text;
    } cases[] = {
        {"<a>\n  <b>x</b>\n</a>\n", 2, "  <b>x</b>"},
        {"<a>\r\n  <b>x</b>\r\n</a>\r\n", 2, "  <b>x</b>"},
        {"<a>\n<b/>", 2, "<b/>"},
        {"<a>\n</a>\n", 5, ""},
        {"<a>\n</a>\n", 0, ""},
        {"\xEF\xBB\xBF<a/>\n", 1, "<a/>"},
        // A carriage return alone ends a line, as a CR LF pair and an LF do.
        {"<a>\r<b/>\n", 1, "<a>"},
        {"<a>\r<b/>\n", 2, "<b/>"},
        {"<a>\r<b/>\r</a>\r", 3, "</a>"},
        {"<a>\r\n<b/>\r<c/>\n</a>", 3, "<c/>"},
        {"<a>\r\r<b/>", 3, "<b/>"},
        {"<a>\x01\t<b/>\n", 1, "<a>\xEF\xBF\xBD\t<b/>"},
        // Bytes that are not UTF-8 in a document that says it is.
        {"<a>\xFF\xFE</a>\n", 1, "<a>\xEF\xBF\xBD\xEF\xBF\xBD</a>"},
        {"<?xml version=\"1.0\" "
         "encoding=\"Shift_JIS\"?>\n<m>\x87\x54\x87\x40\x81\x60\x8C\x92</m>\n",
         2, "<m>Ⅰ①～健</m>"},
        {"<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<m>\xB7\xF2\xBF\xC7</m>\n", 2,
         "<m>健診</m>"},
        {"\xFF\xFE<\0a\0>\0\n\0<\0b\0/\0>\0\n\0"s, 2, "<b/>"},
        {"\xFE\xFF\0<\0a\0>\0\n\0<\x50\x65\0>"s, 2, "<健>"},
    };
    for (const auto& c : cases) {
        writeFile(file, c.content);
        EXPECT_EQ(sourceLineText(file.string(), c.line, 1), c.text) << c.content;
    }
    EXPECT_EQ(sourceLineText((dir.path() / "missing.xml").string(), 1, 1), "");
}

TEST(XmlText, LongLineIsCutAroundTheColumn) {
    TempDir dir;
    const auto file = dir.path() / "long.xml";
    // Line 2: 10,000 characters, digits cycling, with a Japanese word at
    // character 5,001 to see that the window counts characters, not bytes.
    std::string line;
    for (int i = 0; i < 10000; ++i) {
        line += static_cast<char>('0' + i % 10);
    }
    line.replace(5000, 2, "健診");
    writeFile(file, "<a>\n" + line + "\n</a>\n");
    const std::string marker = kCutMarker;

    const std::string atStart = sourceLineText(file.string(), 2, 1);
    EXPECT_EQ(atStart, line.substr(0, 200) + marker);

    const std::string unknownColumn = sourceLineText(file.string(), 2, 0);
    EXPECT_EQ(unknownColumn, atStart);

    const std::string middle = sourceLineText(file.string(), 2, 5001);
    EXPECT_TRUE(middle.starts_with(marker)) << middle;
    EXPECT_TRUE(middle.ends_with(marker)) << middle;
    EXPECT_NE(middle.find("健診"), std::string::npos);
    EXPECT_EQ(characterCount(middle), kSourceWindow + 2);

    // Past the end of the line (a column counted in bytes can be): the
    // window keeps the line's last characters.
    const std::string atEnd = sourceLineText(file.string(), 2, 20000);
    EXPECT_TRUE(atEnd.starts_with(marker));
    EXPECT_TRUE(atEnd.ends_with(line.substr(line.size() - 150)));
    EXPECT_EQ(characterCount(atEnd), kSourceWindow + 1);
}

TEST(XmlText, FirstUndecodablePosition) {
    TempDir dir;
    const auto file = dir.path() / "d.xml";
    const std::string sjis = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n";
    const struct {
        std::string content;
        std::optional<TextPosition> position;
    } cases[] = {
        {sjis + "<a>\x8C\x92</a>\n", std::nullopt},
        {sjis + "<a>\x8C\x92</a>\n<b>\x8C\x92\x82</b>\n", TextPosition{3, 5}},
        {sjis + "<a>\x8C", TextPosition{2, 4}}, // cut off at the end
        {"<a>\xC3\x28</a>", TextPosition{1, 4}},
        {"\xFF\xFE<\0a\0\n\0\x00\xD8>\0"s, TextPosition{2, 1}}, // a lone surrogate
    };
    for (const auto& c : cases) {
        writeFile(file, c.content);
        const std::optional<TextPosition> position = firstUndecodablePosition(file.string());
        ASSERT_EQ(position.has_value(), c.position.has_value()) << c.content;
        if (position) {
            EXPECT_EQ(position->line, c.position->line) << c.content;
            EXPECT_EQ(position->column, c.position->column) << c.content;
        }
    }
}

// libxml2 starts a new line only after an LF and counts a CR as a character;
// the positions it reports are moved to lines as XML counts them.
TEST(XmlText, ParserPositionsBecomeXmlLines) {
    TempDir dir;
    const auto file = dir.path() / "d.xml";
    const struct {
        std::string content;
        TextPosition parser;
        TextPosition actual;
        std::string text;
    } cases[] = {
        {"<a>\n  <b>x</b>\n</a>\n", {2, 5}, {2, 5}, "  <b>x</b>"},
        {"<a>\r\n  <b>x</b>\r\n</a>\r\n", {2, 5}, {2, 5}, "  <b>x</b>"},
        // Lines ended by CR alone: the parser sees one line.
        {"<a>\r  <b>x</b>\r</a>\r", {1, 8}, {2, 4}, "  <b>x</b>"},
        {"<a>\r  <b>x</b>\r</a>\r", {1, 16}, {3, 1}, "</a>"},
        // Mixed line ends.
        {"<a>\n<b/>\r<c/>\r\n<d/>\n", {2, 6}, {3, 1}, "<c/>"},
        {"<a>\n<b/>\r<c/>\r\n<d/>\n", {3, 3}, {4, 3}, "<d/>"},
        // The byte-order mark is not counted.
        {"\xEF\xBB\xBF<a>\r<b/>", {1, 5}, {2, 1}, "<b/>"},
        // An unknown column keeps the line's start; past the end, the end.
        {"<a>\r<b/>\r", {1, 0}, {1, 0}, "<a>"},
        {"<a>\n<b/>", {9, 1}, {2, 5}, "<b/>"},
        {"<a/>", {0, 0}, {0, 0}, ""},
    };
    for (const auto& c : cases) {
        writeFile(file, c.content);
        const std::vector<SourceSpot> spots = locateInDocument(file.string(), {c.parser});
        ASSERT_EQ(spots.size(), 1u);
        EXPECT_EQ(spots[0].position.line, c.actual.line) << c.content;
        EXPECT_EQ(spots[0].position.column, c.actual.column) << c.content;
        EXPECT_EQ(spots[0].text, c.text) << c.content;
    }
    // Several positions in one call, in any order.
    writeFile(file, "<a>\r<b/>\r<c/>\r");
    const auto spots = locateInDocument(file.string(), {{1, 10}, {1, 5}});
    ASSERT_EQ(spots.size(), 2u);
    EXPECT_EQ(spots[0].text, "<c/>");
    EXPECT_EQ(spots[1].text, "<b/>");
}

TEST(XmlText, OneLineUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Element 'a': bad.\n", "Element 'a': bad."},
        {"first\nsecond\r\n", "first second"},
        {"tab\there  \n\n", "tab here"},
        {"bad \xC3\x28 byte", "bad \xEF\xBF\xBD( byte"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"cut \xE5\x81", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"bell\x07", "bell\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(oneLineUtf8(c.in), c.out) << c.in;
    }
}
