// The XML parser layer on libxml2 (see xmlparser.h).
//
// How a document is checked: the parser pulls the file through a small
// buffer (our read callback) and its SAX events go straight into a schema
// validator (xmlSchemaSAXPlug), so no tree is built and memory does not grow
// with the document. A first, short pass reads only up to the root start tag,
// to pick the schema that declares the root. Errors are collected per call by
// a receiver installed for this thread only while the call runs; the first
// one is kept, and the read callback then ends the input, which stops the
// parse.
//
// What is never loaded: a document's DOCTYPE is refused as soon as the parser
// meets it, before any declaration in it is processed; the SAX handler has no
// entity or external-subset callbacks, so no entity is ever defined or read.
// The process-wide external entity loader serves a schema's own files while
// that schema compiles (local files without DOCTYPE only) and refuses
// everything else that our calls ask for.
//
// Compiled schemas are kept for reuse while none of the files they were
// compiled from has changed.
#include "platform/xmlparser.h"

#include "platform/xmltext.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/schemasInternals.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <list>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik::platform {

namespace {

// --- handles -----------------------------------------------------------------

template <auto Release> struct Releaser {
    template <class T> void operator()(T* handle) const noexcept { Release(handle); }
};
template <class T, auto Release> using Handle = std::unique_ptr<T, Releaser<Release>>;

using SchemaHandle = Handle<xmlSchema, xmlSchemaFree>;
using SchemaParserHandle = Handle<xmlSchemaParserCtxt, xmlSchemaFreeParserCtxt>;
using ValidatorHandle = Handle<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt>;
using PlugHandle = Handle<xmlSchemaSAXPlugStruct, xmlSchemaSAXUnplug>;
using ParserHandle = Handle<xmlParserCtxt, xmlFreeParserCtxt>;
using DocHandle = Handle<xmlDoc, xmlFreeDoc>;
using UriHandle = Handle<xmlURI, xmlFreeURI>;
using InputBufferHandle = Handle<xmlParserInputBuffer, xmlFreeParserInputBuffer>;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

const char* text(const xmlChar* value) {
    return reinterpret_cast<const char*>(value);
}
const xmlChar* xml(const char* value) {
    return reinterpret_cast<const xmlChar*>(value);
}

std::string errnoText(int error) {
    return std::strerror(error);
}

std::string quotedName(const std::string& namespaceUri, const std::string& localName) {
    return namespaceUri.empty() ? "'" + localName + "'"
                                : "'{" + namespaceUri + "}" + localName + "'";
}

// --- error collection ----------------------------------------------------------

struct ErrorInfo {
    std::int32_t code = 0;
    std::int32_t line = 0;
    std::int32_t column = 0;
    std::string file;
    std::string reason;
};

// Receives libxml2's errors on this thread while it lives and restores the
// receivers that were there before when it goes. Keeps the first error
// (warnings are no errors) and the text of generic messages, which some
// failures (an encoder error) send instead of a structured error.
class ErrorCollector {
public:
    ErrorCollector()
        : m_previousStructured(xmlStructuredError),
          m_previousStructuredContext(xmlStructuredErrorContext),
          m_previousGeneric(xmlGenericError), m_previousGenericContext(xmlGenericErrorContext) {
        xmlSetStructuredErrorFunc(this, &ErrorCollector::onStructured);
        xmlSetGenericErrorFunc(this, &ErrorCollector::onGeneric);
    }
    ~ErrorCollector() {
        xmlSetStructuredErrorFunc(m_previousStructuredContext, m_previousStructured);
        xmlSetGenericErrorFunc(m_previousGenericContext, m_previousGeneric);
    }
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    // Validator errors carry no position in streaming mode: they happen where
    // this parser stands.
    void watch(xmlParserCtxtPtr parser) { m_parser = parser; }

    bool hasError() const { return m_first.has_value(); }
    const ErrorInfo& first() const { return *m_first; }
    const std::string& genericText() const { return m_generic; }

    void record(ErrorInfo error) {
        if (!m_first) {
            m_first = std::move(error);
        }
    }

    std::int32_t parserLine() const {
        return m_parser != nullptr && m_parser->input != nullptr ? m_parser->input->line : 0;
    }
    std::int32_t parserColumn() const {
        return m_parser != nullptr && m_parser->input != nullptr ? m_parser->input->col : 0;
    }

private:
    static void onStructured(void* self, xmlErrorPtr error) noexcept {
        auto* collector = static_cast<ErrorCollector*>(self);
        if (error == nullptr || error->level < XML_ERR_ERROR || collector->m_first) {
            return;
        }
        try {
            ErrorInfo info;
            info.code =
                error->code != 0 ? error->code : static_cast<int>(XmlLoadError::parserFailure);
            if (error->line > 0) {
                info.line = error->line;
                info.column = error->domain == XML_FROM_PARSER ? error->int2 : 0;
            } else {
                info.line = collector->parserLine();
                info.column = collector->parserColumn();
            }
            if (error->file != nullptr) {
                info.file = error->file;
            }
            info.reason = error->message != nullptr ? error->message : "";
            collector->m_first = std::move(info);
        } catch (...) {
            // Out of memory while recording: the load still fails, without text.
        }
    }

    static void onGeneric(void* self, const char* format, ...) noexcept {
        auto* collector = static_cast<ErrorCollector*>(self);
        char buffer[512];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(buffer, sizeof buffer, format, arguments);
        va_end(arguments);
        try {
            if (collector->m_generic.size() < 1024) {
                collector->m_generic += buffer;
            }
        } catch (...) {
        }
    }

    xmlStructuredErrorFunc m_previousStructured;
    void* m_previousStructuredContext;
    xmlGenericErrorFunc m_previousGeneric;
    void* m_previousGenericContext;
    xmlParserCtxtPtr m_parser = nullptr;
    std::optional<ErrorInfo> m_first;
    std::string m_generic;
};

// --- files ---------------------------------------------------------------------

// What identifies the content of a file without reading it.
struct FileStamp {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp stampFrom(const std::string& path, const struct stat& info) {
    FileStamp stamp;
    stamp.path = path;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modifiedNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return stamp;
}

FileStamp stampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        FileStamp missing;
        missing.path = path;
        return missing;
    }
    return stampFrom(path, info);
}

// A whole file read at once, with the stamp of exactly what was read.
struct FileContent {
    FileStamp stamp;
    std::string bytes;
    std::string error; // empty when read
};

// Schema files are small; anything above this is no schema.
constexpr off_t kMaxSchemaFileSize = 64 * 1024 * 1024;

FileContent readWholeFile(const std::string& path) {
    FileContent content;
    content.stamp.path = path;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        content.error = "cannot open '" + path + "': " + errnoText(errno);
        return content;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        content.error = "cannot read '" + path + "': " + errnoText(errno);
        return content;
    }
    content.stamp = stampFrom(path, info);
    if (!S_ISREG(info.st_mode)) {
        content.error = "'" + path + "' is not a file";
        return content;
    }
    if (info.st_size > kMaxSchemaFileSize) {
        content.error = "'" + path + "' is too large for a schema file";
        return content;
    }
    content.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < content.bytes.size()) {
        const ssize_t got =
            ::read(fd.get(), content.bytes.data() + done, content.bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            content.error = "cannot read '" + path + "': " + errnoText(errno);
            return content;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    content.bytes.resize(done);
    return content;
}

// Whether the prologue of an XML file (before its first element) holds a
// document type declaration. UTF-16 files are looked at through their low
// bytes, which is enough for the ASCII markup of a prologue.
bool prologueHasDoctype(std::string_view bytes) {
    std::string narrow;
    const bool littleEndian =
        bytes.starts_with("\xFF\xFE") || (bytes.size() >= 2 && bytes[0] == '<' && bytes[1] == '\0');
    const bool bigEndian =
        bytes.starts_with("\xFE\xFF") || (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] == '<');
    if (littleEndian || bigEndian) {
        for (std::size_t i = littleEndian ? 0 : 1; i < bytes.size(); i += 2) {
            narrow += bytes[i];
        }
        bytes = narrow;
    }
    std::size_t pos = 0;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        pos = 3;
    }
    while (pos < bytes.size()) {
        const std::string_view rest = bytes.substr(pos);
        const unsigned char c = static_cast<unsigned char>(rest[0]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xFF || c == 0xFE) {
            ++pos;
        } else if (rest.starts_with("<?")) {
            const std::size_t end = rest.find("?>");
            if (end == std::string_view::npos) {
                return false;
            }
            pos += end + 2;
        } else if (rest.starts_with("<!--")) {
            const std::size_t end = rest.find("-->");
            if (end == std::string_view::npos) {
                return false;
            }
            pos += end + 3;
        } else {
            return rest.starts_with("<!DOCTYPE");
        }
    }
    return false;
}

// --- the external entity loader ---------------------------------------------------

enum class LoadPolicy { schemaFiles, nothing };

// What our external entity loader may do for the calls of this thread, and
// what it did: the files it read (or looked for in vain) and the first thing
// it refused.
class LoadScope {
public:
    explicit LoadScope(LoadPolicy policy) : m_policy(policy), m_previous(s_current) {
        s_current = this;
    }
    ~LoadScope() { s_current = m_previous; }
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

    static LoadScope* current() { return s_current; }

    LoadPolicy policy() const { return m_policy; }
    const std::vector<FileStamp>& files() const { return m_files; }
    const std::string& refusal() const { return m_refusal; }

    void noteFile(FileStamp stamp) { m_files.push_back(std::move(stamp)); }
    void refuse(std::string why) {
        if (m_refusal.empty()) {
            m_refusal = std::move(why);
        }
    }

private:
    LoadPolicy m_policy;
    LoadScope* m_previous;
    std::vector<FileStamp> m_files;
    std::string m_refusal;
    static thread_local LoadScope* s_current;
};

thread_local LoadScope* LoadScope::s_current = nullptr;

xmlExternalEntityLoader g_previousLoader = nullptr;

// The file a resource address names, when it names a local file: a plain
// path, or a file: URI (schema includes arrive %-escaped, relative to the
// including file's URI). nullopt for any other scheme.
std::optional<std::string> localPathOf(const char* address) {
    struct stat info {};
    if (::stat(address, &info) == 0) {
        return std::string(address);
    }
    UriHandle uri(xmlParseURI(address));
    if (!uri) {
        return std::string(address);
    }
    if (uri->scheme != nullptr && std::strcmp(uri->scheme, "file") != 0) {
        return std::nullopt;
    }
    if (uri->server != nullptr && uri->server[0] != '\0' &&
        std::strcmp(uri->server, "localhost") != 0) {
        return std::nullopt;
    }
    return uri->path != nullptr ? std::string(uri->path) : std::string(address);
}

xmlParserInputPtr policyLoader(const char* address, const char* id,
                               xmlParserCtxtPtr context) noexcept {
    LoadScope* scope = LoadScope::current();
    if (scope == nullptr) {
        // Not one of our calls: libxml2's own behaviour.
        return g_previousLoader != nullptr ? g_previousLoader(address, id, context) : nullptr;
    }
    try {
        const std::string name = address != nullptr ? address : "";
        if (scope->policy() == LoadPolicy::nothing) {
            scope->refuse("the external resource '" + name + "' is not loaded");
            return nullptr;
        }
        const std::optional<std::string> path = localPathOf(name.c_str());
        if (!path) {
            scope->refuse("'" + name + "' is not a local file; nothing is fetched from a network");
            return nullptr;
        }
        FileContent content = readWholeFile(*path);
        scope->noteFile(content.stamp);
        if (!content.error.empty()) {
            scope->refuse(content.error);
            return nullptr;
        }
        if (prologueHasDoctype(content.bytes)) {
            scope->refuse("DTD is prohibited in the schema file '" + *path + "'");
            return nullptr;
        }
        if (content.bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
            return nullptr;
        }
        InputBufferHandle buffer(xmlParserInputBufferCreateMem(
            content.bytes.data(), static_cast<int>(content.bytes.size()), XML_CHAR_ENCODING_NONE));
        if (!buffer) {
            return nullptr;
        }
        xmlParserInputPtr input =
            xmlNewIOInputStream(context, buffer.get(), XML_CHAR_ENCODING_NONE);
        if (input == nullptr) {
            return nullptr;
        }
        buffer.release(); // now owned by the input
        // The file name makes the base against which includes are resolved.
        input->filename = reinterpret_cast<const char*>(xmlStrdup(xml(path->c_str())));
        return input;
    } catch (...) {
        return nullptr;
    }
}

// libxml2's process-wide settings, made once: Shift_JIS read as CP932, and
// our external entity loader.
void ensureRuntime() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        for (const char* label : kShiftJisLabels) {
            xmlAddEncodingAlias(kShiftJisConverter, label);
        }
        g_previousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(policyLoader);
    });
}

// --- compiled schemas ------------------------------------------------------------

std::atomic<std::uint64_t> g_compilations{0};

class CompiledSchema {
public:
    CompiledSchema(SchemaHandle schema, std::string key, std::vector<FileStamp> files)
        : m_schema(std::move(schema)), m_key(std::move(key)), m_files(std::move(files)) {
        if (m_schema->targetNamespace != nullptr) {
            m_targetNamespace = text(m_schema->targetNamespace);
        }
    }

    xmlSchemaPtr get() const { return m_schema.get(); }
    const std::string& key() const { return m_key; }
    const std::string& targetNamespace() const { return m_targetNamespace; }

    bool unchanged() const {
        for (const FileStamp& file : m_files) {
            if (stampOf(file.path) != file) {
                return false;
            }
        }
        return true;
    }

    // Whether the schema has a global declaration for the element: a
    // document made of that element alone is validated, and the only error
    // that says "not declared" is the one about the validation root.
    bool declaresGlobalElement(const std::string& namespaceUri,
                               const std::string& localName) const {
        const auto name = std::make_pair(namespaceUri, localName);
        {
            std::lock_guard lock(m_mutex);
            if (auto it = m_declared.find(name); it != m_declared.end()) {
                return it->second;
            }
        }
        const bool declared = probeDeclaration(namespaceUri, localName);
        std::lock_guard lock(m_mutex);
        m_declared.emplace(name, declared);
        return declared;
    }

private:
    bool probeDeclaration(const std::string& namespaceUri, const std::string& localName) const {
        DocHandle doc(xmlNewDoc(xml("1.0")));
        if (!doc) {
            return false;
        }
        xmlNodePtr root = xmlNewDocNode(doc.get(), nullptr, xml(localName.c_str()), nullptr);
        if (root == nullptr) {
            return false;
        }
        xmlDocSetRootElement(doc.get(), root);
        if (!namespaceUri.empty()) {
            xmlSetNs(root, xmlNewNs(root, xml(namespaceUri.c_str()), nullptr));
        }
        ValidatorHandle validator(xmlSchemaNewValidCtxt(m_schema.get()));
        if (!validator) {
            return false;
        }
        ErrorCollector errors;
        LoadScope scope(LoadPolicy::nothing);
        const int rc = xmlSchemaValidateDoc(validator.get(), doc.get());
        const bool undeclared = rc == XML_SCHEMAV_CVC_ELT_1 ||
                                (errors.hasError() && errors.first().code == XML_SCHEMAV_CVC_ELT_1);
        return rc >= 0 && !undeclared;
    }

    SchemaHandle m_schema;
    std::string m_key;
    std::vector<FileStamp> m_files;
    std::string m_targetNamespace;
    mutable std::mutex m_mutex;
    mutable std::map<std::pair<std::string, std::string>, bool> m_declared;
};

using SchemaRef = std::shared_ptr<const CompiledSchema>;

struct CompileResult {
    SchemaRef schema;
    std::string failure; // why there is no schema
};

std::string describe(const ErrorInfo& error) {
    std::string where;
    if (!error.file.empty()) {
        where = error.file + (error.line > 0 ? ":" + std::to_string(error.line) : "") + ": ";
    }
    return where + oneLineUtf8(error.reason);
}

CompileResult compileFresh(const std::string& path) {
    ensureRuntime();
    ++g_compilations;
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::schemaFiles);
    SchemaHandle schema;
    {
        SchemaParserHandle parser(xmlSchemaNewParserCtxt(path.c_str()));
        if (!parser) {
            return {nullptr, "the schema parser cannot be created"};
        }
        schema.reset(xmlSchemaParse(parser.get()));
    }
    if (!schema) {
        std::string failure;
        // What our loader refused says most; libxml2's report follows.
        failure = scope.refusal();
        if (errors.hasError()) {
            const std::string report = describe(errors.first());
            failure += failure.empty() ? report : " (" + report + ")";
        }
        if (failure.empty()) {
            failure = "it is not a valid schema";
        }
        return {nullptr, failure};
    }
    return {std::make_shared<const CompiledSchema>(std::move(schema), path, scope.files()),
            std::string()};
}

bool schemaReuseSwitchedOff() {
    const char* value = std::getenv(kNoSchemaCacheVariable);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// The compiled schemas kept for reuse, most recently used first.
class SchemaCache {
public:
    CompileResult get(const std::string& path) {
        std::error_code ignored;
        std::string key = std::filesystem::absolute(path, ignored).string();
        if (key.empty()) {
            key = path;
        }
        if (schemaReuseSwitchedOff()) {
            return compileFresh(key);
        }
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if ((*it)->key() != key) {
                continue;
            }
            if ((*it)->unchanged()) {
                m_entries.splice(m_entries.begin(), m_entries, it);
                return {m_entries.front(), std::string()};
            }
            m_entries.erase(it);
            break;
        }
        CompileResult result = compileFresh(key);
        if (result.schema) {
            m_entries.push_front(result.schema);
            if (m_entries.size() > kSchemaCacheCapacity) {
                m_entries.pop_back();
            }
        }
        return result;
    }

private:
    std::mutex m_mutex;
    std::list<SchemaRef> m_entries;
};

SchemaCache& schemaCache() {
    static SchemaCache cache;
    return cache;
}

// --- streaming parse -------------------------------------------------------------

constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";

struct RootProbe {
    XmlRootElement element;
    std::int32_t column = 0;
};

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
        ErrorInfo error;
        error.code = static_cast<std::int32_t>(XmlLoadError::dtdProhibited);
        error.line = state->errors->parserLine();
        error.column = state->errors->parserColumn();
        error.reason = "DTD is prohibited: the document type declaration (<!DOCTYPE " +
                       std::string(name != nullptr ? text(name) : "") +
                       ") is refused, and nothing it declares or names is read.";
        state->errors->record(std::move(error));
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
        source->errors->record(
            {static_cast<std::int32_t>(XmlLoadError::cannotRead), source->errors->parserLine(), 0,
             std::string(),
             "The document '" + source->path + "' cannot be read: " + errnoText(error) + "."});
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
        errors.record({static_cast<std::int32_t>(XmlLoadError::cannotRead), 0, 0, std::string(),
                       "The document '" + path + "' cannot be read: " + errnoText(errno) + "."});
        return -1;
    }
    ReadSource source{fd, path, &errors};
    ParserHandle parser(xmlCreateIOParserCtxt(sax, userData, readFromSource, nullptr, &source,
                                              XML_CHAR_ENCODING_NONE));
    if (!parser) {
        errors.record({static_cast<std::int32_t>(XmlLoadError::parserFailure), 0, 0, std::string(),
                       "The XML parser cannot be created."});
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
        errors.record({rc, lastLine, 0, std::string(), reason});
    }
    return rc;
}

// The root element of the open document, or the first error before it.
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
        errors.record({static_cast<std::int32_t>(XmlLoadError::parserFailure), 0, 0, std::string(),
                       "The document has no root element."});
    }
    return std::nullopt;
}

// Streams the open document through a validator of schema. The first error,
// if any, ends up in errors.
void validateStream(int fd, const std::string& path, const CompiledSchema& schema,
                    ErrorCollector& errors) {
    ValidatorHandle validator(xmlSchemaNewValidCtxt(schema.get()));
    if (!validator) {
        errors.record({static_cast<std::int32_t>(XmlLoadError::parserFailure), 0, 0, std::string(),
                       "The schema validator cannot be created."});
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
        errors.record({static_cast<std::int32_t>(XmlLoadError::parserFailure), 0, 0, std::string(),
                       "The schema validator cannot be attached to the parser."});
        return;
    }
    const int rc = parseFile(fd, path, saxInUse, userData, state);
    if (rc == 0 && !errors.hasError() && xmlSchemaIsValid(validator.get()) != 1) {
        errors.record({static_cast<std::int32_t>(XmlLoadError::parserFailure), 0, 0, std::string(),
                       "The schema validator did not accept the document."});
    }
}

// --- documents ---------------------------------------------------------------------

struct LoadOutcome {
    std::int32_t errorCode = 0;
    std::int32_t line = 0;
    std::string srcText;
    std::string reason;
};

struct RegisteredSchemas {
    std::vector<SchemaRef> schemas;
    std::vector<std::string> failures; // why earlier adds were refused
};

std::string failuresText(const RegisteredSchemas* registered) {
    std::string result;
    if (registered == nullptr) {
        return result;
    }
    for (const std::string& failure : registered->failures) {
        result += " " + failure;
    }
    return result;
}

LoadOutcome outcomeOf(const std::string& path, const ErrorInfo& error) {
    LoadOutcome outcome;
    outcome.errorCode =
        error.code != 0 ? error.code : static_cast<int>(XmlLoadError::parserFailure);
    outcome.line = std::max<std::int32_t>(error.line, 0);
    std::int32_t column = error.column;
    // The parser converts the input ahead of where it parses: a conversion
    // failure is reported where the parser stands, not where the bytes are.
    if (error.code == XML_I18N_CONV_FAILED || error.code == XML_IO_ENCODER) {
        if (const std::optional<TextPosition> position = firstUndecodablePosition(path)) {
            outcome.line = position->line;
            column = position->column;
        }
    }
    outcome.srcText = sourceLineText(path, outcome.line, column);
    outcome.reason = oneLineUtf8(error.reason);
    return outcome;
}

LoadOutcome loadDocument(const std::string& path, const RegisteredSchemas* registered) {
    ensureRuntime();
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);
    const auto failure = [&](XmlLoadError code, std::string reason) {
        LoadOutcome outcome;
        outcome.errorCode = static_cast<std::int32_t>(code);
        outcome.reason = oneLineUtf8(reason);
        return outcome;
    };
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        return failure(XmlLoadError::cannotRead,
                       "The document '" + path + "' cannot be opened: " + errnoText(errno) + ".");
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return failure(XmlLoadError::cannotRead,
                       "The document '" + path + "' cannot be read: " + errnoText(errno) + ".");
    }
    if (S_ISDIR(info.st_mode)) {
        return failure(XmlLoadError::notAFile, "'" + path + "' is a folder, not a document.");
    }
    if (!S_ISREG(info.st_mode)) {
        return failure(XmlLoadError::notAFile, "'" + path + "' is not a regular file.");
    }

    const std::optional<RootProbe> root = probeRoot(fd.get(), path, errors);
    if (!root) {
        return outcomeOf(path, errors.first());
    }
    const XmlRootElement& element = root->element;

    const CompiledSchema* chosen = nullptr;
    if (registered != nullptr) {
        for (const SchemaRef& schema : registered->schemas) {
            if (schema->declaresGlobalElement(element.namespaceUri, element.localName)) {
                chosen = schema.get();
                break;
            }
        }
    }
    if (chosen == nullptr) {
        ErrorInfo error;
        error.line = element.line;
        error.column = root->column;
        if (registered == nullptr || registered->schemas.empty()) {
            error.code = static_cast<std::int32_t>(XmlLoadError::noSchema);
            error.reason = "No schema is available to validate the document against." +
                           failuresText(registered);
        } else {
            error.code = static_cast<std::int32_t>(XmlLoadError::rootNotDeclared);
            std::string namespaces;
            for (const SchemaRef& schema : registered->schemas) {
                namespaces += (namespaces.empty() ? "'" : ", '") + schema->targetNamespace() + "'";
            }
            error.reason = "Element " + quotedName(element.namespaceUri, element.localName) +
                           ": No matching global declaration available for the validation root"
                           " (the schema declares the target namespace " +
                           namespaces + ")." + failuresText(registered);
        }
        return outcomeOf(path, error);
    }

    validateStream(fd.get(), path, *chosen, errors);
    if (errors.hasError()) {
        return outcomeOf(path, errors.first());
    }
    // The loader refuses silently as far as libxml2 is concerned; a document
    // that needed something from outside is not valid.
    if (!scope.refusal().empty()) {
        ErrorInfo error;
        error.code = static_cast<std::int32_t>(XmlLoadError::parserFailure);
        error.reason = "Refused: " + scope.refusal() + ".";
        return outcomeOf(path, error);
    }
    return LoadOutcome();
}

class LibxmlParseError : public XmlParseError {
public:
    explicit LibxmlParseError(LoadOutcome outcome) : m_outcome(std::move(outcome)) {}
    std::optional<std::int32_t> errorCode() override { return m_outcome.errorCode; }
    std::optional<std::int32_t> line() override { return m_outcome.line; }
    std::optional<std::string> srcText() override { return m_outcome.srcText; }
    std::optional<std::string> reason() override { return m_outcome.reason; }

private:
    LoadOutcome m_outcome;
};

class LibxmlSchemaCollection : public XmlSchemaCollection {
public:
    bool add(const std::string& /*namespaceUri*/, const std::string& path) override {
        CompileResult result = schemaCache().get(path);
        if (!result.schema) {
            m_registered.failures.push_back("The schema '" + path +
                                            "' could not be used: " + result.failure);
            return false;
        }
        for (SchemaRef& schema : m_registered.schemas) {
            if (schema->targetNamespace() == result.schema->targetNamespace()) {
                schema = std::move(result.schema);
                return true;
            }
        }
        m_registered.schemas.push_back(std::move(result.schema));
        return true;
    }

    const RegisteredSchemas& registered() const { return m_registered; }

private:
    RegisteredSchemas m_registered;
};

class LibxmlDocument : public XmlDocument {
public:
    bool setAsync(bool async) override { return !async; }

    bool setSchemas(XmlSchemaCollection& schemas) override {
        auto* ours = dynamic_cast<LibxmlSchemaCollection*>(&schemas);
        if (ours == nullptr) {
            return false;
        }
        m_schemas = ours;
        return true;
    }

    bool load(const std::string& path) override {
        try {
            m_outcome =
                loadDocument(path, m_schemas != nullptr ? &m_schemas->registered() : nullptr);
        } catch (const std::bad_alloc&) {
            m_outcome = LoadOutcome();
            m_outcome.errorCode = static_cast<std::int32_t>(XmlLoadError::parserFailure);
            m_outcome.reason = "Out of memory.";
        }
        return m_outcome.errorCode == 0;
    }

    std::unique_ptr<XmlParseError> parseError() override {
        return std::make_unique<LibxmlParseError>(m_outcome);
    }

private:
    static LoadOutcome notLoaded() {
        LoadOutcome outcome;
        outcome.errorCode = static_cast<std::int32_t>(XmlLoadError::notLoaded);
        outcome.reason = "No document has been loaded.";
        return outcome;
    }

    LibxmlSchemaCollection* m_schemas = nullptr;
    LoadOutcome m_outcome = notLoaded();
};

class LibxmlParserFactory : public XmlParserFactory {
public:
    std::unique_ptr<XmlDocument> createDocument() override {
        ensureRuntime();
        return std::make_unique<LibxmlDocument>();
    }
    std::unique_ptr<XmlSchemaCollection> createSchemaCollection() override {
        ensureRuntime();
        return std::make_unique<LibxmlSchemaCollection>();
    }
};

} // namespace

XmlParserFactory& defaultXmlParserFactory() {
    static LibxmlParserFactory factory;
    return factory;
}

std::optional<XmlRootElement> readRootElement(const std::string& path) {
    ensureRuntime();
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::optional<RootProbe> probe = probeRoot(fd.get(), path, errors);
    if (!probe) {
        return std::nullopt;
    }
    return std::move(probe->element);
}

bool schemaDeclaresGlobalElement(const std::string& schemaPath, const std::string& namespaceUri,
                                 const std::string& localName) {
    const CompileResult result = schemaCache().get(schemaPath);
    return result.schema && result.schema->declaresGlobalElement(namespaceUri, localName);
}

std::uint64_t schemaCompilations() {
    return g_compilations.load();
}

} // namespace morvik::platform
