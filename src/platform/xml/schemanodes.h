// Used only by the XML layer's own files that read schema documents as trees:
// which nodes are XML Schema elements, and their plain attributes.
#pragma once

#include <string>

struct _xmlNode;

namespace morvik::platform {

inline constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

// An element of the XML Schema namespace.
bool isXsd(const _xmlNode* node);

// An element of the XML Schema namespace named localName.
bool isXsd(const _xmlNode* node, const char* localName);

// The value of node's attribute name (in no namespace); empty when absent.
std::string schemaAttribute(const _xmlNode* node, const char* name);

} // namespace morvik::platform
