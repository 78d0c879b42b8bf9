// The facts of one XML error, as the XML layer hands them over: libxml2's
// structured error copied field by field, or the code, case and fields of
// one of our own refusals. No words for people beyond libxml2's own English
// message, which stays a fact (the English reasons show it unchanged); the
// wording of our own refusals, in every language, lives above the run.
#pragma once

#include <string>
#include <vector>

namespace morvik::platform {

// Which of our own refusals an error is; the wording is chosen by it. One
// error code may have several (XmlLoadError::parserFailure: the parser not
// created, no root element, ...); a refusal that ends a schema's use or a
// load (OwnFacts::fileCannotOpen, ...) sits in the causes of the error it
// ended. New refusals are added at the end, with their wording.
enum class OwnFacts : int {
    none = 0,                // libxml2's own error: its message says it
    documentCannotOpen,      // str1 the path, str2 the system's text of errno
    documentCannotRead,      // str1 the path, str2 the system's text of errno
    documentIsFolder,        // str1 the path
    documentNotRegular,      // str1 the path
    documentLinkOutside,     // str1 the path of a link leading outside its folder
    doctypeInDocument,       // str1 the declaration as the document writes it
    noSchema,                // causes: why each schema could not be used
    rootNotDeclared,         // element the root, values the schemas' namespaces, causes as above,
                             // str3 the namespace the document's folder needs (when known)
    parserNotCreated,        //
    noRootElement,           //
    validatorNotCreated,     //
    validatorNotAttached,    //
    validatorRejected,       // the validator failed without an error of its own
    outOfMemory,             //
    notLoaded,               // no load has run
    refused,                 // causes[0]: what the loader refused
    parserStopped,           // int1 the parser's result; message libxml2's generic text, if any
    idrefNotFound,           // element, attribute (may be empty), str1 the value
    notANumber,              // element, attribute, str1 the value, str2 the type, values the forms
    byteOrderMarkConflict,   // str1 the mark's encoding, str2 the declared one
    duplicateId,             // element, attribute, str1 the value, str2 the ID type
    // What a schema's compilation or a loader refused (in causes):
    schemaUnusable,          // str1 the schema path, str2 libxml2's report; causes[0] the refusal
    schemaParserNotCreated,  // str1 the schema path
    fileCannotOpen,          // str1 the path, str2 the system's text of errno
    fileCannotRead,          // str1 the path, str2 the system's text of errno
    fileNotAFile,            // str1 the path
    schemaTooLarge,          // str1 the path
    notLocal,                // str1 the address
    doctypeInSchema,         // str1 the schema file, str2 the declared name (may be empty)
    externalNotLoaded,       // str1 the address
    outsideSchemaFolder,     // str1 the file, str2 the schema folder
    // A document (XmlLoadError::budgetExceeded) or a schema compilation (a
    // cause of schemaUnusable) over its budget: str1 "memory", "time" or
    // "attributes" (of one element), str2 the limit (bytes, seconds or
    // attributes) in decimal.
    overBudget,
    // A schema set whose shape, read from its files before compiling, is
    // over the compilation's budget (a cause of schemaUnusable): str1
    // "chain" (definitions on one chain of references), "references"
    // (references followed from every definition, counted once for every
    // path) or "components" (global definitions), str2 the limit, str3 the
    // figure (for "components", where the reading stopped); element the name
    // of the definition the chain starts at or from which the most
    // references are followed, values its kind
    // ("element", "type", "group", "attributeGroup", "attribute") and the
    // file that defines it (empty: the schema file itself).
    schemaTooComplex,
};

struct XmlErrorFacts {
    // xmlError's domain (an xmlErrorDomain value: 1 parser, 3 namespaces,
    // 17 schema validation, 27 encoding conversion, ...); 0 for our own codes.
    int domain = 0;
    // xmlError's code (an xmlParserErrors value, positive) or an XmlLoadError
    // value (negative).
    int code = 0;
    // Which of our own refusals this is; none for libxml2's errors.
    OwnFacts own = OwnFacts::none;
    // xmlError's str1..str3, empty when NULL. What they hold depends on the
    // code (for a facet error: the value and the facet's bound); for our own
    // refusals, on the case (see OwnFacts).
    std::string str1, str2, str3;
    // xmlError's int1 (a line number or a character value for some parser
    // errors).
    int int1 = 0;
    // Our own refusals: the element ("{namespace}local" or "local") and the
    // attribute they are about, the values they list, and the refusals that
    // led to them. For libxml2's error of a value its named type refuses
    // (XML_SCHEMAV_CVC_DATATYPE_VALID_1_2_*), values holds what the type
    // allows when it is made of enumerations alone, read from the schema.
    std::string element, attribute;
    std::vector<std::string> values;
    std::vector<XmlErrorFacts> causes;
    // libxml2's English message on one line, without its trailing line
    // break; empty for our own refusals (their words are made from the
    // fields above).
    std::string message;
};

// The code of an IDREF value that matches no ID of the document, a check
// libxml2's schema validator never makes (XmlLoadError::idrefNotFound).
inline constexpr int kIdrefNotFoundCode = -8;

} // namespace morvik::platform
