// Used only by the XML layer's own files: compiled XSD schemas and the
// process-wide cache that reuses them while none of the files a schema was
// compiled from has changed.
#pragma once

#include "platform/result.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/filestamp.h"
#include "platform/xml/xmlidattributes.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct _xmlSchema;

namespace morvik::platform {

struct SchemaFree {
    void operator()(_xmlSchema* schema) const noexcept;
};
using SchemaHandle = std::unique_ptr<_xmlSchema, SchemaFree>;

// One compiled schema with the files it was compiled from. Shared between
// documents and threads: only answers are added, under its own lock.
class CompiledSchema {
public:
    CompiledSchema(SchemaHandle schema, std::string key, std::vector<FileStamp> files,
                   bool contained = true);

    _xmlSchema* get() const { return m_schema.get(); }
    // The schema file's absolute path.
    const std::string& key() const { return m_key; }
    const std::string& targetNamespace() const { return m_targetNamespace; }

    // Whether every file it was compiled from is as it was then; looked at
    // once per reuse scope while one lives.
    bool unchanged() const;
    // Its files were just read: no need to look at them again in this scope.
    void markUnchanged() const;

    // Whether the schema has a global declaration for the element: a
    // document made of that element alone is validated, and the only error
    // that says "not declared" is the one about the validation root.
    bool declaresGlobalElement(const std::string& namespaceUri, const std::string& localName) const;

    // The values a global simple type of the schema's target namespace
    // allows when it is made of enumerations alone (a union whose members
    // each are, a restriction that takes its base's), in the schema's order
    // without repeats; empty when it is not, or no such type is declared.
    std::vector<std::string> enumeratedValues(const std::string& namespaceUri,
                                              const std::string& localName) const;

    // What its declarations say of its documents' values (IDs, ID
    // references, numbers), read from its files once.
    const ValueDeclarations& valueDeclarations() const;

    // Compiled with its files held to its own folder (it did not come from a
    // folder the user named).
    bool contained() const { return m_contained; }

private:
    bool probeDeclaration(const std::string& namespaceUri, const std::string& localName) const;

    SchemaHandle m_schema;
    std::string m_key;
    std::vector<FileStamp> m_files;
    std::string m_targetNamespace;
    mutable std::mutex m_mutex;
    mutable std::map<std::pair<std::string, std::string>, bool> m_declared;
    mutable std::atomic<std::uint64_t> m_verifiedIn{0};
    bool m_contained = true;
    mutable std::once_flag m_valueDeclarationsRead;
    mutable ValueDeclarations m_valueDeclarations;
};

using SchemaRef = std::shared_ptr<const CompiledSchema>;

// The compiled schema of the XSD file at path (with its includes and
// imports), reused when compiled before from unchanged files; the failure
// says why the schema cannot be used (OwnFacts::schemaUnusable, without the
// path, which the caller names).
Result<SchemaRef, XmlErrorFacts> compiledSchema(const std::string& path);

} // namespace morvik::platform
