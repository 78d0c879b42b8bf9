// The XML parser layer's public objects on libxml2: the
// document, the schema collection, the parse error and the factory. A load
// is three steps: open the file, choose the registered schema that declares
// the root element, and stream the document through that schema's validator.
#include "platform/xmlparser.h"

#include "platform/fd.h"
#include "platform/xmlruntime.h"
#include "platform/xmlschemacache.h"
#include "platform/xmlstream.h"
#include "platform/xmltext.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <sys/stat.h>
#include <variant>

namespace morvik::platform {

namespace {

struct LoadOutcome {
    std::int32_t errorCode = 0;
    std::int32_t line = 0;
    std::int32_t column = 0;
    std::string srcText;
    std::string reason;
};

struct RegisteredSchemas {
    std::vector<SchemaRef> schemas;
    std::vector<std::string> failures; // why earlier adds were refused
};

std::string quotedName(const std::string& namespaceUri, const std::string& localName) {
    return namespaceUri.empty() ? "'" + localName + "'"
                                : "'{" + namespaceUri + "}" + localName + "'";
}

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
        error.code != 0 ? error.code : static_cast<std::int32_t>(XmlLoadError::parserFailure);
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
    outcome.column = std::max<std::int32_t>(column, 0);
    outcome.srcText = sourceLineText(path, outcome.line, column);
    outcome.reason = oneLineUtf8(error.reason);
    return outcome;
}

// Step 1: the document's file, open for reading, or why it cannot be read.
std::variant<Fd, ErrorInfo> openDocument(const std::string& path) {
    Fd fd = openForReading(path);
    if (!fd) {
        return loadError(XmlLoadError::cannotRead,
                         "The document '" + path + "' cannot be opened: " + errnoText(errno) + ".");
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return loadError(XmlLoadError::cannotRead,
                         "The document '" + path + "' cannot be read: " + errnoText(errno) + ".");
    }
    if (S_ISDIR(info.st_mode)) {
        return loadError(XmlLoadError::notAFile, "'" + path + "' is a folder, not a document.");
    }
    if (!S_ISREG(info.st_mode)) {
        return loadError(XmlLoadError::notAFile, "'" + path + "' is not a regular file.");
    }
    return fd;
}

// Step 2: the first registered schema that declares the root element, or the
// error that says none does (and why earlier adds failed).
std::variant<const CompiledSchema*, ErrorInfo> chooseSchema(const RootProbe& root,
                                                            const RegisteredSchemas* registered) {
    const XmlRootElement& element = root.element;
    if (registered != nullptr) {
        for (const SchemaRef& schema : registered->schemas) {
            if (schema->declaresGlobalElement(element.namespaceUri, element.localName)) {
                return schema.get();
            }
        }
    }
    if (registered == nullptr || registered->schemas.empty()) {
        return loadError(XmlLoadError::noSchema,
                         "No schema is available to validate the document against." +
                             failuresText(registered),
                         element.line, root.column);
    }
    std::string namespaces;
    for (const SchemaRef& schema : registered->schemas) {
        namespaces += (namespaces.empty() ? "'" : ", '") + schema->targetNamespace() + "'";
    }
    return loadError(XmlLoadError::rootNotDeclared,
                     "Element " + quotedName(element.namespaceUri, element.localName) +
                         ": No matching global declaration available for the validation root"
                         " (the schema declares the target namespace " +
                         namespaces + ")." + failuresText(registered),
                     element.line, root.column);
}

// Step 3: the document through the chosen schema's validator; the first
// error, or nothing when the document is valid.
std::optional<ErrorInfo> validateDocument(int fd, const std::string& path,
                                          const CompiledSchema& schema, ErrorCollector& errors,
                                          const LoadScope& scope) {
    validateStream(fd, path, schema, errors);
    if (errors.hasError()) {
        return errors.first();
    }
    // The loader refuses silently as far as libxml2 is concerned; a document
    // that needed something from outside is not valid.
    if (!scope.refusal().empty()) {
        return loadError(XmlLoadError::parserFailure, "Refused: " + scope.refusal() + ".");
    }
    return std::nullopt;
}

LoadOutcome loadDocument(const std::string& path, const RegisteredSchemas* registered) {
    ensureRuntime();
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);

    std::variant<Fd, ErrorInfo> opened = openDocument(path);
    if (auto* error = std::get_if<ErrorInfo>(&opened)) {
        LoadOutcome outcome;
        outcome.errorCode = error->code;
        outcome.reason = oneLineUtf8(error->reason);
        return outcome;
    }
    const Fd& fd = std::get<Fd>(opened);

    const std::optional<RootProbe> root = probeRoot(fd.get(), path, errors);
    if (!root) {
        return outcomeOf(path, errors.first());
    }
    const std::variant<const CompiledSchema*, ErrorInfo> chosen = chooseSchema(*root, registered);
    if (auto* error = std::get_if<ErrorInfo>(&chosen)) {
        return outcomeOf(path, *error);
    }
    if (const std::optional<ErrorInfo> error = validateDocument(
            fd.get(), path, *std::get<const CompiledSchema*>(chosen), errors, scope)) {
        return outcomeOf(path, *error);
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
    std::optional<std::int32_t> column() override { return m_outcome.column; }

private:
    LoadOutcome m_outcome;
};

class LibxmlSchemaCollection : public XmlSchemaCollection {
public:
    bool add(const std::string& /*namespaceUri*/, const std::string& path) override {
        Result<SchemaRef> compiled = compiledSchema(path);
        if (!compiled) {
            m_registered.failures.push_back("The schema '" + path +
                                            "' could not be used: " + compiled.failure());
            return false;
        }
        for (SchemaRef& schema : m_registered.schemas) {
            if (schema->targetNamespace() == (*compiled)->targetNamespace()) {
                schema = std::move(*compiled);
                return true;
            }
        }
        m_registered.schemas.push_back(std::move(*compiled));
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
            m_outcome = failed(XmlLoadError::parserFailure, "Out of memory.");
        }
        return m_outcome.errorCode == 0;
    }

    std::unique_ptr<XmlParseError> parseError() override {
        return std::make_unique<LibxmlParseError>(m_outcome);
    }

private:
    static LoadOutcome failed(XmlLoadError code, std::string reason) {
        LoadOutcome outcome;
        outcome.errorCode = static_cast<std::int32_t>(code);
        outcome.reason = std::move(reason);
        return outcome;
    }

    LibxmlSchemaCollection* m_schemas = nullptr;
    LoadOutcome m_outcome = failed(XmlLoadError::notLoaded, "No document has been loaded.");
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

} // namespace morvik::platform
