// Folder listing with wildcard patterns: the names of a folder's files (and
// optionally folders) that match a pattern, one at a time, in name order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace morvik::platform {

// files: ordinary files only. filesAndFolders: the same files and the folders.
// Either way hidden entries (names beginning with ".") and system entries
// (anything that is neither a regular file nor a folder: sockets, FIFOs,
// devices, broken links) are left out; a symbolic link counts as what it
// points to. "." and ".." are never listed.
enum class ListingMask { files, filesAndFolders };

class FolderListing {
public:
    using Mask = ListingMask;

    // Opens a listing of wildcardPath, a folder path and a pattern joined at the
    // last '/', and returns its first entry's bare name, or the empty text when
    // nothing matches or the folder is missing or unreadable. Ends the listing
    // opened before. Entries come sorted by name, letters compared without
    // regard to case.
    std::string first(const std::string& wildcardPath, Mask mask);

    // The following entry of the open listing, or the empty text at its end.
    std::string next();

private:
    std::vector<std::string> m_entries;
    std::size_t m_next = 0;
};

// One entry of a folder: its bare name and whether it is a folder (else a
// regular file).
struct FolderEntry {
    std::string name;
    bool folder = false;
};

// The files and folders of folder, hidden and system entries left out as in a
// listing (links count as what they point to), sorted by lessByName; empty
// when the folder is missing or unreadable.
[[nodiscard]] std::vector<FolderEntry> folderEntries(const std::string& folder);

// Wildcard matching by file-name rules: '*' any run of characters, '?' exactly
// one character (not byte), letters compared without regard to case; a ".*"
// that ends the pattern also matches the end of a name without a dot, so
// "*.*" admits every name. '/' is an ordinary character here.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Name order of the listing: compared character by character after upper-casing
// letters, then by bytes so that the order is total.
bool lessByName(std::string_view a, std::string_view b);

} // namespace morvik::platform
