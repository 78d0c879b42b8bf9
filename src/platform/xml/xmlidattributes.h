// Used only by the XML layer's own files: which attributes of a schema's
// documents hold IDs (xs:ID) or references to them (xs:IDREF, xs:IDREFS).
// libxml2's streaming validator checks neither that IDs are unique nor that
// references name an ID of the document; the stream does that bookkeeping
// itself, for the attributes this index names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvik::platform {

enum class IdKind {
    none,
    id,
    idref,
    idrefs,
    // Declared as an ID or a reference in one place and otherwise in another:
    // which one applies depends on the element, which this index does not know.
    ambiguous,
};

class IdAttributes {
public:
    // Reads the attribute declarations of the schema files (a compiled
    // schema's main file, includes and imports). Files that cannot be read
    // are passed over.
    static IdAttributes fromSchemaFiles(const std::vector<std::string>& paths);

    // none for an attribute no declaration gives an ID kind.
    IdKind kindOf(std::string_view namespaceUri, std::string_view localName) const;
    bool empty() const { return m_entries.empty(); }

    struct Entry {
        std::string namespaceUri;
        std::string localName;
        IdKind kind = IdKind::none;
    };
    const std::vector<Entry>& entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries; // only attributes of some ID kind
};

} // namespace morvik::platform
