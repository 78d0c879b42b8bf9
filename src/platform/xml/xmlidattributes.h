// Used only by the XML layer's own files: what a schema's declarations say
// about the values of its documents that libxml2's streaming validator leaves
// unchecked. It checks neither that IDs are unique nor that references name
// an ID of the document, and (libxml2 2.9) it takes a number with a dangling
// exponent ("1e", "1.0E+") as an xs:double. The stream does that bookkeeping
// itself, for the values this index names.
//
// The index is keyed by declaration: an element's type comes from its
// declaration in its parent's type (or a global declaration, or xsi:type),
// and an attribute's or the element's own content's kind from that type. So
// an attribute that is an ID on one element and not on another is told apart,
// and IDs in element content or in unions are seen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvik::platform {

enum class IdKind : std::uint8_t {
    none,
    id,
    idref,
    idrefs,
};

// Lexical forms a numeric value may take; a bit set.
enum NumberForm : std::uint8_t {
    kNoNumber = 0,
    kDecimalForm = 1,  // xs:decimal and the types derived from it
    kFloatingForm = 2, // xs:double, xs:float
};

// What a simple value (an attribute's, or an element's simple content) is.
struct ValueKind {
    IdKind id = IdKind::none;
    // Non-zero when every member type is numeric: the value (each item of a
    // list) must then take one of these forms.
    std::uint8_t numberForms = kNoNumber;
    bool list = false;
    // The type's name for messages ("xs:double", "{urn:hl7-org:v3}real").
    std::string typeName;
    bool matters() const { return id != IdKind::none || numberForms != kNoNumber; }
};

// Whether text is a number in one of forms (whitespace around is allowed).
bool isNumberInForms(std::string_view text, std::uint8_t forms);

class ValueDeclarations {
public:
    using TypeId = std::int32_t;
    static constexpr TypeId kUnknownType = -1;

    // Reads the declarations of the schema files (a compiled schema's main
    // file, includes and imports). Files that cannot be read are passed over.
    static ValueDeclarations fromSchemaFiles(const std::vector<std::string>& paths);

    // No declaration gives any value a kind: nothing to track.
    bool empty() const { return !m_anyKind; }

    TypeId globalElement(std::string_view namespaceUri, std::string_view localName) const;
    TypeId namedType(std::string_view namespaceUri, std::string_view localName) const;
    // The type of a child element of an element of type parent: its local
    // declaration (through the base types), or a global one it refers to.
    TypeId childElement(TypeId parent, std::string_view namespaceUri,
                        std::string_view localName) const;
    // The attribute's kind in an element of that type; for a qualified
    // attribute without a local declaration, its global declaration's.
    const ValueKind* attribute(TypeId type, std::string_view namespaceUri,
                               std::string_view localName) const;
    // The kind of the simple content of an element of that type.
    const ValueKind* content(TypeId type) const;

    struct Named {
        std::string namespaceUri;
        std::string localName;
        TypeId type = kUnknownType;
    };
    struct Attribute {
        std::string namespaceUri;
        std::string localName;
        ValueKind kind;
    };
    struct Type {
        TypeId base = kUnknownType;
        std::vector<Named> children;
        std::vector<Attribute> attributes;
        ValueKind content;
    };

private:
    friend class ValueDeclarationReader;
    std::vector<Type> m_types;
    std::vector<Named> m_globalElements;
    std::vector<Named> m_namedTypes;
    std::vector<Attribute> m_globalAttributes;
    bool m_anyKind = false;
};

} // namespace morvik::platform
