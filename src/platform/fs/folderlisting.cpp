// Folder listing with wildcard patterns. The names of the folder are read at
// once, filtered by pattern and type, and handed out in name order: raw
// directory order is arbitrary here, while the callers rely on the listing's
// first "*.xsd" name being the same every time for the same folder.
#include "platform/fs/folderlisting.h"

#include "platform/text/utf8.h"

#include <algorithm>
#include <type_traits>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace morvik::platform {

namespace {

struct DirClose {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirClose>;

// Upper case for the letters that file names of this domain use: ASCII, the
// Latin-1 letters and the full-width Latin letters of Japanese text.
char32_t foldCase(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return c - 0x20;
    }
    if (c >= 0xFF41 && c <= 0xFF5A) {
        return c - 0x20;
    }
    return c;
}

} // namespace

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The matching on code points (decoded UTF-8) or, for ASCII text, on its
// bytes, which are its code points.
template <class Text> bool matches(const Text& pattern, const Text& name) {
    const auto code = [](auto c) {
        return static_cast<char32_t>(
            static_cast<std::make_unsigned_t<std::remove_cvref_t<decltype(c)>>>(c));
    };
    const std::size_t p = pattern.size();
    const std::size_t n = name.size();
    // starsFrom[i]: pattern[i..] holds nothing but '*'.
    std::vector<char> starsFrom(p + 1, 1);
    for (std::size_t i = p; i-- > 0;) {
        starsFrom[i] = static_cast<char>(code(pattern[i]) == U'*' && starsFrom[i + 1]);
    }
    // matches[i * (n + 1) + j]: pattern[i..] matches name[j..]. Built from the
    // end, so no pattern can make the matching take more than p * n steps.
    std::vector<char> matches((p + 1) * (n + 1), 0);
    const auto at = [n](std::size_t i, std::size_t j) { return i * (n + 1) + j; };
    matches[at(p, n)] = 1;
    for (std::size_t i = p; i-- > 0;) {
        const char32_t c = code(pattern[i]);
        for (std::size_t j = n + 1; j-- > 0;) {
            bool match = false;
            if (c == U'*') {
                match = matches[at(i + 1, j)] || (j < n && matches[at(i, j + 1)]);
            } else if (j < n && (c == U'?' || foldCase(c) == foldCase(code(name[j])))) {
                match = matches[at(i + 1, j + 1)];
            } else if (c == U'.' && j == n && i + 1 < p && starsFrom[i + 1]) {
                // A closing ".*" also matches a name that has no dot there.
                match = true;
            }
            matches[at(i, j)] = static_cast<char>(match);
        }
    }
    return matches[at(0, 0)] != 0;
}

template <class Text> int compareFolded(const Text& left, const Text& right) {
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char32_t x = foldCase(static_cast<char32_t>(
            static_cast<std::make_unsigned_t<typename Text::value_type>>(left[i])));
        const char32_t y = foldCase(static_cast<char32_t>(
            static_cast<std::make_unsigned_t<typename Text::value_type>>(right[i])));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return left.size() == right.size() ? 0 : left.size() < right.size() ? -1 : 1;
}

} // namespace

bool wildcardMatch(std::string_view patternText, std::string_view nameText) {
    // Names of this domain are ASCII nearly always: matched without decoding.
    if (isAscii(patternText) && isAscii(nameText)) {
        return matches(patternText, nameText);
    }
    return matches(decodeUtf8(patternText), decodeUtf8(nameText));
}

bool lessByName(std::string_view a, std::string_view b) {
    const int order = isAscii(a) && isAscii(b) ? compareFolded(a, b)
                                               : compareFolded(decodeUtf8(a), decodeUtf8(b));
    return order != 0 ? order < 0 : a < b;
}

std::vector<FolderEntry> folderEntries(const std::string& folder) {
    std::vector<FolderEntry> entries;
    const DirHandle dir(::opendir(folder.c_str()));
    if (!dir) {
        return entries;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        // Covers "." and "..", which are never listed, and the hidden names.
        if (name.empty() || name.front() == '.') {
            continue;
        }
        bool regular = entry->d_type == DT_REG;
        bool isFolder = entry->d_type == DT_DIR;
        if (!regular && !isFolder) {
            // A link, or a file system that does not say: stat follows a link
            // to what it points to; a broken link fails here and is left out
            // like any other system entry.
            struct stat info {};
            if (::fstatat(::dirfd(dir.get()), name.c_str(), &info, 0) != 0) {
                continue;
            }
            regular = S_ISREG(info.st_mode);
            isFolder = S_ISDIR(info.st_mode);
        }
        if (regular || isFolder) {
            entries.push_back({name, isFolder});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return lessByName(a.name, b.name);
    });
    return entries;
}

std::string FolderListing::first(const std::string& wildcardPath, Mask mask) {
    m_entries.clear();
    m_next = 0;
    const std::size_t split = wildcardPath.rfind('/');
    const std::string folder =
        split == std::string::npos ? std::string(".") : wildcardPath.substr(0, split + 1);
    const std::string pattern =
        split == std::string::npos ? wildcardPath : wildcardPath.substr(split + 1);
    if (pattern.empty()) {
        return {};
    }
    for (FolderEntry& entry : folderEntries(folder)) {
        if ((!entry.folder || mask == Mask::filesAndFolders) &&
            wildcardMatch(pattern, entry.name)) {
            m_entries.push_back(std::move(entry.name));
        }
    }
    return next();
}

std::string FolderListing::next() {
    if (m_next >= m_entries.size()) {
        return {};
    }
    return m_entries[m_next++];
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace morvik::platform
