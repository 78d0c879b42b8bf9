// SHA-256 of a byte string, as 64 lower-case hexadecimal digits.
#pragma once

#include <string>
#include <string_view>

namespace morvik::platform {

std::string sha256Hex(std::string_view bytes);

} // namespace morvik::platform
