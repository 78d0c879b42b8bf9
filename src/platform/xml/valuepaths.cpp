// The path language of ValuePaths and the matcher that runs inside the
// streaming parse.
#include "platform/xml/valuepaths.h"

#include <algorithm>
#include <cstring>

namespace morvik::platform {

namespace {

bool isNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool isName(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isNameChar);
}

struct Step {
    std::string element;
    std::string predicateAttribute;
    std::string predicateValue;
};

// "name" or "name[@attr='value']".
std::optional<Step> parseStep(std::string_view text) {
    Step step;
    const std::size_t bracket = text.find('[');
    if (bracket == std::string_view::npos) {
        if (!isName(text)) {
            return std::nullopt;
        }
        step.element = std::string(text);
        return step;
    }
    step.element = std::string(text.substr(0, bracket));
    std::string_view predicate = text.substr(bracket);
    if (!isName(step.element) || !predicate.starts_with("[@") || !predicate.ends_with("']")) {
        return std::nullopt;
    }
    predicate = predicate.substr(2, predicate.size() - 4);
    const std::size_t equals = predicate.find("='");
    if (equals == std::string_view::npos || !isName(predicate.substr(0, equals))) {
        return std::nullopt;
    }
    step.predicateAttribute = std::string(predicate.substr(0, equals));
    step.predicateValue = std::string(predicate.substr(equals + 2));
    if (step.predicateValue.find('\'') != std::string::npos) {
        return std::nullopt;
    }
    return step;
}

std::string_view valueOf(const unsigned char** attribute) {
    return {reinterpret_cast<const char*>(attribute[3]),
            static_cast<std::size_t>(attribute[4] - attribute[3])};
}

} // namespace

std::optional<std::uint32_t> ValuePaths::add(std::string_view path) {
    const std::string text(path);
    if (auto known = std::find(m_texts.begin(), m_texts.end(), text); known != m_texts.end()) {
        return static_cast<std::uint32_t>(known - m_texts.begin());
    }
    std::vector<Step> steps;
    std::string attribute;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string_view part = path.substr(start, slash - start);
        if (slash == std::string_view::npos) {
            if (!part.starts_with("@") || !isName(part.substr(1))) {
                return std::nullopt;
            }
            attribute = std::string(part.substr(1));
            break;
        }
        std::optional<Step> step = parseStep(part);
        if (!step) {
            return std::nullopt;
        }
        steps.push_back(std::move(*step));
        start = slash + 1;
    }
    std::uint32_t node = 0;
    for (Step& step : steps) {
        std::uint32_t found = 0;
        for (const std::uint32_t child : m_nodes[node].children) {
            const Node& candidate = m_nodes[child];
            if (candidate.element == step.element &&
                candidate.predicateAttribute == step.predicateAttribute &&
                candidate.predicateValue == step.predicateValue) {
                found = child;
                break;
            }
        }
        if (found == 0) {
            found = static_cast<std::uint32_t>(m_nodes.size());
            m_nodes.push_back(Node{std::move(step.element),
                                   std::move(step.predicateAttribute),
                                   std::move(step.predicateValue),
                                   {},
                                   {}});
            m_nodes[node].children.push_back(found);
        }
        node = found;
    }
    const std::uint32_t index = m_count++;
    m_nodes[node].leaves.push_back({std::move(attribute), index});
    m_texts.push_back(text);
    return index;
}

bool ValueMatcher::matches(const ValuePaths::Node& node, const char* localName,
                           const unsigned char** attributes, int count) const {
    if (std::strcmp(node.element.c_str(), localName) != 0) {
        return false;
    }
    if (node.predicateAttribute.empty()) {
        return true;
    }
    for (int i = 0; i < count; ++i) {
        const unsigned char** attribute = attributes + 5 * i;
        if (node.predicateAttribute == reinterpret_cast<const char*>(attribute[0])) {
            return valueOf(attribute) == node.predicateValue;
        }
    }
    return false;
}

void ValueMatcher::collect(const ValuePaths::Node& node, const unsigned char** attributes,
                           int count) {
    for (const ValuePaths::Leaf& leaf : node.leaves) {
        for (int i = 0; i < count; ++i) {
            const unsigned char** attribute = attributes + 5 * i;
            if (leaf.attribute == reinterpret_cast<const char*>(attribute[0])) {
                m_into.values.emplace_back(leaf.path, std::string(valueOf(attribute)));
                break;
            }
        }
    }
}

void ValueMatcher::start(const char* namespaceUri, const char* localName,
                         const unsigned char** attributes, int count) {
    if (m_skipped != 0) {
        ++m_skipped;
        return;
    }
    const std::vector<ValuePaths::Node>& nodes = m_paths.nodes();
    if (!m_seenRoot) {
        m_seenRoot = true;
        m_into.rootNamespace = namespaceUri != nullptr ? namespaceUri : "";
        m_into.rootName = localName;
        collect(nodes[0], attributes, count);
        m_frames.push_back(m_live.size());
        m_live.push_back(0);
        return;
    }
    const std::size_t frame = m_frames.empty() ? 0 : m_frames.back();
    const std::size_t frameEnd = m_live.size();
    for (std::size_t i = frame; i < frameEnd; ++i) {
        for (const std::uint32_t child : nodes[m_live[i]].children) {
            if (matches(nodes[child], localName, attributes, count)) {
                collect(nodes[child], attributes, count);
                m_live.push_back(child);
            }
        }
    }
    if (m_live.size() == frameEnd) {
        ++m_skipped;
        return;
    }
    // The new frame is what was pushed after frameEnd; the parent's frame is
    // no longer needed while this element is open, but stays for its
    // siblings.
    m_frames.push_back(frameEnd);
}

void ValueMatcher::end() {
    if (m_skipped != 0) {
        --m_skipped;
        return;
    }
    if (!m_frames.empty()) {
        m_live.resize(m_frames.back());
        m_frames.pop_back();
    }
}

} // namespace morvik::platform
