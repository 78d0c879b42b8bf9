// ZIP header fields: numbers, CRC-32, names and extra fields.
#include "platform/zip/zipfields.h"

#include "platform/text/utf8.h"

#include <algorithm>
#include <array>
#include <climits>
#include <iconv.h>
#include <memory>
#include <sys/stat.h>

namespace morvik::platform {

std::uint64_t littleEndian(const char* p, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(p[i]);
    }
    return value;
}

std::uint32_t crc32Of(std::string_view text) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : text) {
        crc = table[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

// CP932 (Windows-31J) to UTF-8; nothing when a byte sequence has no meaning.
std::optional<std::string> fromCp932(std::string_view bytes) {
    // ASCII reads the same in CP932, backslash and tilde included: most names
    // need no converter.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(bytes);
    }
    struct IconvClose {
        void operator()(void* cd) const noexcept {
            if (cd != reinterpret_cast<void*>(-1)) {
                ::iconv_close(static_cast<iconv_t>(cd));
            }
        }
    };
    // One converter per thread, opened on first use.
    thread_local const std::unique_ptr<void, IconvClose> converter(::iconv_open("UTF-8", "CP932"));
    const auto cd = static_cast<iconv_t>(converter.get());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    std::string in(bytes);
    std::string out(bytes.size() * 3 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

std::uint32_t modeFrom(unsigned system, std::uint32_t externalAttributes) {
    if (system == 3) {
        return externalAttributes >> 16;
    }
    if (system == 0) {
        return (externalAttributes & 0x10) != 0 ? S_IFDIR : S_IFREG;
    }
    return 0;
}

// Walks the fields; false when they run past their area or a field that
// libarchive refuses is malformed.
bool readExtraFields(const char* p, std::size_t length, ExtraFields& fields) {
    if (length < 4) {
        // Some writers pad with up to three zero bytes.
        return std::all_of(p, p + length, [](char c) { return c == 0; });
    }
    std::size_t offset = 0;
    while (offset + 4 <= length) {
        const auto id = static_cast<std::uint16_t>(littleEndian(p + offset, 2));
        const std::size_t fieldSize = littleEndian(p + offset + 2, 2);
        std::size_t size = fieldSize;
        offset += 4;
        if (offset + size > length) {
            return false;
        }
        const char* data = p + offset;
        switch (id) {
        case 0x0001: { // ZIP64 sizes and offset, each only when the header holds 0xFFFFFFFF
            fields.zip64 = true;
            for (std::uint64_t* value :
                 {&fields.size, &fields.compressedSize, &fields.headerOffset}) {
                if (*value != kUnset32) {
                    continue;
                }
                if (size < 8 || littleEndian(data, 8) > static_cast<std::uint64_t>(INT64_MAX)) {
                    return false;
                }
                *value = littleEndian(data, 8);
                data += 8;
                size -= 8;
            }
            break;
        }
        case 0x5455: // extended time: libarchive refuses an empty one
        case 0x9901: // AES: libarchive refuses a short one
            if (size < (id == 0x5455 ? 1u : 6u)) {
                return false;
            }
            break;
        case 0x6c78: { // "xl": version made by and external attributes
            if (size < 1) {
                break;
            }
            const unsigned bitmap = static_cast<unsigned char>(data[0]);
            unsigned last = bitmap;
            std::size_t at = 1;
            while ((last & 0x80) != 0 && at < size) {
                last = static_cast<unsigned char>(data[at++]);
            }
            if ((bitmap & 1) != 0) {
                if (size - at < 2) {
                    break;
                }
                fields.system = static_cast<unsigned>(littleEndian(data + at, 2) >> 8);
                at += 2;
            }
            if ((bitmap & 2) != 0) {
                if (size - at < 2) {
                    break;
                }
                at += 2;
            }
            if ((bitmap & 4) != 0 && size - at >= 4) {
                fields.mode =
                    modeFrom(fields.system, static_cast<std::uint32_t>(littleEndian(data + at, 4)));
            }
            break;
        }
        case 0x7075: // Info-ZIP Unicode path: version, CRC of the plain name, UTF-8 name
            if (size >= 5) {
                fields.unicodePaths.emplace_back(
                    static_cast<std::uint32_t>(littleEndian(data + 1, 4)),
                    std::string(data + 5, size - 5));
            }
            break;
        default:
            break;
        }
        offset += fieldSize;
    }
    return true;
}

} // namespace morvik::platform
