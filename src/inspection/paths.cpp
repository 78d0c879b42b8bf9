// Path and file helpers: splitting a path, the closing separator, and the
// existence test of a file.
#include "inspection/paths.h"

#include "platform/text/utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // what it is, then whether this process may read it. Nothing is opened,
    // so a FIFO never makes the test wait for a writer.
    const auto failure = [](int error) -> std::int32_t {
        if (error == ENOENT || error == ENOTDIR) {
            return -2;
        }
        return error != 0 ? error : -3;
    };
    struct stat info {};
    if (::stat(FilePathName.c_str(), &info) != 0) {
        return failure(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        // A folder named like a document is not a document.
        return EISDIR;
    }
    if (!S_ISREG(info.st_mode)) {
        // Devices, FIFOs and sockets are no files to validate.
        return ENODEV;
    }
    if (::faccessat(AT_FDCWD, FilePathName.c_str(), R_OK, AT_EACCESS) != 0) {
        return failure(errno);
    }
    return 0;
}

} // namespace morvik::inspection
