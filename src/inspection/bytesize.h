// Sizes as people write them: 8G, 500M, 64K or a plain number of bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace morvik::inspection {

// The bytes a size stands for (K, M, G and T are powers of 1024, in either
// letter case); nothing when it is not a size or is 0.
[[nodiscard]] std::optional<std::uint64_t> parseByteSize(std::string_view text);

} // namespace morvik::inspection
