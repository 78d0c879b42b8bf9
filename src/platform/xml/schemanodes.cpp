// Schema documents read as trees.
#include "platform/xml/schemanodes.h"

#include "platform/xml/xmlruntime.h"

#include <libxml/tree.h>

namespace morvik::platform {

bool isXsd(const xmlNode* node) {
    return node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
           xmlStrEqual(node->ns->href, xml(kXsdNamespace));
}

bool isXsd(const xmlNode* node, const char* localName) {
    return isXsd(node) && xmlStrEqual(node->name, xml(localName));
}

std::string schemaAttribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetNoNsProp(node, xml(name));
    if (value == nullptr) {
        return {};
    }
    std::string result = text(value);
    xmlFree(value);
    return result;
}

} // namespace morvik::platform
