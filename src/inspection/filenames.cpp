// Names looked up without regard to letter case, from each folder's entries
// read once.
#include "inspection/filenames.h"

#include "platform/text/utf8.h"

namespace morvik::inspection {

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && platform::upperAscii(a) == platform::upperAscii(b);
}

const std::vector<platform::FolderEntry>& CaseInsensitiveNames::entries(const std::string& folder) {
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        it = m_folders.emplace(folder, platform::folderEntries(folder)).first;
    }
    return it->second;
}

std::string CaseInsensitiveNames::actual(const std::string& folder, const std::string& wanted,
                                         Kind kind) {
    std::lock_guard lock(m_mutex);
    const std::string* firstOther = nullptr;
    for (const platform::FolderEntry& entry : entries(folder)) {
        if (entry.folder != (kind == Kind::folder) || !sameNameIgnoringCase(entry.name, wanted)) {
            continue;
        }
        if (entry.name == wanted) {
            return wanted;
        }
        if (firstOther == nullptr) {
            firstOther = &entry.name;
        }
    }
    return firstOther != nullptr ? *firstOther : wanted;
}

std::vector<std::string> CaseInsensitiveNames::folders(const std::string& folder,
                                                       const std::string& wanted) {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> found;
    for (const platform::FolderEntry& entry : entries(folder)) {
        if (entry.folder && sameNameIgnoringCase(entry.name, wanted)) {
            if (entry.name == wanted) {
                found.insert(found.begin(), entry.name);
            } else {
                found.push_back(entry.name);
            }
        }
    }
    return found;
}

} // namespace morvik::inspection
