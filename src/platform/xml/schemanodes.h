// Used only by the XML layer's own files that read schema documents as trees:
// which nodes are XML Schema elements, and their plain attributes.
#pragma once

#include "platform/xml/xmlruntime.h"

#include <libxml/tree.h>

#include <string>

namespace morvik::platform {

inline constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

// An element of the XML Schema namespace.
inline bool isXsd(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
           xmlStrEqual(node->ns->href, xml(kXsdNamespace));
}

// An element of the XML Schema namespace named localName.
inline bool isXsd(const xmlNode* node, const char* localName) {
    return isXsd(node) && xmlStrEqual(node->name, xml(localName));
}

// The value of node's attribute name (in no namespace); empty when absent.
inline std::string schemaAttribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetNoNsProp(node, xml(name));
    if (value == nullptr) {
        return {};
    }
    std::string result = text(value);
    xmlFree(value);
    return result;
}

} // namespace morvik::platform
