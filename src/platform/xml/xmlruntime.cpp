// libxml2's process-wide set-up, the external entity loader with its policy,
// and the per-call error collector.
//
// What is never loaded: the loader serves a schema's own files while that
// schema compiles (local files without DOCTYPE only) and refuses everything
// else that our calls ask for; calls that are not ours keep libxml2's own
// loader.
#include "platform/xml/xmlruntime.h"

#include "platform/fs/fd.h"
#include "platform/xml/xmltext.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemastypes.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik::platform {

namespace {

using UriHandle = Handle<xmlURI, xmlFreeURI>;
using InputBufferHandle = Handle<xmlParserInputBuffer, xmlFreeParserInputBuffer>;

thread_local LoadScope* t_currentScope = nullptr;

xmlExternalEntityLoader g_previousLoader = nullptr;

// Schema files are small; anything above this is no schema.
constexpr off_t kMaxSchemaFileSize = 64 * 1024 * 1024;

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

// A parser input reading from bytes; the input keeps its own copy.
xmlParserInputPtr inputFromBytes(xmlParserCtxtPtr context, const std::string& bytes,
                                 const std::string& fileName) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    InputBufferHandle buffer(xmlParserInputBufferCreateMem(
        bytes.data(), static_cast<int>(bytes.size()), XML_CHAR_ENCODING_NONE));
    if (!buffer) {
        return nullptr;
    }
    xmlParserInputPtr input = xmlNewIOInputStream(context, buffer.get(), XML_CHAR_ENCODING_NONE);
    if (input == nullptr) {
        return nullptr;
    }
    (void)buffer.release(); // now owned by the input
    // The file name makes the base against which includes are resolved.
    input->filename = text(xmlStrdup(xml(fileName.c_str())));
    return input;
}

// A schema file's document type declaration stops its parse before anything
// it declares or names is read, whatever encoding the file is written in.
void refuseSchemaDoctype(void* context, const xmlChar* name, const xmlChar* /*publicId*/,
                         const xmlChar* /*systemId*/) noexcept {
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    try {
        if (LoadScope* scope = LoadScope::current()) {
            const char* file = parser->input != nullptr && parser->input->filename != nullptr
                                   ? parser->input->filename
                                   : "";
            scope->refuse(refusal(OwnFacts::doctypeInSchema, file,
                                  "<!DOCTYPE " + (name != nullptr ? text(name) : std::string())));
        }
    } catch (...) {
    }
    xmlStopParser(parser);
}

// Whether the canonical form of path lies inside folder (canonical, without
// a closing separator).
bool insideFolder(const std::string& path, const std::string& folder) {
    std::error_code error;
    const std::string canonical = std::filesystem::weakly_canonical(path, error).string();
    return !error && canonical.size() > folder.size() &&
           canonical.compare(0, folder.size(), folder) == 0 && canonical[folder.size()] == '/';
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
            scope->refuse(refusal(OwnFacts::externalNotLoaded, name));
            return nullptr;
        }
        const std::optional<std::string> path = localPathOf(name.c_str());
        if (!path) {
            scope->refuse(refusal(OwnFacts::notLocal, name));
            return nullptr;
        }
        // A schema may use the files of its own folder and its subfolders,
        // nothing else on this disk.
        if (!scope->schemaFolder().empty() && !insideFolder(*path, scope->schemaFolder())) {
            scope->refuse(refusal(OwnFacts::outsideSchemaFolder, *path, scope->schemaFolder()));
            return nullptr;
        }
        FileStamp stamp;
        const Result<FileContent, XmlErrorFacts> content = readWholeFile(*path, stamp);
        scope->noteFile(stamp);
        if (!content) {
            scope->refuse(content.error());
            return nullptr;
        }
        if (prologueHasDoctype(content->bytes)) {
            scope->refuse(refusal(OwnFacts::doctypeInSchema, *path));
            return nullptr;
        }
        xmlParserInputPtr input = inputFromBytes(context, content->bytes, name);
        // The schema parser's own parser context reads this file: its
        // DOCTYPE is refused where the parser meets it.
        if (input != nullptr && context != nullptr && context->sax != nullptr) {
            context->sax->internalSubset = refuseSchemaDoctype;
            context->sax->externalSubset = refuseSchemaDoctype;
        }
        return input;
    } catch (...) {
        return nullptr;
    }
}

} // namespace

void ensureRuntime() {
    static std::once_flag once;
    std::call_once(once, [] {
        installBudgetHooks();
        xmlInitParser();
        // The built-in types live as long as the process: made here, outside
        // any compilation's budget (which frees what a compilation lost).
        xmlSchemaInitTypes();
        for (const char* label : kShiftJisLabels) {
            xmlAddEncodingAlias(kShiftJisConverter, label);
        }
        g_previousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(policyLoader);
    });
}

std::string errnoText(int error) {
    return std::strerror(error);
}

ErrorInfo loadError(XmlLoadError code, OwnFacts own, std::string str1, std::string str2,
                    std::int32_t line, std::int32_t column) {
    ErrorInfo error;
    error.facts.code = static_cast<int>(code);
    error.facts.own = own;
    error.facts.str1 = std::move(str1);
    error.facts.str2 = std::move(str2);
    error.line = line;
    error.column = column;
    return error;
}

XmlErrorFacts refusal(OwnFacts own, std::string str1, std::string str2) {
    XmlErrorFacts facts;
    facts.own = own;
    facts.str1 = std::move(str1);
    facts.str2 = std::move(str2);
    return facts;
}

void pathsForUris(XmlErrorFacts& facts) {
    facts.str1 = pathsForUris(std::move(facts.str1));
    facts.str2 = pathsForUris(std::move(facts.str2));
    facts.str3 = pathsForUris(std::move(facts.str3));
    for (XmlErrorFacts& cause : facts.causes) {
        pathsForUris(cause);
    }
}

// --- ErrorCollector

ErrorCollector::ErrorCollector()
    : m_previousStructured(xmlStructuredError),
      m_previousStructuredContext(xmlStructuredErrorContext), m_previousGeneric(xmlGenericError),
      m_previousGenericContext(xmlGenericErrorContext) {
    xmlSetStructuredErrorFunc(this, &ErrorCollector::onStructured);
    xmlSetGenericErrorFunc(this, &ErrorCollector::onGeneric);
}

ErrorCollector::~ErrorCollector() {
    xmlSetStructuredErrorFunc(m_previousStructuredContext, m_previousStructured);
    xmlSetGenericErrorFunc(m_previousGenericContext, m_previousGeneric);
}

void ErrorCollector::record(ErrorInfo error, ErrorWeight weight) {
    if (m_fatal) {
        return;
    }
    if (weight == ErrorWeight::fatal) {
        // A document that is not well-formed reports that, not a schema
        // complaint about what was read before.
        m_errors.clear();
        m_errors.push_back(std::move(error));
        m_fatal = true;
        m_capped = false;
        return;
    }
    if (m_errors.size() < m_limit) {
        m_errors.push_back(std::move(error));
    } else {
        m_capped = true;
    }
}

void ErrorCollector::overrule(ErrorInfo error) {
    m_errors.clear();
    m_errors.push_back(std::move(error));
    m_fatal = true;
    m_capped = false;
}

std::int32_t ErrorCollector::parserLine() const {
    return m_parser != nullptr && m_parser->input != nullptr ? m_parser->input->line : 0;
}

std::int32_t ErrorCollector::parserColumn() const {
    return m_parser != nullptr && m_parser->input != nullptr ? m_parser->input->col : 0;
}

void ErrorCollector::onStructured(void* self, xmlErrorPtr error) noexcept {
    auto* collector = static_cast<ErrorCollector*>(self);
    if (error == nullptr || error->level < XML_ERR_ERROR || collector->m_fatal) {
        return;
    }
    const ErrorWeight weight =
        error->domain == XML_FROM_SCHEMASV ? ErrorWeight::invalid : ErrorWeight::fatal;
    if (weight == ErrorWeight::invalid && collector->full()) {
        collector->m_capped = true;
        return;
    }
    try {
        ErrorInfo info;
        XmlErrorFacts& facts = info.facts;
        facts.domain = error->domain;
        facts.code = error->code != 0 ? error->code : static_cast<int>(XmlLoadError::parserFailure);
        const auto copy = [](const char* from) { return std::string(from != nullptr ? from : ""); };
        facts.str1 = copy(error->str1);
        facts.str2 = copy(error->str2);
        facts.str3 = copy(error->str3);
        facts.int1 = error->int1;
        // On one line, without libxml2's closing line break: the form the
        // reasons are worded from.
        facts.message = oneLineUtf8(copy(error->message));
        if (error->line > 0) {
            info.line = error->line;
            // The parser fills int2 with the column for its namespace errors too;
            // without it a line of a CR-only file cannot be told (the parser
            // counts only LF).
            info.column = error->domain == XML_FROM_PARSER || error->domain == XML_FROM_NAMESPACE
                              ? error->int2
                              : 0;
        } else {
            info.line = collector->parserLine();
            info.column = collector->parserColumn();
        }
        if (error->file != nullptr) {
            info.file = error->file;
        }
        collector->record(std::move(info), weight);
    } catch (...) {
        // Out of memory while recording: the load still fails, without text.
        collector->m_fatal = true;
    }
}

void ErrorCollector::onGeneric(void* self, const char* format, ...) noexcept {
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

// --- LoadScope

LoadScope::LoadScope(LoadPolicy policy) : m_policy(policy), m_previous(t_currentScope) {
    t_currentScope = this;
}

LoadScope::LoadScope(LoadPolicy policy, std::string schemaFolder)
    : m_policy(policy), m_schemaFolder(std::move(schemaFolder)), m_previous(t_currentScope) {
    t_currentScope = this;
}

LoadScope::~LoadScope() {
    t_currentScope = m_previous;
}

LoadScope* LoadScope::current() {
    return t_currentScope;
}

void LoadScope::refuse(XmlErrorFacts why) {
    if (!refusedAny()) {
        m_refusal = std::move(why);
    }
}

// --- schema files

Result<FileContent, XmlErrorFacts> readWholeFile(const std::string& path, FileStamp& stamp) {
    stamp = FileStamp();
    stamp.path = path;
    const Fd fd = openForReading(path);
    if (!fd) {
        return refusal(OwnFacts::fileCannotOpen, path, errnoText(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return refusal(OwnFacts::fileCannotRead, path, errnoText(errno));
    }
    stamp = stampFrom(path, info);
    if (!S_ISREG(info.st_mode)) {
        return refusal(OwnFacts::fileNotAFile, path);
    }
    if (info.st_size > kMaxSchemaFileSize) {
        return refusal(OwnFacts::schemaTooLarge, path);
    }
    FileContent content;
    content.stamp = stamp;
    content.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < content.bytes.size()) {
        const ssize_t got =
            ::read(fd.get(), content.bytes.data() + done, content.bytes.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return refusal(OwnFacts::fileCannotRead, path, errnoText(errno));
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    content.bytes.resize(done);
    return content;
}

std::string fileUri(const std::string& absolutePath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : absolutePath) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~' || byte == '/';
        if (unreserved) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0x0F];
        }
    }
    return uri;
}

std::string pathsForUris(std::string text) {
    static constexpr std::string_view kScheme = "file://";
    std::size_t at = 0;
    while ((at = text.find(kScheme, at)) != std::string::npos) {
        std::size_t end = text.find_first_of("' \"", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string escaped = text.substr(at + kScheme.size(), end - at - kScheme.size());
        char* unescaped = xmlURIUnescapeString(escaped.c_str(), 0, nullptr);
        if (unescaped == nullptr) {
            at = end;
            continue;
        }
        const std::string path = unescaped;
        xmlFree(unescaped);
        text.replace(at, end - at, path);
        at += path.size();
    }
    return text;
}

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

} // namespace morvik::platform
