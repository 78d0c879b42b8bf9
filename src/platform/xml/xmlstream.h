// Used only by the XML layer's own files: a document streamed from an open
// file through libxml2's parser, first up to its root start tag (to learn
// which element it is), then whole through a schema validator. The file is
// opened once and read once: what the first look read is handed to the
// validating parse before the rest of the file.
#pragma once

#include "platform/fs/fd.h"
#include "platform/xml/xmlparser.h"
#include "platform/result.h"
#include "platform/xml/xmlruntime.h"
#include "platform/xml/xmlschemacache.h"
#include "platform/xml/valuepaths.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace morvik::platform {

struct RootProbe {
    XmlRootElement element;
    std::int32_t column = 0; // of the root start tag's end
};

// A document open for reading, and the bytes read from it so far; or a
// document given whole as its bytes (inMemory), read from those.
struct StreamedDocument {
    std::string path; // names it in messages
    Fd fd;
    std::string bytes; // the whole document, when inMemory
    bool inMemory = false;
    FileStamp stamp;        // of the file as it was opened
    std::string head;       // read by the root probe, handed on to the validation
    std::uint64_t size = 0; // as the file was when it was opened
    std::uint64_t read = 0; // bytes read from the file so far
    bool atEnd = false;
};

// The document at path open for reading, or why it cannot be: a folder, a
// device, a link that leads outside its folder, a file that cannot be opened.
[[nodiscard]] Result<StreamedDocument, ErrorInfo> openStreamedDocument(const std::string& path);

// The root element of the document (read from its start), or the first
// error before it in errors.
[[nodiscard]] std::optional<RootProbe> probeRoot(StreamedDocument& document,
                                                 ErrorCollector& errors);

// Streams the whole document through a validator of schema. Every error the
// collector keeps ends up there: a well-formedness error ends the parse and
// is the one reported; schema errors are kept up to the collector's limit,
// after which the rest is only checked for well-formedness. IDs are checked
// for uniqueness and ID references for a matching ID. values, when given,
// matches every start tag in the same pass.
void validateStream(StreamedDocument& document, const CompiledSchema& schema,
                    ErrorCollector& errors, ValueMatcher* values = nullptr);

// Streams the whole document for well-formedness alone (no schema): a fatal
// error, if any, ends up in errors.
void checkWellFormed(StreamedDocument& document, ErrorCollector& errors,
                     ValueMatcher* values = nullptr);

// A document open and probed by readRootElement, handed to the load of the
// same path (OpenedDocumentHandle), which goes on from there instead of
// opening and probing the file again.
struct OpenedDocument {
    StreamedDocument document;
    RootProbe root;
    // False for a document given as its bytes whose root could not be read:
    // the load probes it again, from those bytes, to report why.
    bool probed = true;
};

// The opened document when it is the file at path and that file is still
// unchanged, or the document given as its bytes for path; nothing otherwise
// (a file put in its place or written since is a document of its own).
[[nodiscard]] std::optional<OpenedDocument> takeOpenedDocument(OpenedDocumentHandle opened,
                                                               const std::string& path);

} // namespace morvik::platform
