// Streaming parse: the parser pulls the file through a small buffer (our
// read callback) and its SAX events go straight into a schema validator
// (xmlSchemaSAXPlug), so no tree is built and memory does not grow with the
// document. The first error stops the parse: the read callback then ends the
// input. A document's DOCTYPE is refused as soon as the parser meets it,
// before any declaration in it is processed; the SAX handler has no entity
// or external-subset callbacks, so no entity is ever defined or read.
#include "platform/xmlstream.h"

#include "platform/fd.h"
#include "platform/xmltext.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlschemas.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvik::platform {

namespace {

using ValidatorHandle = Handle<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt>;
using PlugHandle = Handle<xmlSchemaSAXPlugStruct, xmlSchemaSAXUnplug>;
using ParserHandle = Handle<xmlParserCtxt, xmlFreeParserCtxt>;

constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// What the SAX callbacks share with the code that runs the parse.
struct StreamState {
    xmlParserCtxtPtr parser = nullptr;
    ErrorCollector* errors = nullptr;
    std::optional<RootProbe> root;
};

std::string lastSegment(const std::string& location) {
    const std::size_t slash = location.find_last_of("/\\");
    return slash == std::string::npos ? location : location.substr(slash + 1);
}

std::vector<std::string> words(const std::string& value) {
    std::vector<std::string> result;
    std::size_t pos = 0;
    while (true) {
        pos = value.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string::npos) {
            return result;
        }
        const std::size_t end = value.find_first_of(" \t\r\n", pos);
        result.push_back(value.substr(pos, end - pos));
        pos = end;
    }
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
            const std::string value(text(attribute[3]), text(attribute[4]));
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

// Where the parser reads from: the open file, until the first error is
// known. Ending the input there is how a parse stops at its first error;
// stopping the parser from inside an error report is not safe (the report
// can come from the middle of an encoding switch).
struct ReadSource {
    int fd = -1;
    std::string path;
    ErrorCollector* errors = nullptr;
};

int readFromSource(void* context, char* buffer, int length) noexcept {
    auto* source = static_cast<ReadSource*>(context);
    if (source->errors->hasError()) {
        return 0;
    }
    while (true) {
        const ssize_t got = ::read(source->fd, buffer, static_cast<std::size_t>(length));
        if (got >= 0) {
            return static_cast<int>(got);
        }
        if (errno != EINTR) {
            break;
        }
    }
    const int error = errno;
    try {
        source->errors->record(loadError(XmlLoadError::cannotRead,
                                         "The document '" + source->path +
                                             "' cannot be read: " + errnoText(error) + ".",
                                         source->errors->parserLine()));
    } catch (...) {
    }
    return -1;
}

// Parses the file behind fd from its start with the given SAX handler. The
// parser pulls the file through a small buffer as it goes, so memory does
// not grow with the document. Returns libxml2's result; every failure ends up
// as the collector's first error.
int parseFile(int fd, const std::string& path, xmlSAXHandlerPtr sax, void* userData,
              StreamState& state) {
    ErrorCollector& errors = *state.errors;
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        errors.record(
            loadError(XmlLoadError::cannotRead,
                      "The document '" + path + "' cannot be read: " + errnoText(errno) + "."));
        return -1;
    }
    ReadSource source{fd, path, &errors};
    ParserHandle parser(xmlCreateIOParserCtxt(sax, userData, readFromSource, nullptr, &source,
                                              XML_CHAR_ENCODING_NONE));
    if (!parser) {
        errors.record(loadError(XmlLoadError::parserFailure, "The XML parser cannot be created."));
        return -1;
    }
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET);
    // Names the document in libxml2's own messages.
    if (parser->input != nullptr && parser->input->filename == nullptr) {
        parser->input->filename = reinterpret_cast<const char*>(xmlStrdup(xml(path.c_str())));
    }
    state.parser = parser.get();
    errors.watch(parser.get());
    int rc = xmlParseDocument(parser.get());
    const std::int32_t lastLine = errors.parserLine();
    errors.watch(nullptr);
    state.parser = nullptr;
    if (state.root) {
        return 0; // stopped by us at the root: that is no error
    }
    if (rc == 0 && !parser->wellFormed) {
        rc = parser->errNo != 0 ? parser->errNo : static_cast<int>(XmlLoadError::parserFailure);
    }
    if (rc != 0 && !errors.hasError()) {
        // A failure that came without a structured error (an encoder error
        // sends only a generic message).
        std::string reason = oneLineUtf8(errors.genericText());
        if (reason.empty()) {
            reason = "The XML parser stopped with error " + std::to_string(rc) + ".";
        }
        ErrorInfo error;
        error.code = rc;
        error.line = lastLine;
        error.reason = std::move(reason);
        errors.record(std::move(error));
    }
    return rc;
}

// The root element of the open document, or the first error before it.
} // namespace

std::optional<RootProbe> probeRoot(int fd, const std::string& path, ErrorCollector& errors) {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.internalSubset = onInternalSubset;
    sax.startElementNs = onRootStart;
    StreamState state;
    state.errors = &errors;
    parseFile(fd, path, &sax, &state, state);
    // A root whose namespace cannot be known (an unbound prefix) is no root.
    if (state.root && !errors.hasError()) {
        return state.root;
    }
    if (!errors.hasError()) {
        errors.record(loadError(XmlLoadError::parserFailure, "The document has no root element."));
    }
    return std::nullopt;
}

// Streams the open document through a validator of schema. The first error,
// if any, ends up in errors.
void validateStream(int fd, const std::string& path, const CompiledSchema& schema,
                    ErrorCollector& errors) {
    ValidatorHandle validator(xmlSchemaNewValidCtxt(schema.get()));
    if (!validator) {
        errors.record(
            loadError(XmlLoadError::parserFailure, "The schema validator cannot be created."));
        return;
    }
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.internalSubset = onInternalSubset;
    StreamState state;
    state.errors = &errors;
    xmlSAXHandlerPtr saxInUse = &sax;
    void* userData = &state;
    PlugHandle plug(xmlSchemaSAXPlug(validator.get(), &saxInUse, &userData));
    if (!plug) {
        errors.record(loadError(XmlLoadError::parserFailure,
                                "The schema validator cannot be attached to the parser."));
        return;
    }
    const int rc = parseFile(fd, path, saxInUse, userData, state);
    if (rc == 0 && !errors.hasError() && xmlSchemaIsValid(validator.get()) != 1) {
        errors.record(loadError(XmlLoadError::parserFailure,
                                "The schema validator did not accept the document."));
    }
}

std::optional<XmlRootElement> readRootElement(const std::string& path) {
    ensureRuntime();
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);
    const Fd fd = openForReading(path);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::optional<RootProbe> probe = probeRoot(fd.get(), path, errors);
    if (!probe) {
        return std::nullopt;
    }
    return std::move(probe->element);
}

} // namespace morvik::platform
