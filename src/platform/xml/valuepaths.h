// Values a document is asked for while it streams through its validation,
// named by small paths over element and attribute names, and what one
// document gave. No second parse: the XML layer's streaming reader matches
// each start tag against the paths as it goes.
//
// A path starts below the root element and ends in an attribute:
//   settlement/unitAmount/@value
//   recordTarget/patientRole/id[@root='1.2.392.200119.6.101']/@extension
//   @schemaLocation                          (an attribute of the root)
// Steps are element local names; a step may carry one predicate on an
// attribute's value ([@name='value']). Namespaces are not part of a path:
// the root's namespace is a value of its own. Every match is kept, in
// document order, so a repeated element gives every value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::platform {

class ValuePaths {
public:
    // The index of the path (the same text gives the same index), or
    // nullopt when the text is not a path of the language above.
    std::optional<std::uint32_t> add(std::string_view path);
    std::uint32_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }

    // The matcher's tree: node 0 stands for the root element.
    struct Leaf {
        std::string attribute;
        std::uint32_t path = 0;
    };
    struct Node {
        std::string element; // empty for the root node
        std::string predicateAttribute;
        std::string predicateValue;
        std::vector<std::uint32_t> children;
        std::vector<Leaf> leaves;
    };
    const std::vector<Node>& nodes() const { return m_nodes; }

private:
    std::vector<Node> m_nodes{Node{}};
    std::vector<std::string> m_texts;
    std::uint32_t m_count = 0;
};

// What one document gave.
struct CollectedValues {
    std::string rootNamespace; // empty when the root is in no namespace
    std::string rootName;      // empty when no root element was read
    // (path index, value), in document order.
    std::vector<std::pair<std::uint32_t, std::string>> values;
    // The document was read to its end without a well-formedness error: the
    // values are all it holds. False also when it could not be opened.
    bool complete = false;
};

// Matches start tags against the paths while a document streams. Cheap when
// nothing matches: an element no path continues into is skipped with its
// whole subtree by a depth count.
class ValueMatcher {
public:
    ValueMatcher(const ValuePaths& paths, CollectedValues& into) : m_paths(paths), m_into(into) {}

    // attributes: count groups of five pointers as the streaming parser hands
    // them over (local name, prefix, namespace, value start, value end).
    void start(const char* namespaceUri, const char* localName, const unsigned char** attributes,
               int count);
    void end();

private:
    bool matches(const ValuePaths::Node& node, const char* localName,
                 const unsigned char** attributes, int count) const;
    void collect(const ValuePaths::Node& node, const unsigned char** attributes, int count);

    const ValuePaths& m_paths;
    CollectedValues& m_into;
    bool m_seenRoot = false;
    std::uint32_t m_skipped = 0; // depth inside an element no path continues into
    // The live nodes of each open element, frame after frame.
    std::vector<std::uint32_t> m_live;
    std::vector<std::size_t> m_frames;
};

} // namespace morvik::platform
