// Compiled schemas and their reuse: a schema is compiled once (with the
// entity loader serving its own files) and kept, keyed by its absolute path,
// while the stamps of all files it was compiled from stay the same.
#include "platform/xml/xmlschemacache.h"

#include "platform/xml/xmlbudget.h"
#include "platform/xml/xmlparser.h"
#include "platform/xml/xmlruntime.h"
#include "platform/xml/xmlschemashape.h"
#include "platform/xml/xmltext.h"

#include <libxml/hash.h>
#include <libxml/schemasInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <optional>
#include <set>

namespace morvik::platform {

namespace {

using SchemaParserHandle = Handle<xmlSchemaParserCtxt, xmlSchemaFreeParserCtxt>;
using ValidatorHandle = Handle<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt>;
using DocHandle = Handle<xmlDoc, xmlFreeDoc>;

std::atomic<std::uint64_t> g_compilations{0};

// Reuse scopes alive, and the number of the latest one (0: none yet).
std::atomic<int> g_reuseScopes{0};
std::atomic<std::uint64_t> g_reuseScope{0};

std::string describe(const ErrorInfo& error) {
    std::string where;
    if (!error.file.empty()) {
        where = error.file + (error.line > 0 ? ":" + std::to_string(error.line) : "") + ": ";
    }
    return pathsForUris(where + oneLineUtf8(error.reason()));
}

// The folders the user named (canonical), while their UserSchemaFolder lives.
std::mutex g_userFoldersMutex;
std::multiset<std::string> g_userFolders;

bool anyUserFolder() {
    std::lock_guard lock(g_userFoldersMutex);
    return !g_userFolders.empty();
}

// Whether folder (canonical) is a folder the user named or lies below one.
bool namedByUser(const std::string& folder) {
    std::lock_guard lock(g_userFoldersMutex);
    return std::any_of(g_userFolders.begin(), g_userFolders.end(), [&](const std::string& named) {
        return folder == named ||
               (folder.size() > named.size() && folder.compare(0, named.size(), named) == 0 &&
                (named.ends_with('/') || folder[named.size()] == '/'));
    });
}

// The folder whose files a schema at path may use; empty for any local file.
std::string containmentFolder(const std::string& path) {
    // The schema folder is the main schema's own folder, as the disk has it.
    std::error_code error;
    const std::string folder =
        std::filesystem::weakly_canonical(std::filesystem::path(path).parent_path(), error)
            .string();
    if (error) {
        return "/nonexistent";
    }
    return namedByUser(folder) ? std::string() : folder;
}

Result<SchemaRef, XmlErrorFacts> compileFresh(const std::string& path) {
    ensureRuntime();
    ++g_compilations;
    ErrorCollector errors;
    const std::string containment = containmentFolder(path);
    LoadScope scope(LoadPolicy::schemaFiles, containment);
    SchemaHandle schema;
    std::optional<XmlErrorFacts> overBudget;
    {
        BudgetScope budget(BudgetKind::schema);
        // A set whose chains of references would keep the compiler busy
        // past any budget is refused before it starts.
        const SchemaShapeLimits limits = schemaShapeLimits(xmlBudget());
        const SchemaShape shape = measureSchemaShape(path, containment, limits);
        if (std::optional<XmlErrorFacts> tooComplex = schemaShapeRefusal(shape, limits)) {
            XmlErrorFacts failure = refusal(OwnFacts::schemaUnusable, path);
            failure.causes.push_back(std::move(*tooComplex));
            return failure;
        }
        if (!budget.ranOut()) {
            SchemaParserHandle parser(xmlSchemaNewParserCtxt(fileUri(path).c_str()));
            if (!parser) {
                XmlErrorFacts failure = refusal(OwnFacts::schemaUnusable);
                failure.causes.push_back(refusal(OwnFacts::schemaParserNotCreated));
                return failure;
            }
            schema.reset(xmlSchemaParse(parser.get()));
        }
        if (budget.spent()) {
            // What an allocation refused by the budget left may be a part of
            // a schema, and one that took too long is refused as well: none
            // of it is used.
            const bool memory = budget.ranOut() && budget.error().facts.str1 == kBudgetMemory;
            schema.reset();
            overBudget = budget.error().facts;
            if (memory) {
                // Everything of the compilation is freed now, but what
                // libxml2 lost when its lists could not grow.
                budget.releaseLostBlocks();
            }
        }
    }
    if (overBudget) {
        XmlErrorFacts failure = refusal(OwnFacts::schemaUnusable, path);
        overBudget->int1 = 1; // the cause of a compilation, not of a document
        failure.causes.push_back(std::move(*overBudget));
        return failure;
    }
    if (!schema) {
        // What our loader refused says most; libxml2's report follows.
        XmlErrorFacts failure = refusal(OwnFacts::schemaUnusable);
        if (scope.refusedAny()) {
            failure.causes.push_back(scope.refusal());
            pathsForUris(failure.causes.back());
        }
        if (errors.hasError()) {
            failure.str2 = describe(errors.first());
        }
        return failure;
    }
    return SchemaRef(std::make_shared<const CompiledSchema>(std::move(schema), path, scope.files(),
                                                            !containment.empty()));
}

bool schemaReuseSwitchedOff() {
    const char* value = std::getenv(kNoSchemaCacheVariable);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// The compiled schemas kept for reuse, most recently used first.
class SchemaCache {
public:
    Result<SchemaRef, XmlErrorFacts> get(const std::string& path) {
        std::error_code ignored;
        std::string key = std::filesystem::absolute(path, ignored).string();
        if (key.empty()) {
            key = path;
        }
        if (schemaReuseSwitchedOff()) {
            return compileFresh(key);
        }
        // A schema compiled for a folder the user named may use files the
        // same schema may not use when it came out of an archive.
        const bool contained = !anyUserFolder() || !containmentFolder(key).empty();
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if ((*it)->key() != key || (*it)->contained() != contained) {
                continue;
            }
            if ((*it)->unchanged()) {
                m_entries.splice(m_entries.begin(), m_entries, it);
                return m_entries.front();
            }
            m_entries.erase(it);
            break;
        }
        Result<SchemaRef, XmlErrorFacts> result = compileFresh(key);
        if (result) {
            (*result)->markUnchanged();
            m_entries.push_front(*result);
            if (m_entries.size() > kSchemaCacheCapacity) {
                m_entries.pop_back();
            }
        }
        return result;
    }

private:
    std::mutex m_mutex;
    std::list<SchemaRef> m_entries;
};

SchemaCache& schemaCache() {
    static SchemaCache cache;
    return cache;
}

} // namespace

void SchemaFree::operator()(_xmlSchema* schema) const noexcept {
    xmlSchemaFree(schema);
}

CompiledSchema::CompiledSchema(SchemaHandle schema, std::string key, std::vector<FileStamp> files,
                               bool contained)
    : m_schema(std::move(schema)), m_key(std::move(key)), m_files(std::move(files)),
      m_contained(contained) {
    if (m_schema->targetNamespace != nullptr) {
        m_targetNamespace = text(m_schema->targetNamespace);
    }
}

bool CompiledSchema::unchanged() const {
    const std::uint64_t scope = g_reuseScopes.load() > 0 ? g_reuseScope.load() : 0;
    if (scope != 0 && m_verifiedIn.load() == scope) {
        return true;
    }
    for (const FileStamp& file : m_files) {
        if (stampOf(file.path) != file) {
            return false;
        }
    }
    m_verifiedIn.store(scope);
    return true;
}

void CompiledSchema::markUnchanged() const {
    m_verifiedIn.store(g_reuseScopes.load() > 0 ? g_reuseScope.load() : 0);
}

SchemaReuseScope::SchemaReuseScope() {
    ++g_reuseScope;
    ++g_reuseScopes;
}

SchemaReuseScope::~SchemaReuseScope() {
    --g_reuseScopes;
}

bool CompiledSchema::declaresGlobalElement(const std::string& namespaceUri,
                                           const std::string& localName) const {
    const auto name = std::make_pair(namespaceUri, localName);
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_declared.find(name); it != m_declared.end()) {
            return it->second;
        }
    }
    const bool declared = probeDeclaration(namespaceUri, localName);
    std::lock_guard lock(m_mutex);
    m_declared.emplace(name, declared);
    return declared;
}

namespace {

// Appends the enumerations of a simple type; false when some part of it
// allows values no enumeration lists.
bool collectEnumerations(const xmlSchemaType* type, std::vector<std::string>& values,
                         std::set<std::string>& listed, std::set<const xmlSchemaType*>& seen,
                         int depth) {
    constexpr int kDeepest = 64;
    if (type == nullptr || depth > kDeepest) {
        return false;
    }
    if (!seen.insert(type).second) {
        return true;
    }
    if ((type->flags & XML_SCHEMAS_TYPE_VARIETY_UNION) != 0) {
        for (const xmlSchemaTypeLink* member = type->memberTypes; member != nullptr;
             member = member->next) {
            if (!collectEnumerations(member->type, values, listed, seen, depth + 1)) {
                return false;
            }
        }
        return type->memberTypes != nullptr;
    }
    bool enumerated = false;
    for (const xmlSchemaFacet* facet = type->facets; facet != nullptr; facet = facet->next) {
        if (facet->type == XML_SCHEMA_FACET_ENUMERATION && facet->value != nullptr) {
            enumerated = true;
            std::string value(reinterpret_cast<const char*>(facet->value));
            if (listed.insert(value).second) {
                values.push_back(std::move(value));
            }
        }
    }
    if (enumerated) {
        return true;
    }
    return type->type == XML_SCHEMA_TYPE_SIMPLE && type->baseType != nullptr &&
           type->baseType->type != XML_SCHEMA_TYPE_BASIC &&
           collectEnumerations(type->baseType, values, listed, seen, depth + 1);
}

} // namespace

std::vector<std::string> CompiledSchema::enumeratedValues(const std::string& namespaceUri,
                                                          const std::string& localName) const {
    const xmlSchema* schema = m_schema.get();
    if (schema == nullptr || schema->typeDecl == nullptr || namespaceUri != m_targetNamespace) {
        return {};
    }
    const auto* type =
        static_cast<const xmlSchemaType*>(xmlHashLookup(schema->typeDecl, xml(localName.c_str())));
    std::vector<std::string> values;
    std::set<std::string> listed;
    std::set<const xmlSchemaType*> seen;
    if (type == nullptr || !collectEnumerations(type, values, listed, seen, 0)) {
        return {};
    }
    return values;
}

bool CompiledSchema::probeDeclaration(const std::string& namespaceUri,
                                      const std::string& localName) const {
    DocHandle doc(xmlNewDoc(xml("1.0")));
    if (!doc) {
        return false;
    }
    xmlNodePtr root = xmlNewDocNode(doc.get(), nullptr, xml(localName.c_str()), nullptr);
    if (root == nullptr) {
        return false;
    }
    xmlDocSetRootElement(doc.get(), root);
    if (!namespaceUri.empty()) {
        xmlSetNs(root, xmlNewNs(root, xml(namespaceUri.c_str()), nullptr));
    }
    ValidatorHandle validator(xmlSchemaNewValidCtxt(m_schema.get()));
    if (!validator) {
        return false;
    }
    ErrorCollector errors;
    LoadScope scope(LoadPolicy::nothing);
    const int rc = xmlSchemaValidateDoc(validator.get(), doc.get());
    const bool undeclared = rc == XML_SCHEMAV_CVC_ELT_1 ||
                            (errors.hasError() && errors.first().code() == XML_SCHEMAV_CVC_ELT_1);
    return rc >= 0 && !undeclared;
}

const ValueDeclarations& CompiledSchema::valueDeclarations() const {
    std::call_once(m_valueDeclarationsRead, [this] {
        std::vector<std::string> paths;
        for (const FileStamp& file : m_files) {
            if (file.exists) {
                paths.push_back(file.path);
            }
        }
        m_valueDeclarations = ValueDeclarations::fromSchemaFiles(paths);
    });
    return m_valueDeclarations;
}

UserSchemaFolder::UserSchemaFolder(const std::string& folder) {
    std::error_code error;
    m_folder = std::filesystem::weakly_canonical(std::filesystem::path(folder), error).string();
    while (m_folder.size() > 1 && m_folder.ends_with('/')) {
        m_folder.pop_back();
    }
    if (error || m_folder.empty()) {
        m_folder.clear();
        return;
    }
    std::lock_guard lock(g_userFoldersMutex);
    g_userFolders.insert(m_folder);
}

UserSchemaFolder::~UserSchemaFolder() {
    if (m_folder.empty()) {
        return;
    }
    std::lock_guard lock(g_userFoldersMutex);
    const auto it = g_userFolders.find(m_folder);
    if (it != g_userFolders.end()) {
        g_userFolders.erase(it);
    }
}

Result<SchemaRef, XmlErrorFacts> compiledSchema(const std::string& path) {
    return schemaCache().get(path);
}

bool schemaDeclaresGlobalElement(const std::string& schemaPath, const std::string& namespaceUri,
                                 const std::string& localName) {
    const Result<SchemaRef, XmlErrorFacts> schema = compiledSchema(schemaPath);
    return schema && (*schema)->declaresGlobalElement(namespaceUri, localName);
}

std::uint64_t schemaCompilations() {
    return g_compilations.load();
}

} // namespace morvik::platform
