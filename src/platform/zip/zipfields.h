// The small pieces of the ZIP format that the directory reader needs: little-
// endian numbers, CRC-32, entry names in UTF-8 or CP932, and the extra fields
// that change what libarchive makes of an entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvik::platform {

inline constexpr std::uint32_t kUnset32 = 0xFFFFFFFF;

// The little-endian number of width bytes at p.
std::uint64_t littleEndian(const char* p, int width);

// CRC-32 as ZIP uses it.
std::uint32_t crc32Of(std::string_view text);

// CP932 (Windows-31J) to UTF-8; nothing when a byte sequence has no meaning.
std::optional<std::string> fromCp932(std::string_view bytes);

bool isValidUtf8(std::string_view text);

// What an entry's extra fields say, as libarchive's reader takes them.
struct ExtraFields {
    // In: the 32-bit values of the header; out: with ZIP64 values filled in.
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t headerOffset = 0;
    bool zip64 = false;
    // The "xl" field may name another system and external attributes.
    unsigned system = 0;
    std::uint32_t mode = 0;
    // Info-ZIP Unicode path fields: the CRC of the name they replace, and the name.
    std::vector<std::pair<std::uint32_t, std::string>> unicodePaths;
};

// The file mode that external attributes give on the system that made the entry.
std::uint32_t modeFrom(unsigned system, std::uint32_t externalAttributes);

// Walks the extra fields at p; false when they run past their area or a field
// that libarchive refuses is malformed.
bool readExtraFields(const char* p, std::size_t length, ExtraFields& fields);

} // namespace morvik::platform
