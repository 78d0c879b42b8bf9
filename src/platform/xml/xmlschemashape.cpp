// A schema set's shape: its files read as libxml2's schema parser reads
// them (through the entity loader of a LoadScope with the compilation's
// rules, includes and redefines taking the including file's namespace when
// they have none), its global definitions, and the references between them
// that libxml2 follows while it compiles. Those are the references that may
// not go round in a circle: an element's substitution group, the model
// group and attribute group references inside a definition, and the base,
// item and member types. An element's type and element references are
// left out: content may contain itself (a section holding sections), and
// libxml2 resolves each of them once (a chain of 40,000 element references
// compiles in about a second).
#include "platform/xml/xmlschemashape.h"

#include "platform/xml/schemanodes.h"
#include "platform/xml/xmlruntime.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace morvik::platform {

namespace {

using DocHandle = Handle<xmlDoc, xmlFreeDoc>;
using ParserHandle = Handle<xmlParserCtxt, xmlFreeParserCtxt>;

// The symbol spaces of global definitions (complex and simple types share
// one), by the name of the element that defines them.
const char* kindOf(const xmlNode* node) {
    if (!isXsd(node)) {
        return nullptr;
    }
    static constexpr std::pair<const char*, const char*> kKinds[] = {
        {"element", "element"},   {"attribute", "attribute"}, {"complexType", "type"},
        {"simpleType", "type"},   {"group", "group"},         {"attributeGroup", "attributeGroup"},
        {"notation", "notation"},
    };
    for (const auto& [element, kind] : kKinds) {
        if (xmlStrEqual(node->name, xml(element))) {
            return kind;
        }
    }
    return nullptr;
}

std::string keyOf(const char* kind, const std::string& ns, const std::string& local) {
    std::string key = kind;
    key += '\0';
    key += ns;
    key += '\0';
    key += local;
    return key;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

class ShapeReader {
public:
    ShapeReader(std::string mainPath, const SchemaShapeLimits& limits)
        : m_mainPath(std::move(mainPath)), m_limits(limits) {}

    void read(const std::string& uri) {
        m_queue.push_back({uri, std::string(), false});
        while (!m_queue.empty() && !full()) {
            const Pending next = std::move(m_queue.front());
            m_queue.pop_front();
            if (m_seen.insert(next.uri + '\0' + next.includer).second) {
                readFile(next);
            }
        }
    }

    SchemaShape measure() {
        m_shape.components = m_components;
        if (!full()) {
            measureChains();
        }
        return m_shape;
    }

private:
    struct Pending {
        std::string uri;
        std::string includer; // the including file's namespace
        bool included = false;
    };

    struct Definition {
        const char* kind = nullptr;
        std::string name, file;
        std::vector<std::string> references; // keys, resolved when all is read
        std::vector<std::uint32_t> targets;
    };

    // One file being read: what its QNames resolve against.
    struct FileScope {
        std::string targetNamespace;
        bool chameleon = false; // no namespace of its own: takes its includer's
        std::string file;
    };

    bool full() const { return m_components > m_limits.components; }

    void readFile(const Pending& pending) {
        ParserHandle parser(xmlNewParserCtxt());
        if (!parser) {
            return;
        }
        // The loader of the LoadScope serves the file or refuses it; a file
        // it refuses (or that does not parse) is reported by the compilation.
        DocHandle doc(xmlCtxtReadFile(parser.get(), pending.uri.c_str(), nullptr, XML_PARSE_NONET));
        const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
        if (root == nullptr || !isXsd(root, "schema")) {
            return;
        }
        ++m_shape.files;
        FileScope scope;
        scope.targetNamespace = schemaAttribute(root, "targetNamespace");
        if (pending.included && scope.targetNamespace.empty() && !pending.includer.empty()) {
            scope.targetNamespace = pending.includer;
            scope.chameleon = true;
        }
        const std::string path = pathsForUris(pending.uri);
        scope.file = path == m_mainPath ? std::string() : path;
        for (const xmlNode* child = root->children; child != nullptr && !full();
             child = child->next) {
            if (isXsd(child, "include") || isXsd(child, "redefine") || isXsd(child, "import")) {
                const bool import = isXsd(child, "import");
                const std::string location = schemaAttribute(child, "schemaLocation");
                if (!location.empty()) {
                    queue(doc.get(), child, location,
                          import ? std::string() : scope.targetNamespace, !import);
                }
                if (isXsd(child, "redefine")) {
                    for (const xmlNode* redefined = child->children; redefined != nullptr;
                         redefined = redefined->next) {
                        define(redefined, scope);
                    }
                }
                continue;
            }
            define(child, scope);
        }
    }

    // The location resolved as libxml2's schema parser resolves it: against
    // the node's base, else the document's address.
    void queue(xmlDoc* doc, const xmlNode* node, const std::string& location, std::string includer,
               bool included) {
        xmlChar* base = xmlNodeGetBase(doc, node);
        xmlChar* uri = xmlBuildURI(xml(location.c_str()), base != nullptr ? base : doc->URL);
        xmlFree(base);
        if (uri == nullptr) {
            return;
        }
        m_queue.push_back({text(uri), std::move(includer), included});
        xmlFree(uri);
    }

    void define(const xmlNode* node, const FileScope& scope) {
        const char* kind = kindOf(node);
        const std::string name = kind != nullptr ? schemaAttribute(node, "name") : std::string();
        if (name.empty()) {
            return;
        }
        ++m_components;
        const std::string key = keyOf(kind, scope.targetNamespace, name);
        auto [at, added] =
            m_index.try_emplace(key, static_cast<std::uint32_t>(m_definitions.size()));
        if (added) {
            m_definitions.push_back({kind, name, scope.file, {}, {}});
        }
        Definition& definition = m_definitions[at->second];
        if (xmlStrEqual(node->name, xml("element"))) {
            refer(definition, node, schemaAttribute(node, "substitutionGroup"), "element", scope);
        }
        // Its content, down to (not into) the declarations of local
        // elements, whose types are their own.
        std::vector<const xmlNode*> open{node->children};
        while (!open.empty()) {
            const xmlNode* child = open.back();
            if (child == nullptr) {
                open.pop_back();
                continue;
            }
            open.back() = child->next;
            if (!isXsd(child) || isXsd(child, "annotation") || isXsd(child, "element")) {
                continue;
            }
            if (isXsd(child, "group")) {
                refer(definition, child, schemaAttribute(child, "ref"), "group", scope);
            } else if (isXsd(child, "attributeGroup")) {
                refer(definition, child, schemaAttribute(child, "ref"), "attributeGroup", scope);
            } else if (isXsd(child, "extension") || isXsd(child, "restriction")) {
                refer(definition, child, schemaAttribute(child, "base"), "type", scope);
            } else if (isXsd(child, "list")) {
                refer(definition, child, schemaAttribute(child, "itemType"), "type", scope);
            } else if (isXsd(child, "union")) {
                refer(definition, child, schemaAttribute(child, "memberTypes"), "type", scope);
            }
            open.push_back(child->children);
        }
    }

    // Each QName of a list (one for most attributes), resolved against the
    // namespaces in scope at node; a name without namespace in a file that
    // takes its includer's namespace may mean either.
    void refer(Definition& definition, const xmlNode* node, const std::string& names,
               const char* kind, const FileScope& scope) {
        std::size_t at = 0;
        while ((at = names.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
            const std::size_t end = std::min(names.find_first_of(" \t\r\n", at), names.size());
            const std::string name = names.substr(at, end - at);
            at = end;
            const std::size_t colon = name.find(':');
            const std::string prefix = colon == std::string::npos ? "" : name.substr(0, colon);
            const std::string local = colon == std::string::npos ? name : name.substr(colon + 1);
            const xmlNs* ns = xmlSearchNs(node->doc, const_cast<xmlNode*>(node),
                                          prefix.empty() ? nullptr : xml(prefix.c_str()));
            if (ns == nullptr && !prefix.empty()) {
                continue;
            }
            const std::string uri = ns != nullptr ? text(ns->href) : "";
            definition.references.push_back(keyOf(kind, uri, local));
            if (uri.empty() && scope.chameleon) {
                definition.references.push_back(keyOf(kind, scope.targetNamespace, local));
            }
        }
    }

    // The longest chain and the references followed from each definition
    // (the sum of those followed from the definitions it refers to, plus
    // one for each reference), each definition measured once
    // (depth first, without recursion: chains are long); a reference to a
    // definition whose measuring is under way is a circle and not followed.
    void measureChains() {
        for (Definition& definition : m_definitions) {
            for (const std::string& key : definition.references) {
                if (const auto it = m_index.find(key); it != m_index.end()) {
                    definition.targets.push_back(it->second);
                }
            }
            definition.references.clear();
            definition.references.shrink_to_fit();
        }
        enum : std::uint8_t { unseen, open, done };
        const std::size_t count = m_definitions.size();
        std::vector<std::uint8_t> state(count, unseen);
        std::vector<std::uint64_t> chain(count, 0), reach(count, 0);
        std::vector<std::pair<std::uint32_t, std::size_t>> stack;
        for (std::uint32_t start = 0; start < count; ++start) {
            if (state[start] != unseen) {
                continue;
            }
            state[start] = open;
            stack.emplace_back(start, 0);
            while (!stack.empty()) {
                auto& [at, next] = stack.back();
                const std::vector<std::uint32_t>& targets = m_definitions[at].targets;
                if (next < targets.size()) {
                    const std::uint32_t target = targets[next++];
                    if (state[target] == unseen) {
                        state[target] = open;
                        stack.emplace_back(target, 0);
                    }
                    continue;
                }
                std::uint64_t longest = 0, reached = 0;
                for (const std::uint32_t target : targets) {
                    if (state[target] == done) {
                        longest = std::max(longest, chain[target]);
                        reached = saturatingAdd(reached, saturatingAdd(reach[target], 1));
                    }
                }
                chain[at] = longest + 1;
                reach[at] = reached;
                state[at] = done;
                m_shape.references = saturatingAdd(m_shape.references, reach[at]);
                note(at, chain[at], reach[at]);
                stack.pop_back();
            }
        }
    }

    void note(std::uint32_t at, std::uint64_t chain, std::uint64_t reach) {
        const Definition& definition = m_definitions[at];
        if (chain > m_shape.longestChain) {
            m_shape.longestChain = chain;
            m_shape.chainStart = {definition.kind, definition.name, definition.file};
        }
        if (reach > m_widest) {
            m_widest = reach;
            m_shape.widestStart = {definition.kind, definition.name, definition.file};
        }
    }

    std::string m_mainPath;
    SchemaShapeLimits m_limits;
    std::deque<Pending> m_queue;
    std::set<std::string> m_seen;
    std::unordered_map<std::string, std::uint32_t> m_index;
    std::vector<Definition> m_definitions;
    std::uint64_t m_components = 0;
    std::uint64_t m_widest = 0;
    SchemaShape m_shape;
};

XmlErrorFacts tooComplex(const char* measure, std::uint64_t limit, std::uint64_t figure,
                         const SchemaShape::Where& where) {
    XmlErrorFacts facts = refusal(OwnFacts::schemaTooComplex, measure, std::to_string(limit));
    facts.str3 = std::to_string(figure);
    facts.element = where.name;
    facts.values = {where.kind, where.file};
    return facts;
}

} // namespace

SchemaShape measureSchemaShape(const std::string& path, const std::string& containment,
                               const SchemaShapeLimits& limits) {
    ErrorCollector quiet; // the compilation reports what is wrong with the files
    LoadScope scope(LoadPolicy::schemaFiles, containment);
    ShapeReader reader(path, limits);
    reader.read(fileUri(path));
    return reader.measure();
}

SchemaShape schemaShapeOf(const std::string& path) {
    ensureRuntime();
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).string();
    const std::string folder =
        std::filesystem::weakly_canonical(std::filesystem::path(absolute).parent_path(), error)
            .string();
    SchemaShapeLimits unlimited;
    unlimited.components = std::numeric_limits<std::uint64_t>::max() - 1;
    return measureSchemaShape(absolute, folder, unlimited);
}

std::optional<XmlErrorFacts> schemaShapeRefusal(const SchemaShape& shape,
                                                const SchemaShapeLimits& limits) {
    if (shape.components > limits.components) {
        return tooComplex("components", limits.components, shape.components, {});
    }
    if (shape.longestChain > limits.chain) {
        return tooComplex("chain", limits.chain, shape.longestChain, shape.chainStart);
    }
    if (shape.references > limits.references) {
        return tooComplex("references", limits.references, shape.references, shape.widestStart);
    }
    return std::nullopt;
}

} // namespace morvik::platform
