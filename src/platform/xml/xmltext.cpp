// Text helpers of the XML parser layer: encoding labels, source lines and
// one-line texts. Decoding uses the C library's converter (iconv), which
// knows CP932, EUC-JP and UTF-16.
#include "platform/xml/xmltext.h"

#include "platform/fs/fd.h"
#include "platform/text/utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <iconv.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

namespace morvik::platform {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD
constexpr std::size_t kReadChunk = 64 * 1024;

struct IconvCloser {
    void operator()(void* handle) const noexcept { ::iconv_close(static_cast<iconv_t>(handle)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter openConverter(const std::string& from) {
    iconv_t handle = ::iconv_open("UTF-8", from.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        handle = ::iconv_open("UTF-8", "UTF-8");
    }
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        return Converter();
    }
    return Converter(handle);
}

// Receives the characters of a decoded document one by one; decodable is
// false for the stand-in of bytes that cannot be decoded. Returns false when
// it needs no more.
class CharacterSink {
public:
    virtual ~CharacterSink() = default;
    virtual bool accept(std::string_view character, bool decodable) = 0;
};

// Counts lines as XML does: a CR, a CR LF pair and an LF each end one line.
// The byte-order mark is no character of the text.
class LineCounter {
public:
    // Takes the next character; false for a character that belongs to no
    // line (a byte-order mark, or the LF of a CR LF pair).
    bool advance(std::string_view character) {
        if (m_first) {
            m_first = false;
            if (character == "\xEF\xBB\xBF") {
                return false;
            }
        }
        if (m_afterCr && character == "\n") {
            m_afterCr = false;
            return false;
        }
        m_afterCr = false;
        m_line = m_nextLine;
        m_column = m_nextColumn;
        if (character == "\r" || character == "\n") {
            m_afterCr = character == "\r";
            m_nextLine = m_line + 1;
            m_nextColumn = 1;
            m_lineEnd = true;
        } else {
            m_nextColumn = m_column + 1;
            m_lineEnd = false;
        }
        return true;
    }
    // Where the character last taken stands, and whether it ends its line.
    std::int32_t line() const { return m_line; }
    std::int32_t column() const { return m_column; }
    bool lineEnd() const { return m_lineEnd; }
    // Where the next character will stand.
    TextPosition next() const { return {m_nextLine, m_nextColumn}; }

private:
    bool m_first = true;
    bool m_afterCr = false;
    bool m_lineEnd = false;
    std::int32_t m_line = 1;
    std::int32_t m_column = 1;
    std::int32_t m_nextLine = 1;
    std::int32_t m_nextColumn = 1;
};

// Keeps the characters of one line that may end up in its shown window: the
// first kSourceWindow characters, those within kSourceWindow of the column,
// and the last kSourceWindow. Memory stays bounded however long the line is.
class LineWindow {
public:
    explicit LineWindow(std::int32_t column)
        : m_center(column > 0 ? static_cast<std::size_t>(column) - 1 : 0) {}

    void keep(std::string shown) {
        const std::size_t index = m_length++;
        if (index < kSourceWindow) {
            m_head.push_back(shown);
        }
        if (index + kSourceWindow >= m_center && index <= m_center + kSourceWindow) {
            if (m_middle.empty()) {
                m_middleStart = index;
            }
            m_middle.push_back(shown);
        }
        m_tail.push_back(std::move(shown));
        if (m_tail.size() > kSourceWindow) {
            m_tail.pop_front();
        }
    }

    std::string text() const {
        if (m_length <= kSourceWindow) {
            return join(0, m_length);
        }
        const std::size_t half = kSourceWindow / 2;
        std::size_t start = m_center > half ? m_center - half : 0;
        start = std::min(start, m_length - kSourceWindow);
        const std::size_t end = start + kSourceWindow;
        std::string result;
        if (start > 0) {
            result += kCutMarker;
        }
        result += join(start, end);
        if (end < m_length) {
            result += kCutMarker;
        }
        return result;
    }

private:
    std::string join(std::size_t start, std::size_t end) const {
        std::string result;
        const std::size_t tailStart = m_length - m_tail.size();
        for (std::size_t i = start; i < end; ++i) {
            if (i < m_head.size()) {
                result += m_head[i];
            } else if (i >= m_middleStart && i - m_middleStart < m_middle.size()) {
                result += m_middle[i - m_middleStart];
            } else if (i >= tailStart) {
                result += m_tail[i - tailStart];
            }
        }
        return result;
    }

    std::size_t m_center;
    std::size_t m_length = 0;
    std::vector<std::string> m_head;
    std::vector<std::string> m_middle;
    std::size_t m_middleStart = 0;
    std::deque<std::string> m_tail;
};

// A control character other than tab is shown as U+FFFD.
std::string sanitized(std::string_view character) {
    if (character.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(character[0]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            return kReplacement;
        }
    }
    return std::string(character);
}

// Collects the wanted lines (line number and column to centre on), each
// without its line break.
class LineCollector : public CharacterSink {
public:
    explicit LineCollector(const std::vector<TextPosition>& wanted) {
        for (const TextPosition& position : wanted) {
            if (position.line > 0) {
                m_windows.try_emplace(position.line, position.column);
                m_last = std::max(m_last, position.line);
            }
        }
    }

    bool accept(std::string_view character, bool /*decodable*/) override {
        if (!m_lines.advance(character)) {
            return true;
        }
        if (m_lines.line() > m_last) {
            return false;
        }
        if (!m_lines.lineEnd()) {
            if (auto it = m_windows.find(m_lines.line()); it != m_windows.end()) {
                it->second.keep(sanitized(character));
            }
        }
        return true;
    }

    // The text of line, empty when the document has no such line.
    std::string text(std::int32_t line) const {
        const auto it = m_windows.find(line);
        const bool reached = line < m_lines.next().line ||
                             (line == m_lines.next().line && m_lines.next().column > 1);
        return it != m_windows.end() && reached ? it->second.text() : std::string();
    }

private:
    LineCounter m_lines;
    std::map<std::int32_t, LineWindow> m_windows;
    std::int32_t m_last = 0;
};

// Maps positions as libxml2's parser counts them (a new line only after an
// LF; a CR is a character of its line) to positions as XML counts them.
class PositionMapper : public CharacterSink {
public:
    explicit PositionMapper(const std::vector<TextPosition>& parserPositions)
        : m_result(parserPositions.size()) {
        for (std::size_t i = 0; i < parserPositions.size(); ++i) {
            TextPosition position = parserPositions[i];
            position.column = std::max(position.column, 1);
            m_pending.push_back({position, i});
        }
        std::sort(m_pending.begin(), m_pending.end(), [](const Request& a, const Request& b) {
            return before(a.position, b.position);
        });
    }

    bool accept(std::string_view character, bool /*decodable*/) override {
        if (!m_started) {
            m_started = true;
            if (character == "\xEF\xBB\xBF") {
                return true; // the parser skips the byte-order mark too
            }
        }
        const TextPosition here = m_parser;
        if (character == "\n") {
            ++m_parser.line;
            m_parser.column = 1;
        } else {
            ++m_parser.column;
        }
        const bool counted = m_lines.advance(character);
        const TextPosition actual =
            counted ? TextPosition{m_lines.line(), m_lines.column()} : m_lastActual;
        // A position past the end of its line stands at that line's end.
        while (m_next < m_pending.size() && !before(here, m_pending[m_next].position)) {
            const bool exact = here.line == m_pending[m_next].position.line;
            m_result[m_pending[m_next].index] = exact ? actual : m_lastActual;
            ++m_next;
        }
        m_lastActual = actual;
        return m_next < m_pending.size();
    }

    // Positions never reached lie past the end of the document.
    std::vector<TextPosition> result() {
        for (; m_next < m_pending.size(); ++m_next) {
            m_result[m_pending[m_next].index] = m_lines.next();
        }
        return m_result;
    }

private:
    struct Request {
        TextPosition position;
        std::size_t index;
    };
    static bool before(const TextPosition& a, const TextPosition& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    }

    std::vector<Request> m_pending;
    std::size_t m_next = 0;
    std::vector<TextPosition> m_result;
    bool m_started = false;
    TextPosition m_parser{1, 1};
    TextPosition m_lastActual{1, 1};
    LineCounter m_lines;
};

// Splits decoded UTF-8 into characters for a sink; keeps an incomplete
// sequence at the end for the next piece.
class CharacterSplitter {
public:
    explicit CharacterSplitter(CharacterSink& sink) : m_sink(sink) {}

    bool wantsMore() const { return m_wantsMore; }

    void feed(std::string_view bytes) {
        m_pending.append(bytes);
        std::size_t pos = 0;
        while (pos < m_pending.size() && m_wantsMore) {
            const auto lead = static_cast<unsigned char>(m_pending[pos]);
            const std::size_t need = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            if (pos + need > m_pending.size()) {
                break;
            }
            m_wantsMore = m_sink.accept(std::string_view(m_pending).substr(pos, need), true);
            pos += need;
        }
        m_pending.erase(0, pos);
    }

    void undecodable() {
        if (m_wantsMore) {
            m_wantsMore = m_sink.accept(kReplacement, false);
        }
    }

private:
    CharacterSink& m_sink;
    std::string m_pending;
    bool m_wantsMore = true;
};

// Up to size bytes of the document from offset; -1 when the file cannot be
// read.
ssize_t readDocument(DocumentText document, std::uint64_t offset, char* into, std::size_t size) {
    if (document.fd < 0) {
        if (offset >= document.bytes.size()) {
            return 0;
        }
        const std::size_t n =
            std::min<std::size_t>(size, document.bytes.size() - static_cast<std::size_t>(offset));
        std::memcpy(into, document.bytes.data() + offset, n);
        return static_cast<ssize_t>(n);
    }
    ssize_t got = 0;
    do {
        got = ::pread(document.fd, into, size, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

// Decodes the document, in the encoding it is written in, into characters
// for sink, until the end or until the sink has enough. False when it cannot
// be read.
bool decodeDocument(DocumentText document, CharacterSink& sink) {
    std::uint64_t offset = 0;
    std::vector<char> input(kReadChunk);
    std::vector<char> output(4 * kReadChunk);
    std::size_t held = 0; // undecoded bytes at the start of input
    CharacterSplitter splitter(sink);
    Converter converter;
    std::size_t unitSize = 1;
    bool atEnd = false;
    while (splitter.wantsMore() && !atEnd) {
        const ssize_t got =
            readDocument(document, offset, input.data() + held, input.size() - held);
        if (got < 0) {
            return false;
        }
        offset += static_cast<std::uint64_t>(got);
        atEnd = got == 0;
        std::size_t available = held + static_cast<std::size_t>(got);
        if (!converter) {
            const std::string encoding =
                detectDocumentEncoding(std::string_view(input.data(), available));
            unitSize = encoding.starts_with("UTF-16") ? 2 : 1;
            converter = openConverter(encoding);
            if (!converter) {
                return false;
            }
        }
        char* in = input.data();
        std::size_t inLeft = available;
        while (inLeft > 0 && splitter.wantsMore()) {
            char* out = output.data();
            std::size_t outLeft = output.size();
            const std::size_t rc =
                ::iconv(static_cast<iconv_t>(converter.get()), &in, &inLeft, &out, &outLeft);
            splitter.feed(std::string_view(output.data(), output.size() - outLeft));
            if (rc != static_cast<std::size_t>(-1)) {
                continue;
            }
            if (errno == EILSEQ || (errno == EINVAL && atEnd)) {
                // One unit that cannot be decoded stands for itself.
                splitter.undecodable();
                const std::size_t skip = std::min(unitSize, inLeft);
                in += skip;
                inLeft -= skip;
            } else if (errno == EINVAL) {
                break; // an incomplete sequence: wait for more bytes
            } else if (errno != E2BIG) {
                return false;
            }
        }
        std::copy(in, in + inLeft, input.data());
        held = inLeft;
    }
    return true;
}

// Finds the first character that cannot be decoded.
class FirstUndecodable : public CharacterSink {
public:
    bool accept(std::string_view character, bool decodable) override {
        if (!decodable) {
            m_found = m_lines.next();
            return false;
        }
        m_lines.advance(character);
        return true;
    }
    std::optional<TextPosition> found() const { return m_found; }

private:
    LineCounter m_lines;
    std::optional<TextPosition> m_found;
};

} // namespace

std::string converterNameForLabel(std::string_view label) {
    const std::string name = upperAscii(label);
    for (const char* shiftJis : kShiftJisLabels) {
        if (name == shiftJis) {
            return kShiftJisConverter;
        }
    }
    return std::string(label);
}

std::string detectDocumentEncoding(std::string_view head) {
    const auto startsWith = [&](std::string_view prefix) { return head.starts_with(prefix); };
    using namespace std::string_view_literals;
    if (startsWith("\xEF\xBB\xBF"sv)) {
        return "UTF-8";
    }
    if (startsWith("\xFF\xFE"sv) || startsWith("<\0?\0"sv)) {
        return "UTF-16LE";
    }
    if (startsWith("\xFE\xFF"sv) || startsWith("\0<\0?"sv)) {
        return "UTF-16BE";
    }
    const std::optional<std::string> label = declaredEncodingLabel(head);
    return label ? converterNameForLabel(*label) : "UTF-8";
}

std::optional<std::string> declaredEncodingLabel(std::string_view head) {
    if (!head.starts_with("<?xml")) {
        return std::nullopt;
    }
    const std::string_view declaration = head.substr(0, head.find("?>"));
    std::size_t pos = declaration.find("encoding");
    if (pos == std::string_view::npos) {
        return std::nullopt;
    }
    pos += 8;
    const auto skipSpace = [&] {
        while (pos < declaration.size() &&
               std::isspace(static_cast<unsigned char>(declaration[pos]))) {
            ++pos;
        }
    };
    skipSpace();
    if (pos >= declaration.size() || declaration[pos] != '=') {
        return std::nullopt;
    }
    ++pos;
    skipSpace();
    if (pos >= declaration.size() || (declaration[pos] != '"' && declaration[pos] != '\'')) {
        return std::nullopt;
    }
    const char quote = declaration[pos++];
    const std::size_t end = declaration.find(quote, pos);
    if (end == std::string_view::npos || end == pos) {
        return std::nullopt;
    }
    return std::string(declaration.substr(pos, end - pos));
}

std::optional<ByteOrderMarkConflict> byteOrderMarkConflict(std::string_view head) {
    using namespace std::string_view_literals;
    ByteOrderMarkConflict conflict;
    bool littleEndian = false;
    if (head.starts_with("\xFF\xFE"sv)) {
        conflict.byteOrderMark = "UTF-16LE";
        littleEndian = true;
    } else if (head.starts_with("\xFE\xFF"sv)) {
        conflict.byteOrderMark = "UTF-16BE";
    } else {
        return std::nullopt; // a UTF-8 mark is the parser's business
    }
    // The declaration is ASCII: one byte of each unit holds it.
    std::string declaration;
    for (std::size_t i = 2; i + 1 < head.size() && declaration.size() < 512; i += 2) {
        const char high = littleEndian ? head[i + 1] : head[i];
        const char low = littleEndian ? head[i] : head[i + 1];
        if (high != '\0' || low == '\0') {
            break;
        }
        declaration += low;
        if (declaration.ends_with("?>")) {
            break;
        }
    }
    const std::optional<std::string> label = declaredEncodingLabel(declaration);
    if (!label) {
        return std::nullopt; // no declaration: the mark decides
    }
    const std::string declared = upperAscii(*label);
    if (declared == "UTF-16" || declared == conflict.byteOrderMark) {
        return std::nullopt;
    }
    conflict.declared = *label;
    return conflict;
}

namespace {

// Runs work on the document at path, opened now; fallback when it cannot
// be opened.
template <class Work, class Value>
Value withOpenDocument(const std::string& path, Work work, Value fallback) {
    const Fd file = openForReading(path);
    if (!file) {
        return fallback;
    }
    return work(DocumentText{file.get(), {}});
}

} // namespace

std::string sourceLineText(const std::string& path, std::int32_t line, std::int32_t column) {
    return withOpenDocument(
        path, [&](DocumentText document) { return sourceLineText(document, line, column); },
        std::string());
}

std::vector<SourceSpot> locateInDocument(const std::string& path,
                                         const std::vector<TextPosition>& parserPositions) {
    return withOpenDocument(
        path, [&](DocumentText document) { return locateInDocument(document, parserPositions); },
        std::vector<SourceSpot>(parserPositions.size()));
}

std::optional<TextPosition> firstUndecodablePosition(const std::string& path) {
    return withOpenDocument(
        path, [](DocumentText document) { return firstUndecodablePosition(document); },
        std::optional<TextPosition>());
}

std::string sourceLineText(DocumentText document, std::int32_t line, std::int32_t column) {
    if (line <= 0) {
        return {};
    }
    LineCollector lines({TextPosition{line, column}});
    if (!decodeDocument(document, lines)) {
        return {};
    }
    return lines.text(line);
}

std::vector<SourceSpot> locateInDocument(DocumentText document,
                                         const std::vector<TextPosition>& parserPositions) {
    std::vector<SourceSpot> spots(parserPositions.size());
    std::vector<TextPosition> wanted;
    for (const TextPosition& position : parserPositions) {
        wanted.push_back(position.line > 0 ? position : TextPosition{0, 0});
    }
    PositionMapper mapper(wanted);
    if (!decodeDocument(document, mapper)) {
        return spots;
    }
    const std::vector<TextPosition> actual = mapper.result();
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (parserPositions[i].line > 0) {
            spots[i].position = actual[i];
            // An unknown column stays unknown.
            if (parserPositions[i].column <= 0) {
                spots[i].position.column = 0;
            }
        }
    }
    std::vector<TextPosition> lines;
    for (const SourceSpot& spot : spots) {
        lines.push_back(spot.position);
    }
    LineCollector collector(lines);
    if (decodeDocument(document, collector)) {
        for (SourceSpot& spot : spots) {
            spot.text = spot.position.line > 0 ? collector.text(spot.position.line) : "";
        }
    }
    return spots;
}

std::optional<TextPosition> firstUndecodablePosition(DocumentText document) {
    FirstUndecodable finder;
    decodeDocument(document, finder);
    return finder.found();
}

std::string oneLineUtf8(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = utf8SequenceLength(text.substr(pos));
        if (length == 0) {
            result += kReplacement;
            ++pos;
            continue;
        }
        if (length == 1) {
            const unsigned char c = static_cast<unsigned char>(text[pos]);
            if (c == '\n' || c == '\r' || c == '\t') {
                result += ' ';
            } else if (c < 0x20 || c == 0x7F) {
                result += kReplacement;
            } else {
                result += static_cast<char>(c);
            }
        } else {
            result.append(text.substr(pos, length));
        }
        pos += length;
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    return result;
}

} // namespace morvik::platform
