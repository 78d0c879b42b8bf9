// Streaming parse: the parser pulls the file through our read callback and
// its SAX events go straight into a schema validator (xmlSchemaSAXPlug), so
// no tree is built and memory does not grow with the document (but for the
// IDs it holds). A well-formedness error ends the input, which stops the
// parse; stopping the parser from inside an error report is not safe (the
// report can come from the middle of an encoding switch). A document's
// DOCTYPE is refused as soon as the parser meets it, before any declaration
// in it is processed; the SAX handlers have no entity or external-subset
// callbacks, so no entity is ever defined or read.
#include "platform/xml/xmlstream.h"

#include "platform/xml/xmlbudget.h"

#include "platform/xml/xmltext.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace morvik::platform {

namespace {

using ValidatorHandle = Handle<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt>;
using PlugHandle = Handle<xmlSchemaSAXPlugStruct, xmlSchemaSAXUnplug>;
using ParserHandle = Handle<xmlParserCtxt, xmlFreeParserCtxt>;

constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kXsdIdType = "xs:ID";

// Reads go to the file in blocks of this size.
constexpr std::size_t kReadBlock = 64 * 1024;
// What the root probe reads is kept for the validation up to this size; a
// document whose root comes later is read again from its start.
constexpr std::size_t kMaxHead = 1024 * 1024;

// libxml2 checks the attributes of one start tag against each other after
// reading them all, in time that grows with the square of their number and
// where nothing of ours is called: the bytes handed to it are counted first,
// and a start tag with more attributes than this ends the document.
constexpr std::uint32_t kMaxAttributesPerElement = 10'000;
// Each attribute takes four bytes at least (a name, '=' and two quotes), so
// that a smaller document cannot hold that many in one start tag: its bytes
// need no counting (real documents are some 30 KB). Nothing beyond the size a
// document had when it was opened is read.
constexpr std::uint64_t kAttributesCountedFrom = 4 * std::uint64_t{kMaxAttributesPerElement};

// Counts the attributes of each start tag in the bytes as they are handed to
// the parser (their '=' outside quoted values), skipping comments, CDATA
// sections, processing instructions and declarations. The markup characters
// are ASCII in every encoding the parser reads but EBCDIC; the zero bytes of
// UTF-16 and UTF-32 are passed over.
class AttributeCounter {
public:
    // False once a start tag has more than kMaxAttributesPerElement. Text,
    // quoted values and end tags, nearly all of a document, are passed over
    // with memchr; the rest goes byte by byte.
    bool feed(const char* bytes, std::size_t size) {
        std::size_t i = 0;
        while (i < size) {
            switch (m_state) {
            case State::text:
                if (!skipPast('<', bytes, size, i)) {
                    return true;
                }
                m_state = State::open;
                continue;
            case State::quoted:
                if (!skipPast(m_quote, bytes, size, i)) {
                    return true;
                }
                m_state = State::tag;
                continue;
            case State::endTag:
                if (!skipPast('>', bytes, size, i)) {
                    return true;
                }
                m_state = State::text;
                continue;
            case State::tag:
                for (; i < size && m_state == State::tag; ++i) {
                    const char c = bytes[i];
                    if (c == '"' || c == '\'') {
                        m_quote = c;
                        m_state = State::quoted;
                    } else if (c == '=') {
                        if (++m_attributes > kMaxAttributesPerElement) {
                            return false;
                        }
                    } else if (c == '>') {
                        m_state = State::text;
                    }
                }
                continue;
            case State::skipping: {
                // Every end looked for ends in '>': the bytes up to the next
                // one are only remembered.
                const void* found = std::memchr(bytes + i, '>', size - i);
                const std::size_t end =
                    found == nullptr
                        ? size
                        : static_cast<std::size_t>(static_cast<const char*>(found) - bytes) + 1;
                remember(bytes + i, end - i);
                i = end;
                if (found != nullptr && m_seen == m_until) {
                    m_state = State::text;
                }
                continue;
            }
            case State::open:
            case State::bang:
                step(bytes[i++]);
                continue;
            }
        }
        return true;
    }

private:
    enum class State { text, open, bang, skipping, tag, quoted, endTag };

    // Moves i past the next wanted byte; false when the bytes hold none.
    static bool skipPast(char wanted, const char* bytes, std::size_t size, std::size_t& i) {
        const void* found = std::memchr(bytes + i, wanted, size - i);
        if (found == nullptr) {
            i = size;
            return false;
        }
        i = static_cast<std::size_t>(static_cast<const char*>(found) - bytes) + 1;
        return true;
    }

    // Keeps in m_seen the last bytes seen while skipping, as many as the end
    // looked for has, zero bytes left out.
    void remember(const char* bytes, std::size_t size) {
        const std::size_t keep = m_until.size();
        std::string last;
        for (std::size_t j = size; j > 0 && last.size() < keep; --j) {
            if (bytes[j - 1] != '\0') {
                last.insert(last.begin(), bytes[j - 1]);
            }
        }
        if (last.size() < keep) {
            const std::size_t before = std::min(keep - last.size(), m_seen.size());
            last.insert(0, m_seen, m_seen.size() - before, before);
        }
        m_seen = std::move(last);
    }

    // One byte after "<" or in "<!".
    void step(char c) {
        if (c == '\0') {
            return;
        }
        switch (m_state) {
        case State::open:
            if (c == '!') {
                m_state = State::bang;
                m_seen.clear();
            } else if (c == '?') {
                skipUntil("?>");
            } else {
                m_state = c == '/' ? State::endTag : State::tag;
                m_attributes = 0;
            }
            break;
        case State::bang:
            m_seen += c;
            if (m_seen == "--") {
                skipUntil("-->");
            } else if (m_seen == "[CDATA[") {
                skipUntil("]]>");
            } else if (!std::string_view("--").starts_with(m_seen) &&
                       !std::string_view("[CDATA[").starts_with(m_seen)) {
                skipUntil(">");
            }
            break;
        default:
            break;
        }
    }

    void skipUntil(std::string_view end) {
        m_state = State::skipping;
        m_until = end;
        m_seen.clear();
    }

    State m_state = State::text;
    std::string m_seen;
    std::string_view m_until;
    char m_quote = '"';
    std::uint32_t m_attributes = 0;
};

// The allocator of the containers that grow with a document (its IDs and the
// references not yet matched): what they take is charged to the document's
// budget, as libxml2's own memory is.
template <class T> struct ChargedAllocator {
    using value_type = T;
    // What the C library adds to a block, roughly.
    static constexpr std::size_t kOverhead = 16;

    ChargedAllocator() = default;
    template <class U> ChargedAllocator(const ChargedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        T* block = std::allocator<T>().allocate(n);
        BudgetScope::chargeOwn(static_cast<std::int64_t>(n * sizeof(T) + kOverhead));
        return block;
    }
    void deallocate(T* block, std::size_t n) noexcept {
        BudgetScope::chargeOwn(-static_cast<std::int64_t>(n * sizeof(T) + kOverhead));
        std::allocator<T>().deallocate(block, n);
    }
    template <class U> bool operator==(const ChargedAllocator<U>&) const noexcept { return true; }
};

// A string's own block, when it has one (longer ones than fit in the string).
std::int64_t heapBytes(const std::string& text) {
    return text.capacity() > 15 ? static_cast<std::int64_t>(text.capacity() + 1 + 16) : 0;
}

// An ID reference that named no ID when it was met.
struct PendingReference {
    std::string value;
    std::string elementNamespace;
    std::string elementName;
    std::string attributeName; // empty for a reference in the element's content
    std::int32_t line = 0;
    std::int32_t column = 0;
};

// What the SAX callbacks share with the code that runs the parse.
struct StreamState {
    xmlParserCtxtPtr parser = nullptr;
    ErrorCollector* errors = nullptr;
    std::optional<RootProbe> root;
    const ValueDeclarations* values = nullptr;
    std::unordered_set<std::string, std::hash<std::string>, std::equal_to<std::string>,
                       ChargedAllocator<std::string>>
        ids;
    std::vector<PendingReference, ChargedAllocator<PendingReference>> pending;
    // Errors of our own checks of an element's values, recorded at the next
    // event, after the validator has reported its own errors for the element.
    std::vector<ErrorInfo> deferred;
    // While validating: the validator's own handlers, and the elements open
    // now (names as the parser's dictionary holds them, valid while it lives).
    xmlSAXHandlerPtr validator = nullptr;
    void* validatorData = nullptr;
    struct OpenElement {
        const xmlChar* localName;
        const xmlChar* prefix;
        const xmlChar* namespaceUri;
        ValueDeclarations::TypeId type = ValueDeclarations::kUnknownType;
        std::uint32_t namespaceCount = 0; // bindings this element declares
        bool collectsText = false;        // its simple content has a kind
        std::int32_t line = 0;
        std::int32_t column = 0;
    };
    std::vector<OpenElement> open;
    // Namespace bindings in scope (prefix, URI; a null prefix is the default).
    std::vector<std::pair<const xmlChar*, const xmlChar*>> bindings;
    std::string text; // the simple content of the innermost open element
    // The schema plug's own start-element handler, which the validating
    // parse calls through onPluggedElementStart.
    startElementNsSAX2Func pluggedStart = nullptr;
    // Values asked for, matched as the elements open; null when none.
    ValueMatcher* matcher = nullptr;
};

std::string lastSegment(const std::string& location) {
    const std::size_t slash = location.find_last_of("/\\");
    return slash == std::string::npos ? location : location.substr(slash + 1);
}

std::vector<std::string> words(std::string_view value) {
    std::vector<std::string> result;
    std::size_t pos = 0;
    while (true) {
        pos = value.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string_view::npos) {
            return result;
        }
        const std::size_t end = value.find_first_of(" \t\r\n", pos);
        result.emplace_back(value.substr(pos, end - pos));
        pos = end;
    }
}

std::string qualifiedName(const std::string& namespaceUri, const std::string& localName) {
    return namespaceUri.empty() ? localName : "{" + namespaceUri + "}" + localName;
}

void onInternalSubset(void* context, const xmlChar* name, const xmlChar* /*publicId*/,
                      const xmlChar* /*systemId*/) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        state->errors->record(
            loadError(XmlLoadError::dtdProhibited, OwnFacts::doctypeInDocument,
                      "<!DOCTYPE " + std::string(name != nullptr ? text(name) : ""), {},
                      state->errors->parserLine(), state->errors->parserColumn()));
    } catch (...) {
    }
    // Stops before the internal subset's declarations are parsed.
    xmlStopParser(state->parser);
}

void onRootStart(void* context, const xmlChar* localName, const xmlChar* /*prefix*/,
                 const xmlChar* namespaceUri, int /*namespaceCount*/,
                 const xmlChar** /*namespaces*/, int attributeCount, int /*defaultedCount*/,
                 const xmlChar** attributes) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        RootProbe probe;
        probe.element.localName = text(localName);
        if (namespaceUri != nullptr) {
            probe.element.namespaceUri = text(namespaceUri);
        }
        probe.element.line = state->errors->parserLine();
        probe.column = state->errors->parserColumn();
        // Attributes come as (local name, prefix, URI, value, value end).
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            if (attribute[2] == nullptr ||
                std::strcmp(text(attribute[2]), kSchemaInstanceNamespace) != 0) {
                continue;
            }
            const std::string attributeName = text(attribute[0]);
            const std::string_view value(text(attribute[3]),
                                         static_cast<std::size_t>(attribute[4] - attribute[3]));
            if (attributeName == "schemaLocation") {
                // Pairs of namespace and location: every second word.
                const std::vector<std::string> pairs = words(value);
                for (std::size_t w = 1; w < pairs.size(); w += 2) {
                    probe.element.schemaFileNames.push_back(lastSegment(pairs[w]));
                }
            } else if (attributeName == "noNamespaceSchemaLocation") {
                for (const std::string& location : words(value)) {
                    probe.element.schemaFileNames.push_back(lastSegment(location));
                }
            }
        }
        state->root = std::move(probe);
    } catch (...) {
    }
    xmlStopParser(state->parser);
}

void flushDeferred(StreamState& state) {
    if (state.deferred.empty()) {
        return;
    }
    for (ErrorInfo& error : state.deferred) {
        if (state.errors->fatal()) {
            break;
        }
        state.errors->record(std::move(error), ErrorWeight::invalid);
    }
    state.deferred.clear();
}

std::string_view trimmedView(std::string_view value) {
    const std::size_t first = value.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
}

// The type an xsi:type value names, resolved against the bindings in scope.
ValueDeclarations::TypeId typeNamed(const StreamState& state, std::string_view qname) {
    const std::size_t colon = qname.find(':');
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    for (auto it = state.bindings.rbegin(); it != state.bindings.rend(); ++it) {
        const std::string_view bound = it->first != nullptr ? text(it->first) : "";
        if (bound == prefix) {
            return state.values->namedType(it->second != nullptr ? text(it->second) : "", local);
        }
    }
    return prefix.empty() ? state.values->namedType("", local) : ValueDeclarations::kUnknownType;
}

// A value that libxml2 2.9 takes as a number although it is none: a number
// with an exponent marker and no exponent digits ("1e", "-1.0E+"). Its double
// parser accepts exactly these beyond the lexical space.
bool danglingExponent(std::string_view value, std::uint8_t forms) {
    value = trimmedView(value);
    const std::size_t marker = value.find_first_of("eE");
    if (marker == std::string_view::npos || (forms & kFloatingForm) == 0) {
        return false;
    }
    std::string_view exponent = value.substr(marker + 1);
    if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
        exponent.remove_prefix(1);
    }
    return exponent.empty() && isNumberInForms(value.substr(0, marker), forms);
}

// The built-in types whose lexical forms a number may take.
std::vector<std::string> formsOf(std::uint8_t forms) {
    std::vector<std::string> names;
    if ((forms & kDecimalForm) != 0) {
        names.emplace_back("xs:decimal");
    }
    if ((forms & kFloatingForm) != 0) {
        names.emplace_back("xs:double");
    }
    return names;
}

// Checks one simple value (an attribute's when attributeName is given, else
// the element's content) against its kind: numbers, IDs and references.
void checkValue(StreamState& state, const StreamState::OpenElement& element,
                const std::string* attributeName, std::string_view value, const ValueKind& kind,
                std::int32_t line, std::int32_t column) {
    const std::string elementNamespace =
        element.namespaceUri != nullptr ? text(element.namespaceUri) : "";
    const std::string elementName = qualifiedName(elementNamespace, text(element.localName));
    if (kind.numberForms != kNoNumber) {
        const std::vector<std::string> items =
            kind.list ? words(value) : std::vector<std::string>{std::string(value)};
        for (const std::string& item : items) {
            if (!danglingExponent(item, kind.numberForms)) {
                continue;
            }
            const std::string shown(trimmedView(item));
            ErrorInfo error = loadError(XmlLoadError::notANumber, OwnFacts::notANumber, shown,
                                        kind.typeName, line, column);
            error.facts.values = formsOf(kind.numberForms);
            error.facts.element = elementName;
            error.facts.attribute = attributeName != nullptr ? *attributeName : std::string();
            state.deferred.push_back(std::move(error));
            break;
        }
    }
    if (kind.id == IdKind::none) {
        return;
    }
    for (std::string& word : words(value)) {
        if (kind.id == IdKind::id) {
            // In a union an ID member takes only names; a value that is a
            // number belongs to another member.
            if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) != 0 ||
                                  word[0] == '-' || word[0] == '.')) {
                return;
            }
            BudgetScope::chargeOwn(heapBytes(word));
            if (!state.ids.insert(word).second) {
                ErrorInfo error;
                error.facts.domain = XML_FROM_SCHEMASV;
                error.facts.code = XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1;
                error.facts.own = OwnFacts::duplicateId;
                error.facts.str1 = word;
                error.facts.str2 = kXsdIdType;
                error.facts.element = elementName;
                error.facts.attribute =
                    attributeName != nullptr ? *attributeName : std::string();
                error.line = line;
                error.column = column;
                state.deferred.push_back(std::move(error));
            }
            return; // one value, not a list
        }
        if (state.ids.count(word) == 0) {
            BudgetScope::chargeOwn(heapBytes(word) + heapBytes(elementNamespace));
            state.pending.push_back({std::move(word), elementNamespace, text(element.localName),
                                     attributeName != nullptr ? *attributeName : std::string(),
                                     line, column});
        }
        if (kind.id == IdKind::idref) {
            return; // one value, not a list
        }
    }
}

bool isXsiType(const xmlChar** attribute) {
    return attribute[2] != nullptr &&
           std::strcmp(text(attribute[2]), kSchemaInstanceNamespace) == 0 &&
           std::strcmp(text(attribute[0]), "type") == 0;
}

// An element opens: it is kept on the stack of open elements with its type
// (from xsi:type, its declaration in its parent's type, or a global
// declaration), and its attributes' values are checked by their kinds.
void onElementStart(void* context, const xmlChar* localName, const xmlChar* prefix,
                    const xmlChar* namespaceUri, int namespaceCount, const xmlChar** namespaces,
                    int attributeCount, int /*defaultedCount*/,
                    const xmlChar** attributes) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        if (state->matcher != nullptr) {
            state->matcher->start(namespaceUri != nullptr ? text(namespaceUri) : nullptr,
                                  text(localName), attributes, attributeCount);
        }
        flushDeferred(*state);
        state->text.clear();
        StreamState::OpenElement element{localName, prefix, namespaceUri};
        element.line = state->errors->parserLine();
        element.column = state->errors->parserColumn();
        element.namespaceCount = static_cast<std::uint32_t>(namespaceCount);
        for (int i = 0; i < namespaceCount; ++i) {
            state->bindings.emplace_back(namespaces[2 * i], namespaces[2 * i + 1]);
        }
        std::optional<std::string_view> xsiType;
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            if (isXsiType(attribute)) {
                xsiType = trimmedView(std::string_view(
                    text(attribute[3]), static_cast<std::size_t>(attribute[4] - attribute[3])));
            }
        }
        const ValueDeclarations& values = *state->values;
        if (values.empty()) {
            state->open.push_back(element);
            return;
        }
        const std::string_view elementNamespace = namespaceUri != nullptr ? text(namespaceUri) : "";
        if (xsiType) {
            element.type = typeNamed(*state, *xsiType);
        } else if (state->open.empty()) {
            element.type = values.globalElement(elementNamespace, text(localName));
        } else {
            element.type =
                values.childElement(state->open.back().type, elementNamespace, text(localName));
        }
        if (element.type != ValueDeclarations::kUnknownType) {
            const ValueKind* content = values.content(element.type);
            element.collectsText = content != nullptr;
            for (int i = 0; i < attributeCount; ++i) {
                const xmlChar** attribute = attributes + 5 * i;
                const ValueKind* kind = values.attribute(
                    element.type, attribute[2] != nullptr ? text(attribute[2]) : "",
                    text(attribute[0]));
                if (kind == nullptr || !kind->matters()) {
                    continue;
                }
                const std::string attributeName = text(attribute[0]);
                checkValue(*state, element, &attributeName,
                           std::string_view(text(attribute[3]),
                                            static_cast<std::size_t>(attribute[4] - attribute[3])),
                           *kind, element.line, element.column);
            }
        }
        if (!state->open.empty()) {
            state->open.back().collectsText = false; // simple content has no elements
        }
        state->open.push_back(element);
    } catch (...) {
        state->errors->record(loadError(XmlLoadError::parserFailure, OwnFacts::outOfMemory));
    }
}

// The stream being validated on this thread.
thread_local StreamState* t_validating = nullptr;

// The validating parse's start-element handler: our own checks, then the
// validator's, which gets an xsi:type value without the blanks around it (a
// QName's whitespace is collapsed; libxml2 would look up " PQ" and fail).
// The parser's own attribute array is left as it is: it frees values
// through those pointers.
void onPluggedElementStart(void* plug, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar* namespaceUri, int namespaceCount,
                           const xmlChar** namespaces, int attributeCount, int defaultedCount,
                           const xmlChar** attributes) noexcept {
    StreamState* state = t_validating;
    onElementStart(state, localName, prefix, namespaceUri, namespaceCount, namespaces,
                   attributeCount, defaultedCount, attributes);
    const xmlChar** handed = attributes;
    std::vector<const xmlChar*> trimmed;
    try {
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            if (!isXsiType(attribute) || attribute[3] == attribute[4] ||
                (!IS_BLANK_CH(*attribute[3]) && !IS_BLANK_CH(attribute[4][-1]))) {
                continue;
            }
            if (trimmed.empty()) {
                trimmed.assign(attributes, attributes + 5 * attributeCount);
            }
            const xmlChar** copy = trimmed.data() + 5 * i;
            while (copy[3] < copy[4] && IS_BLANK_CH(*copy[3])) {
                ++copy[3];
            }
            while (copy[4] > copy[3] && IS_BLANK_CH(copy[4][-1])) {
                --copy[4];
            }
            handed = trimmed.data();
        }
    } catch (...) {
        handed = attributes; // out of memory: the value as it stands
    }
    state->pluggedStart(plug, localName, prefix, namespaceUri, namespaceCount, namespaces,
                        attributeCount, defaultedCount, handed);
}

void onCharacters(void* context, const xmlChar* characters, int length) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        flushDeferred(*state);
        if (!state->open.empty() && state->open.back().collectsText) {
            state->text.append(text(characters), static_cast<std::size_t>(length));
        }
    } catch (...) {
        state->errors->record(loadError(XmlLoadError::parserFailure, OwnFacts::outOfMemory));
    }
}

void onElementEnd(void* context, const xmlChar* /*localName*/, const xmlChar* /*prefix*/,
                  const xmlChar* /*namespaceUri*/) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        flushDeferred(*state);
        if (state->open.empty()) {
            return;
        }
        const StreamState::OpenElement element = state->open.back();
        if (element.collectsText) {
            if (const ValueKind* kind = state->values->content(element.type)) {
                checkValue(*state, element, nullptr, state->text, *kind,
                           state->errors->parserLine(), state->errors->parserColumn());
            }
        }
        state->text.clear();
        state->open.pop_back();
        state->bindings.resize(
            state->bindings.size() -
            std::min<std::size_t>(element.namespaceCount, state->bindings.size()));
    } catch (...) {
        state->errors->record(loadError(XmlLoadError::parserFailure, OwnFacts::outOfMemory));
    }
    if (state->matcher != nullptr) {
        state->matcher->end();
    }
}

// Where no schema validates (or no more errors of it are wanted): only the
// values asked for are matched.
void onValueStart(void* context, const xmlChar* localName, const xmlChar* /*prefix*/,
                  const xmlChar* namespaceUri, int /*namespaceCount*/,
                  const xmlChar** /*namespaces*/, int attributeCount, int /*defaultedCount*/,
                  const xmlChar** attributes) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        state->matcher->start(namespaceUri != nullptr ? text(namespaceUri) : nullptr,
                              text(localName), attributes, attributeCount);
    } catch (...) {
        state->errors->record(loadError(XmlLoadError::parserFailure, OwnFacts::outOfMemory));
    }
}

void onValueEnd(void* context, const xmlChar* /*localName*/, const xmlChar* /*prefix*/,
                const xmlChar* /*namespaceUri*/) noexcept {
    static_cast<StreamState*>(context)->matcher->end();
}

// A parse that ended at a well-formedness error leaves elements open in the
// validator; libxml2 does not free what it keeps for their identity
// constraints unless it sees them end. They are ended for it, innermost first
// (any error that brings is not kept: the fatal one stands).
void closeOpenElements(StreamState& state) {
    if (state.validator == nullptr) {
        return;
    }
    const std::vector<StreamState::OpenElement> open = state.open;
    // The elements stay open for the value matcher: their end tags are still
    // to come.
    ValueMatcher* const matcher = state.matcher;
    state.matcher = nullptr;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        if (state.validator->endElementNs != nullptr) {
            state.validator->endElementNs(state.validatorData, it->localName, it->prefix,
                                          it->namespaceUri);
        }
    }
    state.matcher = matcher;
}

// After the whole document: every reference must name one of its IDs.
void checkReferences(StreamState& state) {
    for (const PendingReference& reference : state.pending) {
        if (state.errors->fatal()) {
            return;
        }
        if (state.ids.count(reference.value) != 0) {
            continue;
        }
        if (state.errors->full()) {
            state.errors->markCapped();
            return;
        }
        ErrorInfo error = loadError(XmlLoadError::idrefNotFound, OwnFacts::idrefNotFound,
                                    reference.value, {}, reference.line, reference.column);
        error.facts.element = qualifiedName(reference.elementNamespace, reference.elementName);
        // A reference in the element's own content names no attribute.
        error.facts.attribute = reference.attributeName;
        state.errors->record(std::move(error), ErrorWeight::invalid);
    }
}

// Where the parser reads from: the bytes the root probe kept, then the file
// in blocks. When the collector has as many schema errors as it keeps, the
// parser's handlers are switched to plainSax, so that the rest of the
// document is only checked for well-formedness.
struct ReadSource {
    StreamedDocument* document = nullptr;
    ErrorCollector* errors = nullptr;
    bool recordHead = false;
    std::size_t replayed = 0;
    // The last block read: its bytes are not cleared before a read.
    std::unique_ptr<char[]> blockBytes{new char[kReadBlock]};
    std::string_view block;
    std::size_t blockPosition = 0;
    xmlParserCtxtPtr parser = nullptr;
    StreamState* state = nullptr;
    const xmlSAXHandler* plainSax = nullptr;
    void* plainUserData = nullptr;
    bool startChecked = false;
    BudgetScope* budget = nullptr;
    bool budgetSpent = false; // the parse was stopped by the budget
    AttributeCounter attributes;
    bool countAttributes = true;
    bool tooManyAttributes = false;
};

// Hands the n bytes now in buffer to the parser, unless they hold a start
// tag with too many attributes.
int handOver(ReadSource& source, const char* buffer, std::size_t n) {
    if (source.countAttributes && !source.attributes.feed(buffer, n)) {
        source.tooManyAttributes = true;
        return -1;
    }
    return static_cast<int>(n);
}

// Fills the block from the file; false at its end or on a read error.
bool readBlock(ReadSource& source) {
    StreamedDocument& document = *source.document;
    source.block = {};
    source.blockPosition = 0;
    if (document.inMemory) {
        // The bytes are viewed, never copied.
        const std::size_t n = std::min<std::size_t>(
            kReadBlock, document.bytes.size() - static_cast<std::size_t>(document.read));
        if (n == 0) {
            document.atEnd = true;
            return false;
        }
        source.block = std::string_view(document.bytes).substr(document.read, n);
        document.read += n;
        document.atEnd = document.read >= document.size;
        return true;
    }
    // Bytes that are not counted are never read past the size the file had
    // when it was opened: that size is what spares the count.
    std::size_t wanted = kReadBlock;
    if (!source.countAttributes) {
        wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted, document.size - std::min(document.read, document.size)));
        if (wanted == 0) {
            document.atEnd = true;
            return false;
        }
    }
    ssize_t got = 0;
    do {
        got = ::read(document.fd.get(), source.blockBytes.get(), wanted);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        const int error = errno;
        if (got < 0) {
            source.errors->record(loadError(XmlLoadError::cannotRead,
                                            OwnFacts::documentCannotRead, document.path,
                                            errnoText(error), source.errors->parserLine()));
        } else {
            document.atEnd = true;
        }
        return false;
    }
    source.block = std::string_view(source.blockBytes.get(), static_cast<std::size_t>(got));
    // A file read to the size it had when opened needs no read to find its
    // end (documents do not grow during a run).
    document.read += static_cast<std::uint64_t>(got);
    if (document.read >= document.size) {
        document.atEnd = true;
    }
    if (source.recordHead && document.head.size() <= kMaxHead) {
        document.head += source.block;
    }
    return true;
}

int readFromSource(void* context, char* buffer, int length) noexcept {
    auto* source = static_cast<ReadSource*>(context);
    try {
        if (source->errors->fatal()) {
            return 0;
        }
        // Between two reads the parser can stop cleanly; a document over its
        // budget stops here.
        if (source->budget != nullptr && source->budget->spent()) {
            source->budgetSpent = true;
            return -1;
        }
        if (source->plainSax != nullptr && source->errors->full()) {
            // Between two events the validator is at rest: its open elements
            // are ended for it before it hears no more.
            closeOpenElements(*source->state);
            std::memcpy(source->parser->sax, source->plainSax, sizeof(xmlSAXHandler));
            source->parser->userData = source->plainUserData;
            source->plainSax = nullptr;
            source->errors->markCapped();
        }
        const std::string& head = source->document->head;
        if (!source->startChecked) {
            // libxml2 lets a UTF-16 byte-order mark overrule the declared
            // encoding; the two contradicting each other is a fatal error.
            source->startChecked = true;
            const bool replaying = !source->recordHead && !head.empty();
            if (!replaying && source->block.empty() && !source->document->atEnd) {
                readBlock(*source);
            }
            if (const auto conflict = byteOrderMarkConflict(replaying ? head : source->block)) {
                ErrorInfo error = loadError(
                    XmlLoadError::byteOrderMarkConflict, OwnFacts::byteOrderMarkConflict,
                    conflict->byteOrderMark, conflict->declared, 1, 1);
                source->errors->record(std::move(error));
                return 0;
            }
        }
        const auto wanted = static_cast<std::size_t>(length);
        if (!source->recordHead && source->replayed < head.size()) {
            const std::size_t n = std::min(wanted, head.size() - source->replayed);
            std::memcpy(buffer, head.data() + source->replayed, n);
            source->replayed += n;
            return handOver(*source, buffer, n);
        }
        if (source->blockPosition >= source->block.size() &&
            (source->document->atEnd || !readBlock(*source))) {
            return source->errors->fatal() && !source->document->atEnd ? -1 : 0;
        }
        const std::size_t n = std::min(wanted, source->block.size() - source->blockPosition);
        std::memcpy(buffer, source->block.data() + source->blockPosition, n);
        source->blockPosition += n;
        return handOver(*source, buffer, n);
    } catch (...) {
        return -1;
    }
}

// Parses the document with the given SAX handler, from its start: when the
// probe kept every byte it read, those come first, then the rest of the
// file; otherwise the file is read again. Returns libxml2's result; every
// failure ends up as the collector's error.
int parseDocument(StreamedDocument& document, xmlSAXHandlerPtr sax, void* userData,
                  StreamState& state, bool recordHead, const xmlSAXHandler* plainSax = nullptr,
                  void* plainUserData = nullptr) {
    ErrorCollector& errors = *state.errors;
    BudgetScope budget(BudgetKind::document, document.size);
    ReadSource source;
    source.budget = &budget;
    source.document = &document;
    source.errors = &errors;
    source.recordHead = recordHead;
    source.countAttributes = document.size >= kAttributesCountedFrom;
    if (document.inMemory) {
        // Every parse reads the bytes from their start: nothing to keep.
        source.recordHead = false;
        document.read = 0;
        document.atEnd = false;
    } else if (!recordHead && document.head.size() > kMaxHead) {
        // The probe did not keep all it read.
        document.head.clear();
        document.atEnd = false;
        document.read = 0;
        if (::lseek(document.fd.get(), 0, SEEK_SET) != 0) {
            errors.record(loadError(XmlLoadError::cannotRead, OwnFacts::documentCannotRead,
                                    document.path, errnoText(errno)));
            return -1;
        }
    }
    ParserHandle parser(xmlCreateIOParserCtxt(sax, userData, readFromSource, nullptr, &source,
                                              XML_CHAR_ENCODING_NONE));
    if (!parser) {
        errors.record(loadError(XmlLoadError::parserFailure, OwnFacts::parserNotCreated));
        return -1;
    }
    source.parser = parser.get();
    source.state = &state;
    source.plainSax = plainSax;
    source.plainUserData = plainUserData;
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET);
    // Names the document in libxml2's own messages.
    if (parser->input != nullptr && parser->input->filename == nullptr) {
        parser->input->filename = text(xmlStrdup(xml(document.path.c_str())));
    }
    state.parser = parser.get();
    errors.watch(parser.get());
    int rc = xmlParseDocument(parser.get());
    const std::int32_t lastLine = errors.parserLine();
    if (source.tooManyAttributes) {
        errors.overrule(loadError(XmlLoadError::budgetExceeded, OwnFacts::overBudget,
                                  kBudgetAttributes, std::to_string(kMaxAttributesPerElement),
                                  lastLine));
        rc = static_cast<int>(XmlLoadError::budgetExceeded);
    } else if (source.budgetSpent || budget.ranOut()) {
        ErrorInfo error = budget.error();
        error.line = lastLine;
        errors.overrule(std::move(error));
        rc = static_cast<int>(XmlLoadError::budgetExceeded);
    }
    if (errors.fatal() && source.plainSax != nullptr) {
        closeOpenElements(state);
    }
    errors.watch(nullptr);
    state.parser = nullptr;
    // libxml2 keeps entity declarations of a malformed DOCTYPE in a document
    // of its own, which the parser context does not free.
    if (parser->myDoc != nullptr) {
        xmlFreeDoc(parser->myDoc);
        parser->myDoc = nullptr;
    }
    if (state.root) {
        return 0; // stopped by us at the root: that is no error
    }
    if (rc == 0 && !parser->wellFormed) {
        rc = parser->errNo != 0 ? parser->errNo : static_cast<int>(XmlLoadError::parserFailure);
    }
    if (rc != 0 && !errors.fatal()) {
        // A failure that came without a structured error (an encoder error
        // sends only a generic message).
        ErrorInfo error;
        error.facts.code = rc;
        // libxml2's generic text, when it sent one, is its message; without
        // it the parser's result is all there is.
        error.facts.message = oneLineUtf8(errors.genericText());
        if (error.facts.message.empty()) {
            error.facts.own = OwnFacts::parserStopped;
            error.facts.int1 = rc;
        }
        error.line = lastLine;
        errors.record(std::move(error));
    }
    return rc;
}

// Whether path, a symbolic link, leads to a file in its own folder.
bool linkStaysInFolder(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    if (error) {
        return false;
    }
    const fs::path folder = fs::canonical(fs::absolute(fs::path(path), error).parent_path(), error);
    return !error && target.parent_path() == folder;
}

} // namespace

Result<StreamedDocument, ErrorInfo> openStreamedDocument(const std::string& path) {
    StreamedDocument document;
    document.path = path;
    document.fd = openForReading(path, FollowLinks::no);
    if (!document.fd && errno == ELOOP) {
        // A link is read only when it points to a file beside it: the
        // document's folder is what the archive delivered.
        if (!linkStaysInFolder(path)) {
            return loadError(XmlLoadError::notAFile, OwnFacts::documentLinkOutside, path);
        }
        document.fd = openForReading(path);
    }
    if (!document.fd) {
        return loadError(XmlLoadError::cannotRead, OwnFacts::documentCannotOpen, path,
                         errnoText(errno));
    }
    struct stat info {};
    if (::fstat(document.fd.get(), &info) != 0) {
        return loadError(XmlLoadError::cannotRead, OwnFacts::documentCannotRead, path,
                         errnoText(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return loadError(XmlLoadError::notAFile, OwnFacts::documentIsFolder, path);
    }
    if (!S_ISREG(info.st_mode)) {
        return loadError(XmlLoadError::notAFile, OwnFacts::documentNotRegular, path);
    }
    document.size = static_cast<std::uint64_t>(info.st_size);
    document.stamp = stampFrom(path, info);
    return document;
}

std::optional<RootProbe> probeRoot(StreamedDocument& document, ErrorCollector& errors) {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.internalSubset = onInternalSubset;
    sax.startElementNs = onRootStart;
    StreamState state;
    state.errors = &errors;
    parseDocument(document, &sax, &state, state, true);
    // A root whose namespace cannot be known (an unbound prefix) is no root.
    if (state.root && !errors.hasError()) {
        return state.root;
    }
    if (!errors.hasError()) {
        errors.record(loadError(XmlLoadError::parserFailure, OwnFacts::noRootElement));
    }
    return std::nullopt;
}

void validateStream(StreamedDocument& document, const CompiledSchema& schema,
                    ErrorCollector& errors, ValueMatcher* values) {
    ValidatorHandle validator(xmlSchemaNewValidCtxt(schema.get()));
    if (!validator) {
        errors.record(
            loadError(XmlLoadError::parserFailure, OwnFacts::validatorNotCreated));
        return;
    }
    StreamState state;
    state.errors = &errors;
    state.values = &schema.valueDeclarations();
    state.matcher = values;
    // Well-formedness alone, for the rest of a document once enough schema
    // errors are known (and the values still asked for).
    xmlSAXHandler plain{};
    plain.initialized = XML_SAX2_MAGIC;
    plain.internalSubset = onInternalSubset;
    if (values != nullptr) {
        plain.startElementNs = onValueStart;
        plain.endElementNs = onValueEnd;
    }
    xmlSAXHandler sax = plain;
    // Start tags reach the value matcher through onPluggedElementStart.
    sax.startElementNs = nullptr;
    sax.endElementNs = onElementEnd;
    if (!state.values->empty()) {
        sax.characters = onCharacters;
        sax.cdataBlock = onCharacters;
    }
    xmlSAXHandlerPtr saxInUse = &sax;
    void* userData = &state;
    PlugHandle plug(xmlSchemaSAXPlug(validator.get(), &saxInUse, &userData));
    if (!plug) {
        errors.record(loadError(XmlLoadError::parserFailure, OwnFacts::validatorNotAttached));
        return;
    }
    state.validator = saxInUse;
    state.validatorData = userData;
    // Start tags come to our handler first, which hands them on to the plug.
    state.pluggedStart = saxInUse->startElementNs;
    xmlSAXHandler wrapped = *saxInUse;
    wrapped.startElementNs = onPluggedElementStart;
    t_validating = &state;
    const int rc = parseDocument(document, &wrapped, userData, state, false, &plain, &state);
    t_validating = nullptr;
    if (!errors.fatal()) {
        flushDeferred(state);
        checkReferences(state);
    }
    if (rc == 0 && !errors.hasError() && xmlSchemaIsValid(validator.get()) != 1) {
        errors.record(loadError(XmlLoadError::parserFailure, OwnFacts::validatorRejected));
    }
}

void checkWellFormed(StreamedDocument& document, ErrorCollector& errors, ValueMatcher* values) {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.internalSubset = onInternalSubset;
    if (values != nullptr) {
        sax.startElementNs = onValueStart;
        sax.endElementNs = onValueEnd;
    }
    StreamState state;
    state.errors = &errors;
    state.matcher = values;
    parseDocument(document, &sax, &state, state, false);
}

void OpenedDocumentDeleter::operator()(OpenedDocument* opened) const noexcept {
    delete opened;
}

std::optional<OpenedDocument> takeOpenedDocument(OpenedDocumentHandle opened,
                                                 const std::string& path) {
    if (!opened || opened->document.path != path ||
        (!opened->document.inMemory && stampOf(path) != opened->document.stamp)) {
        return std::nullopt;
    }
    return std::move(*opened);
}

bool givenAsBytes(const OpenedDocumentHandle& opened, const std::string& path) {
    return opened && opened->document.inMemory && opened->document.path == path;
}

std::optional<XmlRootElement> readRootElementFromBytes(const std::string& path, std::string bytes,
                                                       XmlErrorFacts* problem,
                                                       OpenedDocumentHandle* opened) {
    ensureRuntime();
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);
    StreamedDocument document;
    document.path = path;
    document.size = bytes.size();
    document.bytes = std::move(bytes);
    document.inMemory = true;
    std::optional<RootProbe> probe = probeRoot(document, errors);
    if (!probe && problem != nullptr) {
        *problem = errors.first().facts;
        problem->message = oneLineUtf8(problem->message);
    }
    std::optional<XmlRootElement> element;
    if (probe) {
        element = probe->element;
    }
    if (opened != nullptr) {
        const bool probed = probe.has_value();
        opened->reset(new OpenedDocument{std::move(document),
                                         probed ? std::move(*probe) : RootProbe{}, probed});
    }
    return element;
}

std::optional<XmlRootElement> readRootElement(const std::string& path, XmlErrorFacts* problem,
                                              OpenedDocumentHandle* opened) {
    ensureRuntime();
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);
    const auto tell = [&](const ErrorInfo& error) {
        if (problem != nullptr) {
            *problem = error.facts;
            problem->message = oneLineUtf8(problem->message);
        }
    };
    Result<StreamedDocument, ErrorInfo> file = openStreamedDocument(path);
    if (!file) {
        tell(file.error());
        return std::nullopt;
    }
    StreamedDocument* document = &*file;
    std::optional<RootProbe> probe = probeRoot(*document, errors);
    if (!probe) {
        tell(errors.first());
        return std::nullopt;
    }
    XmlRootElement element = probe->element;
    if (opened != nullptr) {
        opened->reset(new OpenedDocument{std::move(*document), std::move(*probe)});
    }
    return element;
}

} // namespace morvik::platform
