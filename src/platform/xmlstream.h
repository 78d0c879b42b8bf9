// Used only by the XML layer's own files: a document streamed from an open
// file through libxml2's parser, either up to its root start tag (to learn
// which element it is) or whole through a schema validator.
#pragma once

#include "platform/xmlparser.h"
#include "platform/xmlruntime.h"
#include "platform/xmlschemacache.h"

#include <cstdint>
#include <optional>
#include <string>

namespace morvik::platform {

struct RootProbe {
    XmlRootElement element;
    std::int32_t column = 0; // of the root start tag's end
};

// The root element of the document open on fd (read from its start), or the
// first error before it in errors. path names the document in messages.
std::optional<RootProbe> probeRoot(int fd, const std::string& path, ErrorCollector& errors);

// Streams the document open on fd (from its start) through a validator of
// schema. The first error, if any, ends up in errors.
void validateStream(int fd, const std::string& path, const CompiledSchema& schema,
                    ErrorCollector& errors);

} // namespace morvik::platform
