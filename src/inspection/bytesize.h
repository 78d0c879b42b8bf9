// Sizes as people write them: 8G, 500M, 64K or a plain number of bytes;
// and limits in whole seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace morvik::inspection {

// The bytes a size stands for (K, M, G and T are powers of 1024, in either
// letter case); nothing when it is not a size or is 0.
[[nodiscard]] std::optional<std::uint64_t> parseByteSize(std::string_view text);

// A whole number of seconds, at least 1; nothing otherwise.
[[nodiscard]] std::optional<std::uint32_t> parseSeconds(std::string_view text);

} // namespace morvik::inspection
