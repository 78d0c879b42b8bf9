// Writes small ZIP archives for tests, with libarchive: files, folders and
// symbolic links, names as UTF-8 or as raw bytes without the UTF-8 flag (the
// CP932 names of Japanese Windows zip tools, backslash separators), and the
// damaged or unusual entries an archive from outside parties may hold
// (devices, sockets, unsupported methods, sizes that lie, encryption).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morvik::test {

// Devices and sockets are empty entries with that type in their Unix mode. (A
// FIFO is not offered: libarchive reads one back as a regular file.)
enum class ZipEntryKind { file, folder, symlink, characterDevice, blockDevice, socket };

// utf8: the name is UTF-8 text; non-ASCII names carry the UTF-8 flag.
// raw: the name's bytes go into the archive as they are, without the flag.
enum class ZipNameBytes { utf8, raw };

enum class ZipMethod { deflate, store };

struct ZipEntry {
    // A folder's name may end with "/" or not; the archive gets the "/" either way
    // (raw names are written exactly as given).
    std::string name;
    // The file's data, or the target of a symbolic link.
    std::string content;
    ZipEntryKind kind = ZipEntryKind::file;
    ZipNameBytes nameBytes = ZipNameBytes::utf8;
    ZipMethod method = ZipMethod::deflate;
    // Written over the compression method in both headers after the archive is
    // complete, e.g. 9 (Deflate64) or 97 for a method readers do not know.
    std::optional<std::uint16_t> methodCode;
    // Written over the declared uncompressed size everywhere it is stored.
    std::optional<std::uint32_t> declaredSize;
};

struct ZipOptions {
    // Not empty: every file is encrypted (traditional PKWARE encryption) with it.
    std::string passphrase;
};

// Writes the archive at path, replacing any file there; throws
// std::runtime_error when any step fails.
void writeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries,
              const ZipOptions& options = {});

// Shorthands for the common entries.
ZipEntry zipFile(const std::string& name, const std::string& content,
                 ZipMethod method = ZipMethod::deflate);
ZipEntry zipFolder(const std::string& name);
ZipEntry zipSymlink(const std::string& name, const std::string& target);
// A file whose UTF-8 name is written in CP932 without the UTF-8 flag.
ZipEntry zipCp932File(const std::string& utf8Name, const std::string& content);

// UTF-8 text in CP932 (Windows-31J); throws when a character has no CP932 form.
std::string toCp932(const std::string& utf8);

} // namespace morvik::test
