// The XML parser layer: a document that loads one file and validates it
// against a schema collection, the collection itself, the parse error of the
// last load, and the factory that makes documents and collections, all on
// libxml2; tests can put a factory of their own in front of it.
//
// Every operation can fail and says so in its result; none throws.
#pragma once

#include "platform/xml/valuepaths.h"
#include "platform/xml/xmlerror.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvik::platform {

// Error codes that the layer reports for failures of its own. Errors that
// the XML parser or the schema validator find keep the library's (positive)
// code. Zero always means "no error".
enum class XmlLoadError : std::int32_t {
    cannotRead = -1,             // the document cannot be opened or read
    notAFile = -2,               // a folder, device or other non-regular file
    dtdProhibited = -3,          // the document has a DOCTYPE
    noSchema = -4,               // no schema in the collection (every add failed)
    rootNotDeclared = -5,        // no registered schema declares the root element
    parserFailure = -6,          // the parser stopped without saying why
    notLoaded = -7,              // no load has run: nothing was checked
    idrefNotFound = -8,          // an ID reference names no ID of the document
    notANumber = -9,             // a number with an exponent marker and no exponent digits
    byteOrderMarkConflict = -10, // a UTF-16 byte-order mark and another declared encoding
    budgetExceeded = -11,        // the document needed more memory or time than its budget
};

// One error of a load: where it is, the text of its line, and its facts.
struct XmlErrorRecord {
    std::int32_t code = 0;
    std::int32_t line = 0;   // 1-based, as XML counts lines; 0 when unknown
    std::int32_t column = 0; // 1-based, in characters; 0 when unknown
    std::string srcText;
    std::string reason; // the English message on one line (facts.message)
    XmlErrorFacts facts;
};

// The error of a document's last load. Each read can fail (nullopt).
class XmlParseError {
public:
    virtual ~XmlParseError() = default;
    // 0 when the last load found no error.
    virtual std::optional<std::int32_t> errorCode() = 0;
    // 1-based line of the first error; 0 when unknown.
    virtual std::optional<std::int32_t> line() = 0;
    // The text of that line without its line break; a long line is cut to a
    // window of about 200 characters around the error, cuts marked "…".
    virtual std::optional<std::string> srcText() = 0;
    // The parser's English message for the first error, on one line.
    virtual std::optional<std::string> reason() = 0;
    // The facts of the first error, from which its reason is worded.
    virtual std::optional<XmlErrorFacts> reasonFacts() { return std::nullopt; }
    // 1-based column (in characters) of the first error; 0 when unknown.
    virtual std::optional<std::int32_t> column() { return std::nullopt; }
    // Every error the load kept, the first one first (as many as the
    // document's error limit allows); empty when there is none or when they
    // cannot be obtained.
    virtual std::vector<XmlErrorRecord> errors() { return {}; }
    // Whether more errors may have followed those kept.
    virtual bool errorsCapped() { return false; }
    // Whether a kept error ended the checking of an element's content
    // ("element not expected"): the validator checks nothing more of that
    // element's children, so errors among them may be missing from the list.
    virtual bool contentLeftUnchecked() { return false; }
};

// A set of compiled XSD schemas, one per target namespace.
class XmlSchemaCollection {
public:
    virtual ~XmlSchemaCollection() = default;
    // Compiles the XSD file at path, with its includes and imports (local
    // files only, resolved relative to the including file), and registers it
    // for the target namespace the schema declares; a later schema for the
    // same namespace replaces an earlier one. namespaceUri is the namespace
    // the caller expects; a schema declaring another one is still registered
    // (under its own), so that no document goes unchecked. Returns false when
    // the schema cannot be read or is not valid; the reason is kept and given
    // by a load that finds no schema to use.
    virtual bool add(const std::string& namespaceUri, const std::string& path) = 0;
};

// A document that readRootElement opened and read up to the end of its
// root's start tag, for the load of the same file to go on from there.
struct OpenedDocument;
struct OpenedDocumentDeleter {
    void operator()(OpenedDocument* opened) const noexcept;
};
using OpenedDocumentHandle = std::unique_ptr<OpenedDocument, OpenedDocumentDeleter>;

// One XML document.
class XmlDocument {
public:
    virtual ~XmlDocument() = default;
    // Only synchronous loading exists: setAsync(true) fails.
    virtual bool setAsync(bool async) = 0;
    // Attaches the collection by reference: it must outlive every later
    // load. A collection of another implementation is refused.
    virtual bool setSchemas(XmlSchemaCollection& schemas) = 0;
    // Reads the file at path, streaming, and validates it against the
    // attached collection. Returns true when the document is valid. A
    // document is never valid without a schema that declares its root
    // element. A document that is not well-formed reports its first
    // well-formedness error, whatever schema errors came before it. The
    // outcome is also in parseError().
    virtual bool load(const std::string& path) = 0;
    // The error of the last load (errorCode 0 only after a valid load;
    // notLoaded before any load); nullptr when it cannot be obtained.
    virtual std::unique_ptr<XmlParseError> parseError() = 0;
    // How many errors of the schema a later load keeps (at least one; a
    // document that is not well-formed reports its first well-formedness
    // error alone). False when not supported.
    virtual bool setErrorLimit(std::size_t limit) {
        (void)limit;
        return false;
    }
    // The values a later load collects in its one pass over the document
    // (paths must outlive the loads); null asks for none. False when not
    // supported.
    virtual bool setValuePaths(const ValuePaths* paths) {
        (void)paths;
        return false;
    }
    // What the last load collected (taken: a second call gives nothing).
    virtual CollectedValues takeValues() { return {}; }
    // Hands the next load a document already open and probed: when it is
    // the file that load reads, still unchanged, it is not opened again.
    // False when not supported (the load then opens the file itself).
    virtual bool setOpened(OpenedDocumentHandle opened) {
        (void)opened;
        return false;
    }
};

class XmlParserFactory {
public:
    virtual ~XmlParserFactory() = default;
    // Each returns nullptr when the object cannot be created.
    virtual std::unique_ptr<XmlDocument> createDocument() = 0;
    virtual std::unique_ptr<XmlSchemaCollection> createSchemaCollection() = 0;
};

// The libxml2 parser of this process.
XmlParserFactory& defaultXmlParserFactory();

// Called with a document's path after it was read and before the text of its
// error lines is looked up; nothing by default. A test sets it to put another
// file at that path, which must not change what is shown.
using DocumentReadHook = void (*)(const std::string& path);
void setDocumentReadHook(DocumentReadHook hook);

// The root element of a document, as far as it can be known without reading
// past its start tag.
struct XmlRootElement {
    std::string namespaceUri; // empty when the root is in no namespace
    std::string localName;
    // The file names (last path segment) of the locations named by the
    // root's xsi:schemaLocation and xsi:noNamespaceSchemaLocation, in order.
    // Nothing is ever loaded from them.
    std::vector<std::string> schemaFileNames;
    std::int32_t line = 0; // line on which the start tag ends
};

// Reads the document at path up to the end of its first start tag
// (xmlstream.cpp). Returns
// nullopt when the file cannot be read, has a DOCTYPE, or is not well-formed
// before its root element ends its start tag.
// When given, problem receives why not (the facts of the first error), and
// opened the document as far as it was read, for XmlDocument::setOpened.
[[nodiscard]] std::optional<XmlRootElement> readRootElement(const std::string& path,
                                                            XmlErrorFacts* problem = nullptr,
                                                            OpenedDocumentHandle* opened = nullptr);

// The same for the document that is to be at path, given whole as its bytes
// (inflated from an archive, before or while its file is written): nothing
// is read from the disk. opened, when given, receives the document also when
// its root cannot be read, so that the load of path reads these bytes and
// reports why.
[[nodiscard]] std::optional<XmlRootElement>
readRootElementFromBytes(const std::string& path, std::string bytes,
                         XmlErrorFacts* problem = nullptr, OpenedDocumentHandle* opened = nullptr);

// Whether opened holds the document for path given as its bytes: its
// load needs no file there.
[[nodiscard]] bool givenAsBytes(const OpenedDocumentHandle& opened, const std::string& path);

// True when the XSD at schemaPath (with its includes and imports) compiles
// and declares a global element localName in namespaceUri (empty: no
// namespace). Uses the same compiled schemas as XmlSchemaCollection::add.
[[nodiscard]] bool schemaDeclaresGlobalElement(const std::string& schemaPath,
                                               const std::string& namespaceUri,
                                               const std::string& localName);

// Name of the environment variable that switches schema reuse off: when it is
// set to anything but "" or "0", every add compiles its schema afresh.
inline constexpr const char* kNoSchemaCacheVariable = "MORVIK_NO_SCHEMA_CACHE";

// While one lives (on any thread), a compiled schema whose files were found
// unchanged once is reused without looking at its files again: a run checks
// its schema files once, not once per document. Outside of one, every add
// looks at the files.
class SchemaReuseScope {
public:
    SchemaReuseScope();
    ~SchemaReuseScope();
    SchemaReuseScope(const SchemaReuseScope&) = delete;
    SchemaReuseScope& operator=(const SchemaReuseScope&) = delete;
};

// While one lives (on any thread), the schemas in folder or below it, a
// folder the user named, may include and import schema files anywhere on
// the local disk (a shared coreschemas/ folder, ../common/types.xsd). Other
// schemas (those that came out of an archive) may use only the files of
// their own folder and below. DOCTYPEs and the network stay refused for all.
class UserSchemaFolder {
public:
    explicit UserSchemaFolder(const std::string& folder);
    ~UserSchemaFolder();
    UserSchemaFolder(const UserSchemaFolder&) = delete;
    UserSchemaFolder& operator=(const UserSchemaFolder&) = delete;

private:
    std::string m_folder; // canonical
};

// How many compiled schemas the process keeps for reuse.
inline constexpr std::size_t kSchemaCacheCapacity = 8;

// How many times this process has compiled a schema (reused ones not
// counted): lets tests and benchmarks see whether reuse happened.
std::uint64_t schemaCompilations();

} // namespace morvik::platform
