// The XML parser layer's public objects on libxml2: the
// document, the schema collection, the parse error and the factory. A load
// is three steps: open the file, choose the registered schema that declares
// the root element, and stream the document through that schema's validator.
#include "platform/xml/xmlparser.h"

#include "platform/fs/fd.h"
#include "platform/xml/xmlruntime.h"
#include "platform/xml/xmlschemacache.h"
#include "platform/xml/xmlstream.h"
#include "platform/xml/xmltext.h"

#include <libxml/xmlerror.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <variant>

namespace morvik::platform {

namespace {

struct LoadOutcome {
    std::int32_t errorCode = 0;
    std::vector<XmlErrorRecord> errors; // the first error first; empty when valid
    bool capped = false;
};

struct RegisteredSchemas {
    std::vector<SchemaRef> schemas;
    std::vector<XmlErrorFacts> failures; // why earlier adds were refused
};

std::vector<XmlErrorFacts> failuresOf(const RegisteredSchemas* registered) {
    return registered != nullptr ? registered->failures : std::vector<XmlErrorFacts>();
}

// The errors as a person reads them: lines as XML counts them, the text of
// each error's line, the facts of each error with libxml2's English message.
// The hook a test sets to change a document after it was read.
std::atomic<DocumentReadHook> g_documentRead{nullptr};

// The document as it was read: its errors' lines come from the same open
// file, never from whatever its name leads to now.
DocumentText textOf(const StreamedDocument& document) {
    const DocumentReadHook hook = g_documentRead.load();
    if (hook != nullptr) {
        hook(document.path);
    }
    if (document.inMemory) {
        return DocumentText{-1, document.bytes};
    }
    return DocumentText{document.fd.get(), {}};
}

LoadOutcome outcomeOf(DocumentText document, const std::vector<ErrorInfo>& errors, bool capped) {
    LoadOutcome outcome;
    outcome.capped = capped;
    std::vector<TextPosition> positions;
    for (const ErrorInfo& error : errors) {
        TextPosition position{std::max<std::int32_t>(error.line, 0), error.column};
        // The parser converts the input ahead of where it parses: a
        // conversion failure is reported where the parser stands, not where
        // the bytes are.
        if (error.code() == XML_I18N_CONV_FAILED || error.code() == XML_IO_ENCODER) {
            if (const std::optional<TextPosition> bytes = firstUndecodablePosition(document)) {
                position = *bytes;
            }
        }
        positions.push_back(position);
    }
    const std::vector<SourceSpot> spots = locateInDocument(document, positions);
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const ErrorInfo& error = errors[i];
        XmlErrorRecord record;
        record.code = error.code() != 0 ? error.code()
                                        : static_cast<std::int32_t>(XmlLoadError::parserFailure);
        const bool undecodable =
            error.code() == XML_I18N_CONV_FAILED || error.code() == XML_IO_ENCODER;
        if (undecodable) {
            // Already counted as XML counts lines.
            record.line = positions[i].line;
            record.column = positions[i].column;
            record.srcText = sourceLineText(document, record.line, record.column);
        } else {
            record.line = spots[i].position.line;
            record.column = spots[i].position.column;
            record.srcText = spots[i].text;
        }
        record.facts = error.facts;
        record.facts.message = oneLineUtf8(record.facts.message);
        record.reason = record.facts.message;
        outcome.errors.push_back(std::move(record));
    }
    if (!outcome.errors.empty()) {
        outcome.errorCode = outcome.errors.front().code;
    }
    return outcome;
}

LoadOutcome outcomeOf(DocumentText document, const ErrorInfo& error) {
    return outcomeOf(document, std::vector<ErrorInfo>{error}, false);
}

// A value refused by a named type made of enumerations: the values the type
// allows, for the reason to list them (libxml2 names the type only in its
// message: "... is not a valid value of the union type '{ns}local'.").
void addAllowedValues(const CompiledSchema& schema, XmlErrorFacts& facts) {
    if (facts.own != OwnFacts::none || facts.code < XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_1 ||
        facts.code > XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_3) {
        return;
    }
    const std::string_view message = facts.message;
    constexpr std::string_view kType = " type '";
    const std::size_t at = message.rfind(kType);
    if (at == std::string_view::npos || !message.ends_with("'.")) {
        return;
    }
    std::string_view name = message.substr(at + kType.size());
    name.remove_suffix(2);
    std::string_view namespaceUri;
    if (name.starts_with('{')) {
        const std::size_t close = name.find('}');
        if (close == std::string_view::npos) {
            return;
        }
        namespaceUri = name.substr(1, close - 1);
        name.remove_prefix(close + 1);
    }
    facts.values = schema.enumeratedValues(std::string(namespaceUri), std::string(name));
}

// A failure before anything of the document was read: no line, no text.
LoadOutcome failureWithoutText(const ErrorInfo& error) {
    LoadOutcome outcome;
    XmlErrorRecord record;
    record.code = error.code();
    record.facts = error.facts;
    record.facts.message = oneLineUtf8(record.facts.message);
    record.reason = record.facts.message;
    outcome.errorCode = record.code;
    outcome.errors.push_back(std::move(record));
    return outcome;
}

// The first registered schema that declares the root element, or the error
// that says none does (and why earlier adds failed).
Result<const CompiledSchema*, ErrorInfo> chooseSchema(const RootProbe& root,
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
        ErrorInfo error = loadError(XmlLoadError::noSchema, OwnFacts::noSchema, {}, {},
                                    element.line, root.column);
        error.facts.causes = failuresOf(registered);
        return error;
    }
    ErrorInfo error = loadError(XmlLoadError::rootNotDeclared, OwnFacts::rootNotDeclared, {}, {},
                                element.line, root.column);
    error.facts.element = element.namespaceUri.empty()
                              ? element.localName
                              : "{" + element.namespaceUri + "}" + element.localName;
    for (const SchemaRef& schema : registered->schemas) {
        error.facts.values.push_back(schema->targetNamespace());
    }
    error.facts.causes = failuresOf(registered);
    return error;
}

// A load in three steps: the document open and its root element known (from
// an earlier look at the same file handed over in opened, or now); the
// schema that declares that root; the whole document through that schema's
// validator.
LoadOutcome loadDocument(const std::string& path, const RegisteredSchemas* registered,
                         std::size_t errorLimit, OpenedDocumentHandle opened,
                         const ValuePaths* paths, CollectedValues& values) {
    ensureRuntime();
    ErrorCollector errors;
    errors.setLimit(errorLimit);
    LoadScope scope(LoadPolicy::nothing);

    StreamedDocument document;
    RootProbe root;
    std::optional<OpenedDocument> probed = takeOpenedDocument(std::move(opened), path);
    if (probed && !probed->probed) {
        // Given as its bytes, with a root that cannot be read: probed again
        // for the error, never looked for on the disk.
        document = std::move(probed->document);
        std::optional<RootProbe> probe = probeRoot(document, errors);
        if (!probe) {
            return outcomeOf(textOf(document), errors.first());
        }
        root = std::move(*probe);
    } else if (probed) {
        document = std::move(probed->document);
        root = std::move(probed->root);
    } else {
        Result<StreamedDocument, ErrorInfo> file = openStreamedDocument(path);
        if (!file) {
            return failureWithoutText(file.error());
        }
        document = std::move(*file);
        std::optional<RootProbe> probe = probeRoot(document, errors);
        if (!probe) {
            return outcomeOf(textOf(document), errors.first());
        }
        root = std::move(*probe);
    }

    // The values asked for come from the same pass, whether or not a schema
    // declares the root; a document read to its end gave them all.
    std::optional<ValueMatcher> matcher;
    if (paths != nullptr) {
        matcher.emplace(*paths, values);
    }
    ValueMatcher* const matching = matcher ? &*matcher : nullptr;
    const Result<const CompiledSchema*, ErrorInfo> chosen = chooseSchema(root, registered);
    if (!chosen) {
        // A document that is not well-formed says so, even when no schema
        // declares its root.
        checkWellFormed(document, errors, matching);
        values.complete = matching != nullptr && !errors.fatal();
        return outcomeOf(textOf(document), errors.fatal() ? errors.first() : chosen.error());
    }
    validateStream(document, **chosen, errors, matching);
    values.complete = matching != nullptr && !errors.fatal();
    if (errors.hasError()) {
        std::vector<ErrorInfo> found = errors.errors();
        for (ErrorInfo& error : found) {
            addAllowedValues(**chosen, error.facts);
        }
        return outcomeOf(textOf(document), found, errors.capped());
    }
    // The loader refuses silently as far as libxml2 is concerned; a document
    // that needed something from outside is not valid.
    if (scope.refusedAny()) {
        ErrorInfo error = loadError(XmlLoadError::parserFailure, OwnFacts::refused);
        error.facts.causes.push_back(scope.refusal());
        return outcomeOf(textOf(document), error);
    }
    return LoadOutcome();
}

class LibxmlParseError : public XmlParseError {
public:
    explicit LibxmlParseError(std::shared_ptr<const LoadOutcome> outcome)
        : m_outcome(std::move(outcome)) {}
    std::optional<std::int32_t> errorCode() override { return m_outcome->errorCode; }
    std::optional<std::int32_t> line() override { return first().line; }
    std::optional<std::string> srcText() override { return first().srcText; }
    std::optional<std::string> reason() override { return first().reason; }
    std::optional<XmlErrorFacts> reasonFacts() override { return first().facts; }
    std::optional<std::int32_t> column() override { return first().column; }
    std::vector<XmlErrorRecord> errors() override { return m_outcome->errors; }
    bool errorsCapped() override { return m_outcome->capped; }
    bool contentLeftUnchecked() override {
        return std::any_of(m_outcome->errors.begin(), m_outcome->errors.end(),
                           [](const XmlErrorRecord& record) {
                               return record.facts.domain == XML_FROM_SCHEMASV &&
                                      record.facts.code == XML_SCHEMAV_ELEMENT_CONTENT;
                           });
    }

private:
    // A valid load has no error: line 0, empty texts.
    const XmlErrorRecord& first() const {
        static const XmlErrorRecord kNone;
        return m_outcome->errors.empty() ? kNone : m_outcome->errors.front();
    }

    // Shared with the document: each read of a field costs no copy of the
    // outcome.
    std::shared_ptr<const LoadOutcome> m_outcome;
};

class LibxmlSchemaCollection : public XmlSchemaCollection {
public:
    bool add(const std::string& /*namespaceUri*/, const std::string& path) override {
        Result<SchemaRef, XmlErrorFacts> compiled = compiledSchema(path);
        if (!compiled) {
            m_registered.failures.push_back(std::move(compiled.error()));
            m_registered.failures.back().str1 = path;
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
            m_values = CollectedValues();
            m_outcome = std::make_shared<const LoadOutcome>(loadDocument(
                path, m_schemas != nullptr ? &m_schemas->registered() : nullptr, m_errorLimit,
                std::move(m_opened), m_paths, m_values));
        } catch (const std::bad_alloc&) {
            m_outcome = std::make_shared<const LoadOutcome>(
                failed(XmlLoadError::parserFailure, OwnFacts::outOfMemory));
        }
        return m_outcome->errorCode == 0;
    }

    bool setErrorLimit(std::size_t limit) override {
        m_errorLimit = limit > 0 ? limit : 1;
        return true;
    }

    bool setOpened(OpenedDocumentHandle opened) override {
        m_opened = std::move(opened);
        return true;
    }

    std::unique_ptr<XmlParseError> parseError() override {
        return std::make_unique<LibxmlParseError>(m_outcome);
    }

    bool setValuePaths(const ValuePaths* paths) override {
        m_paths = paths;
        return true;
    }
    CollectedValues takeValues() override { return std::move(m_values); }

private:
    static LoadOutcome failed(XmlLoadError code, OwnFacts own) {
        return failureWithoutText(loadError(code, own));
    }

    LibxmlSchemaCollection* m_schemas = nullptr;
    std::size_t m_errorLimit = 1;
    OpenedDocumentHandle m_opened;
    const ValuePaths* m_paths = nullptr;
    CollectedValues m_values;
    std::shared_ptr<const LoadOutcome> m_outcome = std::make_shared<const LoadOutcome>(
        failed(XmlLoadError::notLoaded, OwnFacts::notLoaded));
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

void setDocumentReadHook(DocumentReadHook hook) {
    g_documentRead.store(hook);
}

XmlParserFactory& defaultXmlParserFactory() {
    static LibxmlParserFactory factory;
    return factory;
}

} // namespace morvik::platform
