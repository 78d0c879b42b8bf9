// The value declarations of a schema, read from its files: global and local
// element declarations with their types, complex types with their
// attributes, child elements and base types (attribute groups and model
// groups followed), and simple types followed through restriction, list and
// union down to the built-in types that give a value its kind (xs:ID,
// xs:IDREF, xs:IDREFS, xs:double, xs:float, xs:decimal and its descendants).
#include "platform/xml/xmlidattributes.h"

#include "platform/xml/schemanodes.h"
#include "platform/xml/xmlruntime.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

namespace morvik::platform {

namespace {

using DocHandle = Handle<xmlDoc, xmlFreeDoc>;

using QName = std::pair<std::string, std::string>; // namespace, local name

std::string trimmed(const std::string& value) {
    const std::size_t start = value.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        return {};
    }
    return value.substr(start, value.find_last_not_of(" \t\r\n") - start + 1);
}

// A QName attribute value resolved against the namespaces in scope.
std::optional<QName> qnameValue(const xmlNode* node, const std::string& rawValue) {
    const std::string value = trimmed(rawValue);
    if (value.empty()) {
        return std::nullopt;
    }
    const std::size_t colon = value.find(':');
    const std::string prefix = colon == std::string::npos ? "" : value.substr(0, colon);
    const std::string local = colon == std::string::npos ? value : value.substr(colon + 1);
    xmlNs* ns = xmlSearchNs(node->doc, const_cast<xmlNode*>(node),
                            prefix.empty() ? nullptr : xml(prefix.c_str()));
    return QName(ns != nullptr ? text(ns->href) : "", local);
}

std::string shownName(const QName& name) {
    if (name.first == kXsdNamespace) {
        return "xs:" + name.second;
    }
    return name.first.empty() ? name.second : "{" + name.first + "}" + name.second;
}

// One schema document's defaults.
struct SchemaDocument {
    std::string targetNamespace;
    bool elementsQualified = false;
    bool attributesQualified = false;
};

// A simple type's kind, and whether some member is not numeric (a union with
// such a member takes values of any form).
struct SimpleKind {
    ValueKind kind;
    bool nonNumeric = false;
};

SimpleKind builtinKind(const std::string& local) {
    SimpleKind result;
    result.kind.typeName = "xs:" + local;
    if (local == "ID") {
        result.kind.id = IdKind::id;
    } else if (local == "IDREF") {
        result.kind.id = IdKind::idref;
    } else if (local == "IDREFS") {
        result.kind.id = IdKind::idrefs;
        result.kind.list = true;
    }
    static const char* const kDecimals[] = {
        "decimal",
        "integer",
        "nonPositiveInteger",
        "negativeInteger",
        "long",
        "int",
        "short",
        "byte",
        "nonNegativeInteger",
        "unsignedLong",
        "unsignedInt",
        "unsignedShort",
        "unsignedByte",
        "positiveInteger",
    };
    if (local == "double" || local == "float") {
        result.kind.numberForms = kFloatingForm;
    } else if (std::find(std::begin(kDecimals), std::end(kDecimals), local) !=
               std::end(kDecimals)) {
        result.kind.numberForms = kDecimalForm;
    } else {
        result.nonNumeric = true;
    }
    return result;
}

} // namespace

class ValueDeclarationReader {
public:
    explicit ValueDeclarationReader(ValueDeclarations& index) : m_index(index) {}

    void read(xmlDoc* doc) {
        const xmlNode* root = xmlDocGetRootElement(doc);
        if (root == nullptr || !isXsd(root, "schema")) {
            return;
        }
        auto info = std::make_unique<SchemaDocument>();
        info->targetNamespace = schemaAttribute(root, "targetNamespace");
        info->elementsQualified = schemaAttribute(root, "elementFormDefault") == "qualified";
        info->attributesQualified = schemaAttribute(root, "attributeFormDefault") == "qualified";
        collectGlobals(root, *info);
        m_documents.push_back(std::move(info));
    }

    void finish() {
        for (const auto& [name, global] : m_elements) {
            m_index.m_globalElements.push_back({name.first, name.second, elementType(global)});
        }
        for (const auto& [name, global] : m_complexTypes) {
            m_index.m_namedTypes.push_back({name.first, name.second, namedType(name)});
        }
        for (const auto& [name, global] : m_simpleTypes) {
            m_index.m_namedTypes.push_back({name.first, name.second, namedType(name)});
        }
        fillPending();
        for (const auto& [name, global] : m_attributes) {
            ValueKind kind = attributeKind(global);
            if (kind.matters()) {
                m_index.m_globalAttributes.push_back({name.first, name.second, std::move(kind)});
            }
        }
        const auto byName = [](const auto& a, const auto& b) {
            return std::tie(a.namespaceUri, a.localName) < std::tie(b.namespaceUri, b.localName);
        };
        std::sort(m_index.m_globalElements.begin(), m_index.m_globalElements.end(), byName);
        std::sort(m_index.m_namedTypes.begin(), m_index.m_namedTypes.end(), byName);
        std::sort(m_index.m_globalAttributes.begin(), m_index.m_globalAttributes.end(), byName);
        for (const ValueDeclarations::Type& type : m_index.m_types) {
            m_index.m_anyKind = m_index.m_anyKind || type.content.matters() ||
                                std::any_of(type.attributes.begin(), type.attributes.end(),
                                            [](const auto& a) { return a.kind.matters(); });
        }
        m_index.m_anyKind = m_index.m_anyKind || !m_index.m_globalAttributes.empty();
    }

private:
    using TypeId = ValueDeclarations::TypeId;
    struct Global {
        const SchemaDocument* schema = nullptr;
        const xmlNode* node = nullptr;
    };
    using Globals = std::map<QName, Global>;

    // A chain of derivations or references longer than this is a loop.
    static constexpr int kMaxDepth = 64;

    void collectGlobals(const xmlNode* parent, const SchemaDocument& schema) {
        for (const xmlNode* child = parent->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) {
                continue;
            }
            if (isXsd(child, "redefine")) {
                // Redefinitions hold top-level declarations of their own.
                collectGlobals(child, schema);
                continue;
            }
            const std::string name = schemaAttribute(child, "name");
            if (name.empty()) {
                continue;
            }
            const QName qname(schema.targetNamespace, name);
            const Global global{&schema, child};
            if (isXsd(child, "element")) {
                m_elements.emplace(qname, global);
            } else if (isXsd(child, "complexType")) {
                m_complexTypes.emplace(qname, global);
            } else if (isXsd(child, "simpleType")) {
                m_simpleTypes.emplace(qname, global);
            } else if (isXsd(child, "attribute")) {
                m_attributes.emplace(qname, global);
            } else if (isXsd(child, "attributeGroup")) {
                m_attributeGroups.emplace(qname, global);
            } else if (isXsd(child, "group")) {
                m_groups.emplace(qname, global);
            }
        }
    }

    static const Global* find(const Globals& globals, const QName& name) {
        const auto it = globals.find(name);
        return it == globals.end() ? nullptr : &it->second;
    }

    // Simple types -----------------------------------------------------------

    SimpleKind simpleKindOf(const QName& name, int depth) {
        if (name.first == kXsdNamespace) {
            return builtinKind(name.second);
        }
        if (const Global* simple = find(m_simpleTypes, name); simple != nullptr) {
            SimpleKind result = simpleKindOf(simple->node, depth + 1);
            result.kind.typeName = shownName(name);
            return result;
        }
        if (const Global* complex = find(m_complexTypes, name); complex != nullptr) {
            // The simple content of a complex type named as a base.
            return simpleContentKind(complex->node, depth + 1);
        }
        SimpleKind unknown;
        unknown.nonNumeric = true;
        return unknown;
    }

    SimpleKind simpleKindOf(const xmlNode* simpleType, int depth) {
        SimpleKind result;
        result.nonNumeric = true;
        if (depth > kMaxDepth) {
            return result;
        }
        for (const xmlNode* child = simpleType->children; child != nullptr; child = child->next) {
            if (isXsd(child, "restriction") || isXsd(child, "list")) {
                const bool list = isXsd(child, "list");
                std::optional<QName> base =
                    qnameValue(child, schemaAttribute(child, list ? "itemType" : "base"));
                SimpleKind inner;
                inner.nonNumeric = true;
                if (base) {
                    inner = simpleKindOf(*base, depth + 1);
                } else if (const xmlNode* inlined = firstXsd(child, "simpleType")) {
                    inner = simpleKindOf(inlined, depth + 1);
                }
                if (list) {
                    inner.kind.list = true;
                    if (inner.kind.id == IdKind::idref) {
                        inner.kind.id = IdKind::idrefs;
                    } else if (inner.kind.id != IdKind::idrefs) {
                        inner.kind.id = IdKind::none; // a list of IDs is no ID
                    }
                }
                return inner;
            }
            if (isXsd(child, "union")) {
                return unionKind(child, depth);
            }
        }
        return result;
    }

    SimpleKind unionKind(const xmlNode* unionNode, int depth) {
        std::vector<SimpleKind> members;
        std::string memberTypes = schemaAttribute(unionNode, "memberTypes");
        std::size_t pos = 0;
        while ((pos = memberTypes.find_first_not_of(" \t\r\n", pos)) != std::string::npos) {
            const std::size_t end = memberTypes.find_first_of(" \t\r\n", pos);
            if (const auto name = qnameValue(unionNode, memberTypes.substr(pos, end - pos))) {
                members.push_back(simpleKindOf(*name, depth + 1));
            }
            pos = end;
        }
        for (const xmlNode* child = unionNode->children; child != nullptr; child = child->next) {
            if (isXsd(child, "simpleType")) {
                members.push_back(simpleKindOf(child, depth + 1));
            }
        }
        SimpleKind result;
        result.kind.typeName = "union";
        std::uint8_t forms = kNoNumber;
        for (const SimpleKind& member : members) {
            result.nonNumeric = result.nonNumeric || member.nonNumeric || member.kind.list ||
                                member.kind.numberForms == kNoNumber;
            forms |= member.kind.numberForms;
            if (result.kind.id == IdKind::none && !member.kind.list) {
                result.kind.id = member.kind.id;
            }
        }
        // A union takes a value any member takes: a number form is required
        // only when every member is a number.
        result.kind.numberForms = result.nonNumeric ? std::uint8_t{kNoNumber} : forms;
        return result;
    }

    SimpleKind simpleContentKind(const xmlNode* complexType, int depth) {
        SimpleKind result;
        result.nonNumeric = true;
        if (depth > kMaxDepth) {
            return result;
        }
        const xmlNode* content = firstXsd(complexType, "simpleContent");
        if (content == nullptr) {
            return result;
        }
        for (const xmlNode* child = content->children; child != nullptr; child = child->next) {
            if (isXsd(child, "extension") || isXsd(child, "restriction")) {
                if (const xmlNode* inlined = firstXsd(child, "simpleType")) {
                    return simpleKindOf(inlined, depth + 1);
                }
                if (const auto base = qnameValue(child, schemaAttribute(child, "base"))) {
                    return simpleKindOf(*base, depth + 1);
                }
            }
        }
        return result;
    }

    static const xmlNode* firstXsd(const xmlNode* parent, const char* localName) {
        for (const xmlNode* child = parent->children; child != nullptr; child = child->next) {
            if (isXsd(child, localName)) {
                return child;
            }
        }
        return nullptr;
    }

    // Types -------------------------------------------------------------------

    TypeId namedType(const QName& name) {
        if (name.first == kXsdNamespace) {
            const auto [it, added] = m_builtins.try_emplace(name.second, 0);
            if (added) {
                it->second = newType();
                m_index.m_types[static_cast<std::size_t>(it->second)].content =
                    builtinKind(name.second).kind;
            }
            return it->second;
        }
        if (const Global* complex = find(m_complexTypes, name); complex != nullptr) {
            return typeOf(*complex);
        }
        if (const Global* simple = find(m_simpleTypes, name); simple != nullptr) {
            return typeOf(*simple, shownName(name));
        }
        return ValueDeclarations::kUnknownType;
    }

    TypeId newType() {
        m_index.m_types.emplace_back();
        return static_cast<TypeId>(m_index.m_types.size() - 1);
    }

    ValueDeclarations::Type& type(TypeId id) {
        return m_index.m_types[static_cast<std::size_t>(id)];
    }

    // The type of a simpleType or complexType node, made once. It is filled
    // in later (fillPending), so that types that refer to each other, however
    // deeply, take no recursion.
    TypeId typeOf(const Global& global, std::string name = {}) {
        const auto known = m_made.find(global.node);
        if (known != m_made.end()) {
            return known->second;
        }
        const TypeId id = newType();
        m_made.emplace(global.node, id);
        m_pending.push_back({id, global, std::move(name)});
        return id;
    }

    void fillPending() {
        while (!m_pending.empty()) {
            const Pending next = std::move(m_pending.back());
            m_pending.pop_back();
            if (isXsd(next.global.node, "simpleType")) {
                ValueKind kind = simpleKindOf(next.global.node, 0).kind;
                if (!next.name.empty()) {
                    kind.typeName = next.name;
                }
                type(next.id).content = std::move(kind);
            } else {
                fillComplexType(next.id, next.global);
            }
        }
    }

    void fillComplexType(TypeId id, const Global& global) {
        const xmlNode* node = global.node;
        const xmlNode* body = node;
        if (const xmlNode* content = firstXsd(node, "simpleContent")) {
            type(id).content = simpleContentKind(node, 0).kind;
            body = content;
        } else if (const xmlNode* complexContent = firstXsd(node, "complexContent")) {
            body = complexContent;
        }
        if (body != node) {
            for (const xmlNode* child = body->children; child != nullptr; child = child->next) {
                if (isXsd(child, "extension") || isXsd(child, "restriction")) {
                    if (const auto base = qnameValue(child, schemaAttribute(child, "base"))) {
                        const TypeId baseId = namedType(*base);
                        type(id).base = baseId;
                    }
                    readContent(id, Global{global.schema, child}, 0);
                }
            }
            return;
        }
        readContent(id, global, 0);
    }

    // Attributes, attribute groups and particles below node.
    void readContent(TypeId id, const Global& at, int depth) {
        if (depth > kMaxDepth) {
            return;
        }
        for (const xmlNode* child = at.node->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) {
                continue;
            }
            if (isXsd(child, "attribute")) {
                addAttribute(id, Global{at.schema, child});
            } else if (isXsd(child, "attributeGroup")) {
                if (const auto ref = qnameValue(child, schemaAttribute(child, "ref"))) {
                    if (const Global* group = find(m_attributeGroups, *ref)) {
                        readContent(id, *group, depth + 1);
                    }
                }
            } else if (isXsd(child, "group")) {
                if (const auto ref = qnameValue(child, schemaAttribute(child, "ref"))) {
                    if (const Global* group = find(m_groups, *ref)) {
                        readContent(id, *group, depth + 1);
                    }
                }
            } else if (isXsd(child, "sequence") || isXsd(child, "choice") || isXsd(child, "all")) {
                readContent(id, Global{at.schema, child}, depth + 1);
            } else if (isXsd(child, "element")) {
                addChild(id, Global{at.schema, child});
            }
        }
    }

    void addAttribute(TypeId id, const Global& declaration) {
        const xmlNode* node = declaration.node;
        QName name;
        ValueKind kind;
        if (const auto ref = qnameValue(node, schemaAttribute(node, "ref"))) {
            name = *ref;
            if (const Global* global = find(m_attributes, *ref)) {
                kind = attributeKind(*global);
            }
        } else {
            const std::string local = schemaAttribute(node, "name");
            if (local.empty()) {
                return;
            }
            const std::string form = schemaAttribute(node, "form");
            const bool qualified =
                form == "qualified" || (form.empty() && declaration.schema->attributesQualified);
            name = QName(qualified ? declaration.schema->targetNamespace : "", local);
            kind = attributeKind(declaration);
        }
        // Every attribute is noted, so that one declared again without a kind
        // in a derived type hides the base type's.
        auto& attributes = type(id).attributes;
        const auto same = std::find_if(attributes.begin(), attributes.end(), [&](const auto& a) {
            return a.namespaceUri == name.first && a.localName == name.second;
        });
        if (same == attributes.end()) {
            attributes.push_back({name.first, name.second, std::move(kind)});
        }
    }

    ValueKind attributeKind(const Global& declaration) {
        const xmlNode* node = declaration.node;
        if (const auto typeName = qnameValue(node, schemaAttribute(node, "type"))) {
            return simpleKindOf(*typeName, 0).kind;
        }
        if (const xmlNode* inlined = firstXsd(node, "simpleType")) {
            return simpleKindOf(inlined, 0).kind;
        }
        return {};
    }

    void addChild(TypeId id, const Global& declaration) {
        const xmlNode* node = declaration.node;
        QName name;
        TypeId childType = ValueDeclarations::kUnknownType;
        if (const auto ref = qnameValue(node, schemaAttribute(node, "ref"))) {
            name = *ref;
            if (const Global* global = find(m_elements, *ref)) {
                childType = elementType(*global);
            }
        } else {
            const std::string local = schemaAttribute(node, "name");
            if (local.empty()) {
                return;
            }
            const std::string form = schemaAttribute(node, "form");
            const bool qualified =
                form == "qualified" || (form.empty() && declaration.schema->elementsQualified);
            name = QName(qualified ? declaration.schema->targetNamespace : "", local);
            childType = elementType(declaration);
        }
        auto& children = type(id).children;
        const auto same = std::find_if(children.begin(), children.end(), [&](const auto& c) {
            return c.namespaceUri == name.first && c.localName == name.second;
        });
        if (same == children.end()) {
            children.push_back({name.first, name.second, childType});
        } else if (same->type != childType) {
            // Two declarations of one name in one content model with
            // different types: which applies is not known here.
            same->type = ValueDeclarations::kUnknownType;
        }
    }

    TypeId elementType(const Global& declaration) {
        const xmlNode* node = declaration.node;
        if (const auto typeName = qnameValue(node, schemaAttribute(node, "type"))) {
            return namedType(*typeName);
        }
        for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
            if (isXsd(child, "complexType") || isXsd(child, "simpleType")) {
                return typeOf(Global{declaration.schema, child});
            }
        }
        if (const auto group = qnameValue(node, schemaAttribute(node, "substitutionGroup"))) {
            const Global* head = find(m_elements, *group);
            if (head != nullptr && m_depth < kMaxDepth) {
                ++m_depth;
                const TypeId headType = elementType(*head);
                --m_depth;
                return headType;
            }
        }
        return ValueDeclarations::kUnknownType; // xs:anyType: nothing to check
    }

    ValueDeclarations& m_index;
    std::vector<std::unique_ptr<SchemaDocument>> m_documents;
    Globals m_elements, m_complexTypes, m_simpleTypes, m_attributes, m_attributeGroups, m_groups;
    std::map<const xmlNode*, TypeId> m_made;
    struct Pending {
        TypeId id;
        Global global;
        std::string name;
    };
    std::vector<Pending> m_pending;
    std::map<std::string, TypeId> m_builtins;
    int m_depth = 0;
};

namespace {

template <typename Entry>
const Entry* findSorted(const std::vector<Entry>& entries, std::string_view namespaceUri,
                        std::string_view localName) {
    const auto it = std::lower_bound(
        entries.begin(), entries.end(), std::make_pair(namespaceUri, localName),
        [](const Entry& e, const std::pair<std::string_view, std::string_view>& key) {
            return std::make_pair(std::string_view(e.namespaceUri), std::string_view(e.localName)) <
                   key;
        });
    return it != entries.end() && it->namespaceUri == namespaceUri && it->localName == localName
               ? &*it
               : nullptr;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits from pos on; how many.
std::size_t digitsAt(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && isDigit(text[pos])) {
        ++pos;
    }
    return pos - start;
}

} // namespace

bool isNumberInForms(std::string_view text, std::uint8_t forms) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return false;
    }
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if ((forms & kFloatingForm) != 0 &&
        (text == "INF" || text == "-INF" || text == "+INF" || text == "NaN")) {
        return true;
    }
    std::size_t pos = 0;
    if (text[pos] == '+' || text[pos] == '-') {
        ++pos;
    }
    std::size_t digits = digitsAt(text, pos);
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        digits += digitsAt(text, pos);
    }
    if (digits == 0) {
        return false;
    }
    if (pos == text.size()) {
        return true; // a decimal is also a double
    }
    if ((forms & kFloatingForm) == 0 || (text[pos] != 'e' && text[pos] != 'E')) {
        return false;
    }
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
    }
    // An exponent needs digits: "1e" and "1E+" are no numbers.
    return digitsAt(text, pos) > 0 && pos == text.size();
}

ValueDeclarations ValueDeclarations::fromSchemaFiles(const std::vector<std::string>& paths) {
    ensureRuntime();
    ErrorCollector errors; // a file that no longer parses is passed over quietly
    LoadScope scope(LoadPolicy::nothing);
    std::vector<DocHandle> docs;
    ValueDeclarations index;
    ValueDeclarationReader reader(index);
    for (const std::string& path : paths) {
        FileStamp stamp;
        const auto content = readWholeFile(path, stamp);
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
    reader.finish();
    return index;
}

ValueDeclarations::TypeId ValueDeclarations::globalElement(std::string_view namespaceUri,
                                                           std::string_view localName) const {
    const Named* found = findSorted(m_globalElements, namespaceUri, localName);
    return found != nullptr ? found->type : kUnknownType;
}

ValueDeclarations::TypeId ValueDeclarations::namedType(std::string_view namespaceUri,
                                                       std::string_view localName) const {
    const Named* found = findSorted(m_namedTypes, namespaceUri, localName);
    return found != nullptr ? found->type : kUnknownType;
}

ValueDeclarations::TypeId ValueDeclarations::childElement(TypeId parent,
                                                          std::string_view namespaceUri,
                                                          std::string_view localName) const {
    for (int depth = 0; parent != kUnknownType && depth < 64; ++depth) {
        const Type& type = m_types[static_cast<std::size_t>(parent)];
        for (const Named& child : type.children) {
            if (child.localName == localName && child.namespaceUri == namespaceUri) {
                return child.type;
            }
        }
        parent = type.base;
    }
    return kUnknownType;
}

const ValueKind* ValueDeclarations::attribute(TypeId type, std::string_view namespaceUri,
                                              std::string_view localName) const {
    for (int depth = 0; type != kUnknownType && depth < 64; ++depth) {
        const Type& entry = m_types[static_cast<std::size_t>(type)];
        for (const Attribute& attribute : entry.attributes) {
            if (attribute.localName == localName && attribute.namespaceUri == namespaceUri) {
                return &attribute.kind;
            }
        }
        type = entry.base;
    }
    if (!namespaceUri.empty()) {
        if (const Attribute* global = findSorted(m_globalAttributes, namespaceUri, localName)) {
            return &global->kind;
        }
    }
    return nullptr;
}

const ValueKind* ValueDeclarations::content(TypeId type) const {
    for (int depth = 0; type != kUnknownType && depth < 64; ++depth) {
        const Type& entry = m_types[static_cast<std::size_t>(type)];
        if (entry.content.matters()) {
            return &entry.content;
        }
        type = entry.base;
    }
    return nullptr;
}

} // namespace morvik::platform
