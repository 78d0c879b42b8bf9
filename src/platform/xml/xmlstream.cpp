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

#include "platform/xml/xmltext.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
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

// An ID reference that named no ID when it was met.
struct PendingReference {
    std::string value;
    std::string elementNamespace;
    std::string elementName;
    std::string attributeName;
    std::int32_t line = 0;
    std::int32_t column = 0;
};

// What the SAX callbacks share with the code that runs the parse.
struct StreamState {
    xmlParserCtxtPtr parser = nullptr;
    ErrorCollector* errors = nullptr;
    std::optional<RootProbe> root;
    const IdAttributes* idAttributes = nullptr;
    std::unordered_set<std::string> ids;
    std::vector<PendingReference> pending;
    // While validating: the validator's own handlers, and the elements open
    // now (names as the parser's dictionary holds them, valid while it lives).
    xmlSAXHandlerPtr validator = nullptr;
    void* validatorData = nullptr;
    struct OpenElement {
        const xmlChar* localName;
        const xmlChar* prefix;
        const xmlChar* namespaceUri;
    };
    std::vector<OpenElement> open;
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
            loadError(XmlLoadError::dtdProhibited,
                      "DTD is prohibited: the document type declaration (<!DOCTYPE " +
                          std::string(name != nullptr ? text(name) : "") +
                          ") is refused, and nothing it declares or names is read.",
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

// An element opens: it is kept on the stack of open elements, and the IDs
// and ID references of its attributes are noted. A repeated ID is reported
// where it repeats, in the words libxml2 uses when it validates a tree; a
// reference to an ID not seen yet waits for the end of the document.
void onElementStart(void* context, const xmlChar* localName, const xmlChar* prefix,
                    const xmlChar* namespaceUri, int /*namespaceCount*/,
                    const xmlChar** /*namespaces*/, int attributeCount, int /*defaultedCount*/,
                    const xmlChar** attributes) noexcept {
    auto* state = static_cast<StreamState*>(context);
    try {
        state->open.push_back({localName, prefix, namespaceUri});
        if (state->idAttributes->empty()) {
            return;
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            const std::string_view attributeNamespace =
                attribute[2] != nullptr ? text(attribute[2]) : "";
            const IdKind kind = state->idAttributes->kindOf(attributeNamespace, text(attribute[0]));
            if (kind == IdKind::none || kind == IdKind::ambiguous) {
                continue;
            }
            const std::string_view value(text(attribute[3]),
                                         static_cast<std::size_t>(attribute[4] - attribute[3]));
            const std::string elementNamespace = namespaceUri != nullptr ? text(namespaceUri) : "";
            for (std::string& word : words(value)) {
                if (kind == IdKind::id) {
                    if (!state->ids.insert(word).second) {
                        ErrorInfo error;
                        error.facts.domain = XML_FROM_SCHEMASV;
                        error.facts.code = XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1;
                        error.facts.str1 = word;
                        error.facts.str2 = kXsdIdType;
                        error.facts.message =
                            "Element '" + qualifiedName(elementNamespace, text(localName)) +
                            "', attribute '" + text(attribute[0]) + "': '" + word +
                            "' is not a valid value of the atomic type '" + kXsdIdType + "'.";
                        error.line = state->errors->parserLine();
                        error.column = state->errors->parserColumn();
                        state->errors->record(std::move(error), ErrorWeight::invalid);
                    }
                } else if (state->ids.count(word) == 0) {
                    state->pending.push_back({std::move(word), elementNamespace, text(localName),
                                              text(attribute[0]), state->errors->parserLine(),
                                              state->errors->parserColumn()});
                }
                if (kind == IdKind::idref) {
                    break; // one value, not a list
                }
            }
        }
    } catch (...) {
        state->errors->record(loadError(XmlLoadError::parserFailure, "Out of memory."));
    }
}

void onElementEnd(void* context, const xmlChar* /*localName*/, const xmlChar* /*prefix*/,
                  const xmlChar* /*namespaceUri*/) noexcept {
    auto* state = static_cast<StreamState*>(context);
    if (!state->open.empty()) {
        state->open.pop_back();
    }
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
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        if (state.validator->endElementNs != nullptr) {
            state.validator->endElementNs(state.validatorData, it->localName, it->prefix,
                                          it->namespaceUri);
        }
    }
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
        ErrorInfo error =
            loadError(XmlLoadError::idrefNotFound,
                      idrefNotFoundMessage(reference.elementNamespace, reference.elementName,
                                           reference.attributeName, reference.value),
                      reference.line, reference.column);
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
    std::string block;
    std::size_t blockPosition = 0;
    xmlParserCtxtPtr parser = nullptr;
    StreamState* state = nullptr;
    const xmlSAXHandler* plainSax = nullptr;
    void* plainUserData = nullptr;
};

// Fills the block from the file; false at its end or on a read error.
bool readBlock(ReadSource& source) {
    StreamedDocument& document = *source.document;
    source.block.resize(kReadBlock);
    source.blockPosition = 0;
    ssize_t got = 0;
    do {
        got = ::read(document.fd.get(), source.block.data(), source.block.size());
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        const int error = errno;
        source.block.clear();
        if (got < 0) {
            source.errors->record(loadError(XmlLoadError::cannotRead,
                                            "The document '" + document.path +
                                                "' cannot be read: " + errnoText(error) + ".",
                                            source.errors->parserLine()));
        } else {
            document.atEnd = true;
        }
        return false;
    }
    source.block.resize(static_cast<std::size_t>(got));
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
        if (source->plainSax != nullptr && source->errors->full()) {
            // Between two events the validator is at rest: its open elements
            // are ended for it before it hears no more.
            closeOpenElements(*source->state);
            std::memcpy(source->parser->sax, source->plainSax, sizeof(xmlSAXHandler));
            source->parser->userData = source->plainUserData;
            source->plainSax = nullptr;
            source->errors->markCapped();
        }
        const auto wanted = static_cast<std::size_t>(length);
        const std::string& head = source->document->head;
        if (!source->recordHead && source->replayed < head.size()) {
            const std::size_t n = std::min(wanted, head.size() - source->replayed);
            std::memcpy(buffer, head.data() + source->replayed, n);
            source->replayed += n;
            return static_cast<int>(n);
        }
        if (source->blockPosition >= source->block.size() &&
            (source->document->atEnd || !readBlock(*source))) {
            return source->errors->fatal() && !source->document->atEnd ? -1 : 0;
        }
        const std::size_t n = std::min(wanted, source->block.size() - source->blockPosition);
        std::memcpy(buffer, source->block.data() + source->blockPosition, n);
        source->blockPosition += n;
        return static_cast<int>(n);
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
    ReadSource source;
    source.document = &document;
    source.errors = &errors;
    source.recordHead = recordHead;
    if (!recordHead && document.head.size() > kMaxHead) {
        // The probe did not keep all it read.
        document.head.clear();
        document.atEnd = false;
        document.read = 0;
        if (::lseek(document.fd.get(), 0, SEEK_SET) != 0) {
            errors.record(loadError(XmlLoadError::cannotRead,
                                    "The document '" + document.path +
                                        "' cannot be read: " + errnoText(errno) + "."));
            return -1;
        }
    }
    ParserHandle parser(xmlCreateIOParserCtxt(sax, userData, readFromSource, nullptr, &source,
                                              XML_CHAR_ENCODING_NONE));
    if (!parser) {
        errors.record(loadError(XmlLoadError::parserFailure, "The XML parser cannot be created."));
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
    if (errors.fatal() && source.plainSax != nullptr) {
        closeOpenElements(state);
    }
    const std::int32_t lastLine = errors.parserLine();
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
        std::string reason = oneLineUtf8(errors.genericText());
        if (reason.empty()) {
            reason = "The XML parser stopped with error " + std::to_string(rc) + ".";
        }
        ErrorInfo error;
        error.facts.code = rc;
        error.facts.message = std::move(reason);
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
            return loadError(XmlLoadError::notAFile,
                             "'" + path +
                                 "' is a link that leads outside its folder; it is not read.");
        }
        document.fd = openForReading(path);
    }
    if (!document.fd) {
        return loadError(XmlLoadError::cannotRead,
                         "The document '" + path + "' cannot be opened: " + errnoText(errno) + ".");
    }
    struct stat info {};
    if (::fstat(document.fd.get(), &info) != 0) {
        return loadError(XmlLoadError::cannotRead,
                         "The document '" + path + "' cannot be read: " + errnoText(errno) + ".");
    }
    if (S_ISDIR(info.st_mode)) {
        return loadError(XmlLoadError::notAFile, "'" + path + "' is a folder, not a document.");
    }
    if (!S_ISREG(info.st_mode)) {
        return loadError(XmlLoadError::notAFile, "'" + path + "' is not a regular file.");
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
        errors.record(loadError(XmlLoadError::parserFailure, "The document has no root element."));
    }
    return std::nullopt;
}

void validateStream(StreamedDocument& document, const CompiledSchema& schema,
                    ErrorCollector& errors) {
    ValidatorHandle validator(xmlSchemaNewValidCtxt(schema.get()));
    if (!validator) {
        errors.record(
            loadError(XmlLoadError::parserFailure, "The schema validator cannot be created."));
        return;
    }
    StreamState state;
    state.errors = &errors;
    state.idAttributes = &schema.idAttributes();
    // Well-formedness alone, for the rest of a document once enough schema
    // errors are known.
    xmlSAXHandler plain{};
    plain.initialized = XML_SAX2_MAGIC;
    plain.internalSubset = onInternalSubset;
    xmlSAXHandler sax = plain;
    sax.startElementNs = onElementStart;
    sax.endElementNs = onElementEnd;
    xmlSAXHandlerPtr saxInUse = &sax;
    void* userData = &state;
    PlugHandle plug(xmlSchemaSAXPlug(validator.get(), &saxInUse, &userData));
    if (!plug) {
        errors.record(loadError(XmlLoadError::parserFailure,
                                "The schema validator cannot be attached to the parser."));
        return;
    }
    state.validator = saxInUse;
    state.validatorData = userData;
    const int rc = parseDocument(document, saxInUse, userData, state, false, &plain, &state);
    if (!errors.fatal()) {
        checkReferences(state);
    }
    if (rc == 0 && !errors.hasError() && xmlSchemaIsValid(validator.get()) != 1) {
        errors.record(loadError(XmlLoadError::parserFailure,
                                "The schema validator did not accept the document."));
    }
}

void checkWellFormed(StreamedDocument& document, ErrorCollector& errors) {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.internalSubset = onInternalSubset;
    StreamState state;
    state.errors = &errors;
    parseDocument(document, &sax, &state, state, false);
}

void OpenedDocumentDeleter::operator()(OpenedDocument* opened) const noexcept {
    delete opened;
}

std::optional<OpenedDocument> takeOpenedDocument(OpenedDocumentHandle opened,
                                                 const std::string& path) {
    if (!opened || opened->document.path != path || stampOf(path) != opened->document.stamp) {
        return std::nullopt;
    }
    return std::move(*opened);
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
