// Names kept for the length of one extraction, each copied once and ended
// with a NUL, in blocks that never move: a view of a kept name stays valid
// as long as the store, wherever the store itself is moved. An archive of
// 100,000 entries keeps its names in a few hundred blocks rather than in
// 100,000 strings of their own, each with its allocation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace morvik::platform {

class NameStore {
public:
    // A copy of name; its data() is NUL-terminated.
    std::string_view keep(std::string_view name) {
        const std::size_t need = name.size() + 1;
        if (need > m_left) {
            // What is left of the last block stays unused: at most a name's
            // length in every block.
            const std::size_t size = std::max(kBlockBytes, need);
            m_blocks.push_back(std::unique_ptr<char[]>(new char[size]));
            m_next = m_blocks.back().get();
            m_left = size;
        }
        char* const at = m_next;
        std::memcpy(at, name.data(), name.size());
        at[name.size()] = '\0';
        m_next += need;
        m_left -= need;
        return {at, name.size()};
    }

private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_left = 0;
};

} // namespace morvik::platform
