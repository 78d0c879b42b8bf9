// CP932 for the page's C library. The WebAssembly C library's iconv knows
// Shift_JIS but not CP932 (Windows-31J: the NEC and IBM characters, ～ as
// U+FF5E), which the core asks for by that name (libarchive for entry names,
// libxml2 for Shift_JIS documents, the ZIP directory reader, the source
// lines of the log). The page's link wraps iconv_open, iconv and
// iconv_close (--wrap): converters between CP932 and UTF-8 are served here
// from a table read from the build machine's own C library
// (web/cp932table.py), every other one by the C library as before.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <string>
#include <unordered_map>
#include <unordered_set>

extern "C" {
iconv_t __real_iconv_open(const char* tocode, const char* fromcode);
std::size_t __real_iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out,
                         std::size_t* outLeft);
int __real_iconv_close(iconv_t cd);
}

namespace {

#include "cp932table.inc"

// The charset's name as the C library compares them: letters and digits,
// lower-cased.
std::string folded(const char* name) {
    std::string text;
    for (const char* p = name; *p != '\0'; ++p) {
        const char c = *p;
        if (c >= 'A' && c <= 'Z') {
            text += static_cast<char>(c - 'A' + 'a');
        } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            text += c;
        }
    }
    return text;
}

bool isCp932(const char* name) {
    const std::string text = folded(name);
    return text == "cp932" || text == "windows31j" || text == "ms932";
}

bool isUtf8(const char* name) {
    return folded(name) == "utf8";
}

struct Converter {
    bool toUtf8; // CP932 to UTF-8; else UTF-8 to CP932
};

// The converters handed out here, told from the C library's by address.
std::unordered_set<const void*>& ours() {
    static std::unordered_set<const void*> set;
    return set;
}

std::size_t failed(int error) {
    errno = error;
    return static_cast<std::size_t>(-1);
}

std::size_t decode(char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    while (*inLeft > 0) {
        const auto first = static_cast<unsigned char>((*in)[0]);
        std::uint32_t code = kSingle[first];
        std::size_t used = 1;
        if (kLeadRow[first] >= 0) {
            if (*inLeft < 2) {
                return failed(EINVAL);
            }
            code = kDouble[kLeadRow[first]][static_cast<unsigned char>((*in)[1])];
            used = 2;
        }
        if (code == kNone) {
            return failed(EILSEQ);
        }
        char bytes[3];
        std::size_t length = 0;
        if (code < 0x80) {
            bytes[length++] = static_cast<char>(code);
        } else if (code < 0x800) {
            bytes[length++] = static_cast<char>(0xC0 | (code >> 6));
            bytes[length++] = static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes[length++] = static_cast<char>(0xE0 | (code >> 12));
            bytes[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes[length++] = static_cast<char>(0x80 | (code & 0x3F));
        }
        if (length > *outLeft) {
            return failed(E2BIG);
        }
        std::memcpy(*out, bytes, length);
        *out += length;
        *outLeft -= length;
        *in += used;
        *inLeft -= used;
    }
    return 0;
}

// UTF-8 to CP932: libxml2 opens both directions of an encoding it is told
// about, though the core only ever reads. Where several CP932 codes give one
// character, the first in code order is written.
const std::unordered_map<std::uint32_t, std::uint16_t>& encodings() {
    static const auto map = [] {
        std::unordered_map<std::uint32_t, std::uint16_t> built;
        for (unsigned byte = 0; byte < 256; ++byte) {
            if (kLeadRow[byte] < 0 && kSingle[byte] != kNone) {
                built.emplace(kSingle[byte], static_cast<std::uint16_t>(byte));
            }
            if (kLeadRow[byte] >= 0) {
                for (unsigned trail = 0; trail < 256; ++trail) {
                    const std::uint16_t code = kDouble[kLeadRow[byte]][trail];
                    if (code != kNone) {
                        built.emplace(code, static_cast<std::uint16_t>(byte << 8 | trail));
                    }
                }
            }
        }
        return built;
    }();
    return map;
}

std::size_t encode(char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    while (*inLeft > 0) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(*in);
        const std::size_t length = bytes[0] < 0x80   ? 1
                                   : bytes[0] < 0xC2 ? 0
                                   : bytes[0] < 0xE0 ? 2
                                   : bytes[0] < 0xF0 ? 3
                                   : bytes[0] < 0xF5 ? 4
                                                     : 0;
        if (length == 0) {
            return failed(EILSEQ);
        }
        if (*inLeft < length) {
            return failed(EINVAL);
        }
        std::uint32_t code = length == 1 ? bytes[0] : bytes[0] & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            if ((bytes[i] & 0xC0) != 0x80) {
                return failed(EILSEQ);
            }
            code = code << 6 | (bytes[i] & 0x3F);
        }
        const auto found = encodings().find(code);
        if (found == encodings().end()) {
            return failed(EILSEQ);
        }
        const std::size_t width = found->second > 0xFF ? 2 : 1;
        if (width > *outLeft) {
            return failed(E2BIG);
        }
        if (width == 2) {
            *(*out)++ = static_cast<char>(found->second >> 8);
        }
        *(*out)++ = static_cast<char>(found->second & 0xFF);
        *outLeft -= width;
        *in += length;
        *inLeft -= length;
    }
    return 0;
}

} // namespace

extern "C" {

iconv_t __wrap_iconv_open(const char* tocode, const char* fromcode) {
    const bool toUtf8 = isCp932(fromcode) && isUtf8(tocode);
    if (!toUtf8 && !(isUtf8(fromcode) && isCp932(tocode))) {
        return __real_iconv_open(tocode, fromcode);
    }
    auto* converter = new Converter{toUtf8};
    ours().insert(converter);
    return reinterpret_cast<iconv_t>(converter);
}

std::size_t __wrap_iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out,
                         std::size_t* outLeft) {
    if (ours().count(cd) == 0) {
        return __real_iconv(cd, in, inLeft, out, outLeft);
    }
    // Both directions are stateless: a reset or a flush writes nothing.
    if (in == nullptr || *in == nullptr) {
        return 0;
    }
    return static_cast<Converter*>(static_cast<void*>(cd))->toUtf8
               ? decode(in, inLeft, out, outLeft)
               : encode(in, inLeft, out, outLeft);
}

int __wrap_iconv_close(iconv_t cd) {
    if (ours().erase(cd) == 0) {
        return __real_iconv_close(cd);
    }
    delete static_cast<Converter*>(static_cast<void*>(cd));
    return 0;
}

} // extern "C"
