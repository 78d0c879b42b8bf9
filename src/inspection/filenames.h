// File and folder names as the platform the archives come from sees them:
// letter case does not matter there, so "data/" is the DATA folder and
// "SU08_V08.XML" the summary file. Each folder is read once per object; an
// object may be asked from several threads at once.
#pragma once

#include "platform/fs/folderlisting.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace morvik::inspection {

class CaseInsensitiveNames {
public:
    enum class Kind { file, folder };

    // The name under which folder (ending with the separator) holds wanted,
    // a file or a folder as kind says: wanted itself when it is there, else
    // the first name in listing order that differs from it only in letter
    // case; wanted when there is none.
    std::string actual(const std::string& folder, const std::string& wanted, Kind kind);

    // Every sub-folder of folder named wanted in any letter case: the exact
    // name first, then the others in listing order. Empty when there is none.
    std::vector<std::string> folders(const std::string& folder, const std::string& wanted);

private:
    const std::vector<platform::FolderEntry>& entries(const std::string& folder);

    std::mutex m_mutex;
    std::map<std::string, std::vector<platform::FolderEntry>> m_folders;
};

// Two names that differ at most in the letter case of ASCII letters.
bool sameNameIgnoringCase(const std::string& a, const std::string& b);

} // namespace morvik::inspection
