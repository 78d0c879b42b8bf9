// The ID attributes of a schema, read from the declarations in its files:
// every xs:attribute with a name, its type followed through named simple
// types (restriction, list) down to xs:ID, xs:IDREF or xs:IDREFS.
#include "platform/xml/xmlidattributes.h"

#include "platform/xml/xmlruntime.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <map>
#include <optional>
#include <utility>

namespace morvik::platform {

namespace {

using DocHandle = Handle<xmlDoc, xmlFreeDoc>;

constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

using QName = std::pair<std::string, std::string>; // namespace, local name

bool isXsd(const xmlNode* node, const char* localName) {
    return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
           xmlStrEqual(node->ns->href, xml(kXsdNamespace)) &&
           xmlStrEqual(node->name, xml(localName));
}

std::string attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetNoNsProp(node, xml(name));
    if (value == nullptr) {
        return {};
    }
    std::string result = text(value);
    xmlFree(value);
    return result;
}

// A QName attribute value resolved against the namespaces in scope.
std::optional<QName> qnameValue(xmlDoc* doc, const xmlNode* node, const std::string& value) {
    if (value.empty()) {
        return std::nullopt;
    }
    const std::size_t colon = value.find(':');
    const std::string prefix = colon == std::string::npos ? "" : value.substr(0, colon);
    const std::string local = colon == std::string::npos ? value : value.substr(colon + 1);
    xmlNs* ns = xmlSearchNs(doc, const_cast<xmlNode*>(node),
                            prefix.empty() ? nullptr : xml(prefix.c_str()));
    return QName(ns != nullptr ? text(ns->href) : "", local);
}

// A simple type: a restriction of a base, a list of an item type, or a union.
struct SimpleType {
    enum class Variety { restriction, list, unionType } variety = Variety::restriction;
    std::optional<QName> base;        // restriction base or list item type, when named
    const xmlNode* inlined = nullptr; // an anonymous simple type in its place
    xmlDoc* doc = nullptr;
};

class Reader {
public:
    void read(xmlDoc* doc) {
        const xmlNode* root = xmlDocGetRootElement(doc);
        if (root == nullptr || !isXsd(root, "schema")) {
            return;
        }
        const std::string targetNamespace = attribute(root, "targetNamespace");
        const bool qualifiedByDefault = attribute(root, "attributeFormDefault") == "qualified";
        collect(doc, root, targetNamespace, qualifiedByDefault, true);
    }

    std::vector<IdAttributes::Entry> entries() {
        std::map<QName, IdKind> combined;
        for (const auto& [name, node] : m_declarations) {
            const IdKind kind = declaredKind(node.first, node.second);
            auto [it, inserted] = combined.emplace(name, kind);
            if (!inserted && it->second != kind) {
                it->second = IdKind::ambiguous;
            }
        }
        std::vector<IdAttributes::Entry> result;
        for (const auto& [name, kind] : combined) {
            if (kind != IdKind::none) {
                result.push_back({name.first, name.second, kind});
            }
        }
        return result;
    }

private:
    void collect(xmlDoc* doc, const xmlNode* node, const std::string& targetNamespace,
                 bool qualifiedByDefault, bool topLevel) {
        for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) {
                continue;
            }
            if (isXsd(child, "attribute")) {
                const std::string name = attribute(child, "name");
                if (!name.empty()) {
                    const std::string form = attribute(child, "form");
                    const bool qualified =
                        topLevel || form == "qualified" || (form.empty() && qualifiedByDefault);
                    m_declarations.emplace_back(QName(qualified ? targetNamespace : "", name),
                                                std::make_pair(doc, child));
                }
            } else if (isXsd(child, "simpleType") && topLevel) {
                const std::string name = attribute(child, "name");
                if (!name.empty()) {
                    m_types.emplace(QName(targetNamespace, name), simpleType(doc, child));
                }
            }
            // Redefinitions hold top-level declarations of their own.
            const bool redefine = isXsd(child, "redefine");
            collect(doc, child, targetNamespace, qualifiedByDefault, redefine);
        }
    }

    static SimpleType simpleType(xmlDoc* doc, const xmlNode* node) {
        SimpleType type;
        type.doc = doc;
        for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
            const char* baseAttribute = nullptr;
            if (isXsd(child, "restriction")) {
                type.variety = SimpleType::Variety::restriction;
                baseAttribute = "base";
            } else if (isXsd(child, "list")) {
                type.variety = SimpleType::Variety::list;
                baseAttribute = "itemType";
            } else if (isXsd(child, "union")) {
                type.variety = SimpleType::Variety::unionType;
                return type;
            } else {
                continue;
            }
            type.base = qnameValue(doc, child, attribute(child, baseAttribute));
            for (const xmlNode* inner = child->children; inner != nullptr; inner = inner->next) {
                if (isXsd(inner, "simpleType")) {
                    type.inlined = inner;
                }
            }
            return type;
        }
        return type;
    }

    IdKind declaredKind(xmlDoc* doc, const xmlNode* declaration) {
        if (const std::optional<QName> type =
                qnameValue(doc, declaration, attribute(declaration, "type"))) {
            return namedKind(*type, 0);
        }
        for (const xmlNode* child = declaration->children; child != nullptr; child = child->next) {
            if (isXsd(child, "simpleType")) {
                return typeKind(simpleType(doc, child), 0);
            }
        }
        return IdKind::none;
    }

    IdKind namedKind(const QName& name, int depth) {
        if (name.first == kXsdNamespace) {
            if (name.second == "ID") {
                return IdKind::id;
            }
            if (name.second == "IDREF") {
                return IdKind::idref;
            }
            if (name.second == "IDREFS") {
                return IdKind::idrefs;
            }
            return IdKind::none;
        }
        const auto it = m_types.find(name);
        return it == m_types.end() ? IdKind::none : typeKind(it->second, depth + 1);
    }

    // A chain of derivations longer than this is a loop.
    static constexpr int kMaxDepth = 64;

    IdKind typeKind(const SimpleType& type, int depth) {
        if (depth > kMaxDepth) {
            return IdKind::none;
        }
        IdKind base = IdKind::none;
        if (type.variety == SimpleType::Variety::unionType) {
            return IdKind::none;
        }
        if (type.base) {
            base = namedKind(*type.base, depth);
        } else if (type.inlined != nullptr) {
            base = typeKind(simpleType(type.doc, type.inlined), depth + 1);
        }
        if (type.variety == SimpleType::Variety::list) {
            return base == IdKind::idref
                       ? IdKind::idrefs
                       : (base == IdKind::none ? IdKind::none : IdKind::ambiguous);
        }
        return base;
    }

    std::vector<std::pair<QName, std::pair<xmlDoc*, const xmlNode*>>> m_declarations;
    std::map<QName, SimpleType> m_types;
};

} // namespace

IdAttributes IdAttributes::fromSchemaFiles(const std::vector<std::string>& paths) {
    ensureRuntime();
    ErrorCollector errors; // a file that no longer parses is passed over quietly
    LoadScope scope(LoadPolicy::nothing);
    std::vector<DocHandle> docs;
    Reader reader;
    for (const std::string& path : paths) {
        FileStamp stamp;
        const Result<FileContent> content = readWholeFile(path, stamp);
        if (!content || prologueHasDoctype(content->bytes) ||
            content->bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
            continue;
        }
        DocHandle doc(xmlReadMemory(content->bytes.data(), static_cast<int>(content->bytes.size()),
                                    nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS));
        if (!doc || doc->intSubset != nullptr) {
            continue;
        }
        reader.read(doc.get());
        docs.push_back(std::move(doc));
    }
    IdAttributes index;
    index.m_entries = reader.entries();
    return index;
}

IdKind IdAttributes::kindOf(std::string_view namespaceUri, std::string_view localName) const {
    for (const Entry& entry : m_entries) {
        if (entry.localName == localName && entry.namespaceUri == namespaceUri) {
            return entry.kind;
        }
    }
    return IdKind::none;
}

} // namespace morvik::platform
