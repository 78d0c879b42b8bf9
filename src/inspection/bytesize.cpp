// Sizes with an optional unit letter.
#include "inspection/bytesize.h"

#include <charconv>
#include <limits>

namespace morvik::inspection {

std::optional<std::uint64_t> parseByteSize(std::string_view text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || rest == text.data() || value == 0) {
        return std::nullopt;
    }
    static constexpr std::string_view kUnits = "KMGT";
    int shift = 0;
    if (rest != end) {
        char unit = *rest;
        if (unit >= 'a' && unit <= 'z') {
            unit = static_cast<char>(unit - 'a' + 'A');
        }
        const std::size_t at = kUnits.find(unit);
        if (at == std::string_view::npos || rest + 1 != end) {
            return std::nullopt;
        }
        shift = 10 * static_cast<int>(at + 1);
    }
    if (shift > 0 && value > (std::numeric_limits<std::uint64_t>::max() >> shift)) {
        return std::nullopt;
    }
    return value << shift;
}

} // namespace morvik::inspection

namespace morvik::inspection {

std::optional<std::uint32_t> parseSeconds(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || rest != end || value == 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace morvik::inspection
