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

// An entry of an archive written byte by byte (rawZip), for what no writer
// makes: entries that overlap, sizes that data does not back, headers that
// contradict each other, any bytes in a name.
struct RawZipEntry {
    std::string name; // the bytes of both headers' name fields
    // The bytes after the local header: the packed data (see deflated).
    std::string data;
    std::uint16_t method = 8;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0; // declared unpacked size
    // Declared packed size; data.size() when not set.
    std::optional<std::uint64_t> compressedSize;
    // High byte of "version made by": 3 Unix (mode in the external
    // attributes' high half), 0 MS-DOS.
    std::uint8_t system = 3;
    std::uint32_t externalAttributes = 0100644u << 16;
    // Sizes and offset in a ZIP64 extra field, the headers holding 0xFFFFFFFF.
    bool zip64 = false;
    std::string localExtra;
    std::string centralExtra;
    // Instead of a local header of its own, the entry points at the local
    // header of this earlier entry, or this many bytes into its data.
    std::optional<std::size_t> sharesHeaderOf;
    std::uint64_t offsetIntoData = 0;
};

// A stored or deflated file entry with honest sizes and CRC.
RawZipEntry rawFile(const std::string& name, const std::string& content, bool deflate = true);

// The archive's bytes: local headers with data, central directory, (ZIP64
// end record and locator,) end record.
std::string rawZip(const std::vector<RawZipEntry>& entries);

// content as a raw deflate stream, as ZIP stores it.
std::string deflated(const std::string& content);
// size zero bytes as a raw deflate stream, made in pieces.
std::string deflatedZeros(std::uint64_t size);
std::uint32_t crc32Of(const std::string& content);
// The CRC-32 of size zero bytes.
std::uint32_t crc32OfZeros(std::uint64_t size);

} // namespace morvik::test
