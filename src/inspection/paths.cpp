// Path and file helpers: splitting a path, the closing separator, and the
// existence test of a file.
#include "inspection/paths.h"

#include "platform/fs/fileaccess.h"
#include "platform/text/utf8.h"

#include <cerrno>

namespace morvik::inspection {

bool isBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

std::string printable(std::string_view text) {
    return platform::printableText(text);
}

std::string GetDirectoryMemberSplit(const std::string& FileName, std::string& MakeDir,
                                    std::string& MakeFile, char separator) {
    MakeDir.clear();
    MakeFile.clear();
    const std::size_t length = FileName.size();
    // i: characters passed from the end (the name part's length once the scan
    // stops); d: distance of the extension dot from the end, dot included.
    // The last character of the name is never tested for a dot, so "b." keeps
    // its dot and "a.b." is cut at the earlier one.
    std::size_t i = 0;
    std::size_t d = 0;
    while (i < length && FileName[length - 1 - i] != separator) {
        ++i;
        if (d == 0 && i < length && FileName[length - 1 - i] == '.') {
            d = i + 1;
        }
    }
    MakeFile = FileName.substr(length - i);
    MakeDir = MakeFile.substr(0, i - d);
    return FileName.substr(0, length - i);
}

std::string Getpbsl(const std::string& FileName, char separator) {
    if (!FileName.empty() && FileName.back() == separator) {
        return {};
    }
    return std::string(1, separator);
}

std::int32_t FileChk(const std::string& FilePathName) {
    if (isBlank(FilePathName)) {
        return -1;
    }
    // Whether the file could be opened for reading, told without opening it:
    // what it is, then whether this process may read it.
    const platform::FileAccessCheck check = platform::checkFileAccess(FilePathName);
    switch (check.access) {
    case platform::FileAccess::readable:
        return 0;
    case platform::FileAccess::missing:
        return -2;
    case platform::FileAccess::folder:
        // A folder named like a document is not a document.
        return EISDIR;
    case platform::FileAccess::notRegular:
        // Devices, FIFOs and sockets are no files to validate.
        return ENODEV;
    case platform::FileAccess::notPermitted:
        break;
    }
    return check.errorNumber != 0 ? check.errorNumber : -3;
}

} // namespace morvik::inspection
