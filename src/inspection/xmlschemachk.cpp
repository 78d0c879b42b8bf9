// Document validation: one document against one schema file, with the
// progress texts and the outcome as status, message and detail.
//
// Every step after the existence tests is guarded by itself: a step whose
// parser call fails is abandoned without assigning anything and the next step
// runs; the outcome is decided from what was assigned. A step that needs the
// document or the schema collection while it does not exist first tries to
// create it. So when no parser can be made at all, the three progress texts
// still appear and the outcome is the "Microsoft XML6.0" message with an
// empty detail.
#include "inspection/xmlschemachk.h"

#include "platform/text/utf8.h"

#include "inspection/paths.h"
#include "platform/xml/xmlparser.h"

#include <optional>
#include <utility>

namespace morvik::inspection {

namespace {

constexpr const char* kStartText = "XML出力ファイルの整合性チェック開始";
constexpr const char* kSchemaLoadText = "XMLスキーマファイルのロード";
constexpr const char* kCheckingText = "XML出力ファイルの整合性チェック中";

constexpr const char* kDoneMessage = "XML出力ファイルの整合性チェック完了";
constexpr const char* kErrorMessage = "XMLファイルの整合性チェックでエラーが発生しました。";
// Both end with one ASCII space, as the messages always have.
constexpr const char* kParserMissingMessage =
    "整合性チェックに必要なMicrosoft XML6.0がインストールされていない可能性があります。 ";
constexpr const char* kNotFoundTail = "」に存在しない為、XMLの検証が出来ません。 ";

// "行" followed by the ideographic space U+3000.
constexpr const char* kLineMark = "行　";

// The status of every outcome but a valid document.
constexpr int kFailure = -1;

// The parser objects of one call, made again on demand when their creation
// failed.
class ParserObjects {
public:
    explicit ParserObjects(platform::XmlParserFactory& factory) : m_factory(factory) {}

    platform::XmlDocument* document() {
        if (!m_document) {
            m_document = m_factory.createDocument();
        }
        return m_document.get();
    }
    platform::XmlSchemaCollection* schemas() {
        if (!m_schemas) {
            m_schemas = m_factory.createSchemaCollection();
        }
        return m_schemas.get();
    }

    // The document goes first: it holds the collection by reference.
    ~ParserObjects() {
        m_document.reset();
        m_schemas.reset();
    }

private:
    platform::XmlParserFactory& m_factory;
    std::unique_ptr<platform::XmlDocument> m_document;
    std::unique_ptr<platform::XmlSchemaCollection> m_schemas;
};

// One value of the document's parse error, obtained afresh for the read: a
// step whose object is missing tries to make it again.
template <class Read>
auto readParseErrorWith(ParserObjects& objects, Read read)
    -> decltype(read(std::declval<platform::XmlParseError&>())) {
    platform::XmlDocument* document = objects.document();
    if (document == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<platform::XmlParseError> parseError = document->parseError();
    if (!parseError) {
        return std::nullopt;
    }
    return read(*parseError);
}

template <class Value>
std::optional<Value> readParseError(ParserObjects& objects,
                                    std::optional<Value> (platform::XmlParseError::*read)()) {
    return readParseErrorWith(objects,
                              [read](platform::XmlParseError& error) { return (error.*read)(); });
}

// The reason of the first error with its facts, in one read.
struct ReasonRead {
    std::string message;
    std::optional<platform::XmlErrorFacts> facts;
};

// The reason of one error: worded from its facts where a wording is given
// and the facts are there, else the parser's message.
std::string reasonOf(const std::optional<platform::XmlErrorFacts>& facts,
                     const std::optional<std::string>& message, const ReasonWording* reasons) {
    if (reasons != nullptr && facts) {
        std::string worded = reasons->reason(*facts);
        if (!worded.empty()) {
            return worded;
        }
    }
    return message.value_or(std::string());
}

// The errors after the first, when more than one was asked for.
void addFurtherErrors(ParserObjects& objects, ValidationFacts& facts,
                      const ReasonWording* reasons) {
    platform::XmlDocument* document = objects.document();
    if (document == nullptr) {
        return;
    }
    const std::unique_ptr<platform::XmlParseError> parseError = document->parseError();
    if (!parseError) {
        return;
    }
    const std::vector<platform::XmlErrorRecord> all = parseError->errors();
    for (std::size_t i = 1; i < all.size() && i < facts.errorLimit; ++i) {
        const platform::XmlErrorRecord& record = all[i];
        facts.errors.push_back(
            {record.code, record.facts.domain, record.line, record.column,
             platform::printableText(record.srcText, platform::Tabs::kept),
             platform::printableText(reasonOf(record.facts, record.reason, reasons),
                                     platform::Tabs::kept),
             record.facts});
    }
    facts.errorsCapped = parseError->errorsCapped();
    facts.contentLeftUnchecked = parseError->contentLeftUnchecked();
}

} // namespace

int XmlSchemaChk(const std::string& documentFolder, const std::string& documentName,
                 const std::string& schemaFolder, const std::string& schemaName,
                 std::string& message, std::string& detail, StatusLine& status,
                 platform::XmlParserFactory& parser, ValidationFacts* facts,
                 const ReasonWording* reasons, platform::OpenedDocumentHandle opened) {
    status.MsgDisp(kStartText);

    // The joined paths, tested as they are. A document given as its bytes
    // is what the extraction writes there.
    const std::string documentPath = documentFolder + documentName;
    if (!platform::givenAsBytes(opened, documentPath) && FileChk(documentPath) != 0) {
        message = "XMLファイルが「" + printable(documentPath) + kNotFoundTail;
        return kFailure;
    }
    const std::string schemaPath = schemaFolder + schemaName;
    if (FileChk(schemaPath) != 0) {
        message = "XMLスキーマファイルが「" + printable(schemaPath) + kNotFoundTail;
        return kFailure;
    }

    int result = kFailure;
    {
        ParserObjects objects(parser);
        objects.document();
        objects.schemas();
        if (platform::XmlDocument* document = objects.document()) {
            document->setAsync(false);
            if (facts != nullptr && facts->errorLimit > 1) {
                document->setErrorLimit(facts->errorLimit);
            }
            if (facts != nullptr && facts->valuePaths != nullptr) {
                document->setValuePaths(facts->valuePaths);
            }
            if (opened) {
                // A parser that cannot take it opens the file itself.
                (void)document->setOpened(std::move(opened));
            }
        }
        status.MsgDisp(kSchemaLoadText);
        // A schema that cannot be added has no message of its own;
        // the load below reports the document against what the collection
        // then holds.
        if (platform::XmlSchemaCollection* schemas = objects.schemas()) {
            schemas->add(kTargetNamespace, schemaPath);
        }
        if (platform::XmlDocument* document = objects.document()) {
            if (platform::XmlSchemaCollection* schemas = objects.schemas()) {
                document->setSchemas(*schemas);
            }
        }
        status.MsgDisp(kCheckingText);
        // The result of load itself is not used: the parse error tells.
        if (platform::XmlDocument* document = objects.document()) {
            document->load(documentPath);
            if (facts != nullptr && facts->valuePaths != nullptr) {
                facts->values = document->takeValues();
            }
        }
        // An error code that cannot be read leads down the error path.
        const std::optional<std::int32_t> errorCode =
            readParseError(objects, &platform::XmlParseError::errorCode);
        if (errorCode && *errorCode == 0) {
            message = kDoneMessage;
            result = 0;
        } else {
            std::string buffer;
            ValidationError error;
            // All or nothing; line is read before srcText.
            if (const auto line = readParseError(objects, &platform::XmlParseError::line)) {
                if (const auto srcText =
                        readParseError(objects, &platform::XmlParseError::srcText)) {
                    // A document's own text is shown, never obeyed: a
                    // control character in it reaches no terminal.
                    error.srcText = platform::printableText(*srcText, platform::Tabs::kept);
                    buffer = std::to_string(*line) + kLineMark + error.srcText;
                    error.line = *line;
                }
            }
            std::optional<ReasonRead> reason =
                readParseErrorWith(objects, [](platform::XmlParseError& parseError) {
                    std::optional<ReasonRead> read;
                    if (std::optional<std::string> text = parseError.reason()) {
                        read = ReasonRead{std::move(*text), parseError.reasonFacts()};
                    }
                    return read;
                });
            // A root no schema declares: the folder says which namespace
            // its documents need.
            if (reason && reason->facts && facts != nullptr && !facts->neededNamespace.empty() &&
                reason->facts->own == platform::OwnFacts::rootNotDeclared) {
                reason->facts->str3 = facts->neededNamespace;
            }
            if (reason) {
                error.reason = platform::printableText(
                    reasonOf(reason->facts, reason->message, reasons), platform::Tabs::kept);
                buffer += error.reason;
                if (reason->facts) {
                    error.domain = reason->facts->domain;
                    error.facts = reason->facts;
                }
            }
            detail = buffer;
            message = buffer.empty() ? kParserMissingMessage : kErrorMessage;
            result = kFailure;
            if (facts != nullptr) {
                const std::int32_t code = errorCode.value_or(0);
                facts->errorCode = code;
                if (!buffer.empty()) {
                    error.code = code;
                    error.column =
                        readParseError(objects, &platform::XmlParseError::column).value_or(0);
                    facts->errors.push_back(std::move(error));
                }
                if (facts->errorLimit > 1) {
                    addFurtherErrors(objects, *facts, reasons);
                }
            }
        }
        // The objects are released, document first, as the block ends.
    }
    return result;
}

int XmlSchemaChk(const std::string& documentFolder, const std::string& documentName,
                 const std::string& schemaFolder, const std::string& schemaName,
                 std::string& message, std::string& detail, StatusLine& status,
                 ValidationFacts* facts, const ReasonWording* reasons) {
    return XmlSchemaChk(documentFolder, documentName, schemaFolder, schemaName, message, detail,
                        status, platform::defaultXmlParserFactory(), facts, reasons);
}

} // namespace morvik::inspection
