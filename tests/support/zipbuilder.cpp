// Test archives: libarchive writes a plain ZIP file, then the fields that
// libarchive will not write (raw names, other methods, lying sizes, device
// types) are patched into its local and central headers. rawZip writes
// archives byte by byte, with zlib for the deflate streams.
#include "support/zipbuilder.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <zlib.h>

namespace morvik::test {

namespace {

struct ArchiveWriteFree {
    void operator()(archive* a) const noexcept { archive_write_free(a); }
};
using ArchiveWriter = std::unique_ptr<archive, ArchiveWriteFree>;

struct ArchiveEntryFree {
    void operator()(archive_entry* e) const noexcept { archive_entry_free(e); }
};
using ArchiveEntry = std::unique_ptr<archive_entry, ArchiveEntryFree>;

void check(archive* a, la_ssize_t result, const std::string& step) {
    if (result < ARCHIVE_OK) {
        const char* reason = archive_error_string(a);
        throw std::runtime_error("zip builder: " + step + ": " + (reason ? reason : "failed"));
    }
}

// The name handed to libarchive for a raw name: as long as the raw bytes, ASCII
// only, so that the raw bytes can later take its place in the headers.
std::string placeholderFor(const ZipEntry& entry) {
    std::string name = entry.name;
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || byte < 0x20 || byte == 0x7F || c == '\\') {
            c = '_';
        }
    }
    if (entry.kind == ZipEntryKind::folder && !name.empty()) {
        // libarchive adds a "/" to a folder name without one.
        name.back() = '/';
    }
    return name;
}

void writeEntry(archive* a, const ZipEntry& entry) {
    check(a,
          entry.method == ZipMethod::store ? archive_write_zip_set_compression_store(a)
                                           : archive_write_zip_set_compression_deflate(a),
          "compression");
    ArchiveEntry header(archive_entry_new());
    if (!header) {
        throw std::runtime_error("zip builder: archive_entry_new failed");
    }
    const std::string name =
        entry.nameBytes == ZipNameBytes::raw ? placeholderFor(entry) : entry.name;
    archive_entry_copy_pathname(header.get(), name.c_str());
    archive_entry_set_mtime(header.get(), 1716768000, 0);
    std::string data;
    switch (entry.kind) {
    case ZipEntryKind::folder:
        archive_entry_set_filetype(header.get(), AE_IFDIR);
        archive_entry_set_perm(header.get(), 0755);
        break;
    case ZipEntryKind::symlink:
        archive_entry_set_filetype(header.get(), AE_IFLNK);
        archive_entry_set_perm(header.get(), 0777);
        archive_entry_copy_symlink(header.get(), entry.content.c_str());
        break;
    case ZipEntryKind::file:
        data = entry.content;
        [[fallthrough]];
    case ZipEntryKind::characterDevice:
    case ZipEntryKind::blockDevice:
    case ZipEntryKind::socket:
        // The ZIP writer refuses these: they go in as empty files and get their
        // type in the central header afterwards.
        archive_entry_set_filetype(header.get(), AE_IFREG);
        archive_entry_set_perm(header.get(), 0644);
        archive_entry_set_size(header.get(), static_cast<la_int64_t>(data.size()));
        break;
    }
    check(a, archive_write_header(a, header.get()), "header of " + entry.name);
    if (!data.empty()) {
        const la_ssize_t written = archive_write_data(a, data.data(), data.size());
        check(a, written, "data of " + entry.name);
        if (static_cast<std::size_t>(written) != data.size()) {
            throw std::runtime_error("zip builder: short write for " + entry.name);
        }
    }
    check(a, archive_write_finish_entry(a), "finishing " + entry.name);
}

std::uint32_t get(const std::string& bytes, std::size_t at, int width) {
    if (at + width > bytes.size()) {
        throw std::runtime_error("zip builder: header outside the archive");
    }
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void put(std::string& bytes, std::size_t at, int width, std::uint32_t value) {
    for (int i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint32_t kUtf8Flag = 0x0800;
constexpr std::uint32_t kDescriptorFlag = 0x0008;

// The file type patched into the central header, or 0 for the kinds that
// libarchive writes itself.
std::uint32_t unixFileType(ZipEntryKind kind) {
    switch (kind) {
    case ZipEntryKind::characterDevice:
        return S_IFCHR;
    case ZipEntryKind::blockDevice:
        return S_IFBLK;
    case ZipEntryKind::socket:
        return S_IFSOCK;
    default:
        return 0;
    }
}

bool isAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// libarchive sets the UTF-8 flag only when the writing process runs in a
// UTF-8 locale: the flag is put in place afterwards in every case.
bool needsUtf8Flag(const ZipEntry& entry) {
    return entry.nameBytes == ZipNameBytes::utf8 && !isAscii(entry.name);
}

bool needsPatch(const ZipEntry& entry) {
    return entry.nameBytes == ZipNameBytes::raw || needsUtf8Flag(entry) || entry.methodCode ||
           entry.declaredSize || unixFileType(entry.kind) != 0;
}

void patchEntry(std::string& bytes, std::size_t central, const ZipEntry& entry) {
    const std::size_t local = get(bytes, central + 42, 4);
    if (get(bytes, central, 4) != kCentralSignature || get(bytes, local, 4) != kLocalSignature) {
        throw std::runtime_error("zip builder: unexpected header layout");
    }
    const std::uint32_t flags = get(bytes, local + 6, 2);
    if (entry.nameBytes == ZipNameBytes::raw) {
        if (get(bytes, central + 28, 2) != entry.name.size() ||
            get(bytes, local + 26, 2) != entry.name.size()) {
            throw std::runtime_error("zip builder: name length changed for " + entry.name);
        }
        bytes.replace(central + 46, entry.name.size(), entry.name);
        bytes.replace(local + 30, entry.name.size(), entry.name);
        put(bytes, central + 8, 2, get(bytes, central + 8, 2) & ~kUtf8Flag);
        put(bytes, local + 6, 2, flags & ~kUtf8Flag);
    } else if (needsUtf8Flag(entry)) {
        put(bytes, central + 8, 2, get(bytes, central + 8, 2) | kUtf8Flag);
        put(bytes, local + 6, 2, flags | kUtf8Flag);
    }
    if (entry.methodCode) {
        put(bytes, central + 10, 2, *entry.methodCode);
        put(bytes, local + 8, 2, *entry.methodCode);
    }
    if (entry.declaredSize) {
        put(bytes, central + 24, 4, *entry.declaredSize);
        put(bytes, local + 22, 4, *entry.declaredSize);
        if ((flags & kDescriptorFlag) != 0) {
            std::size_t descriptor = local + 30 + get(bytes, local + 26, 2) +
                                     get(bytes, local + 28, 2) + get(bytes, central + 20, 4);
            if (get(bytes, descriptor, 4) == kDescriptorSignature) {
                descriptor += 4;
            }
            put(bytes, descriptor + 8, 4, *entry.declaredSize);
        }
    }
    if (const std::uint32_t type = unixFileType(entry.kind); type != 0) {
        // The Unix mode is the high half of the external attributes.
        put(bytes, central + 38, 4, (type | 0644u) << 16);
    }
}

void patchArchive(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // libarchive writes no archive comment: the end record closes the file.
    if (bytes.size() < 22 || get(bytes, bytes.size() - 22, 4) != kEndSignature) {
        throw std::runtime_error("zip builder: no end of central directory");
    }
    const std::size_t end = bytes.size() - 22;
    if (get(bytes, end + 10, 2) != entries.size()) {
        throw std::runtime_error("zip builder: entry count differs");
    }
    std::size_t central = get(bytes, end + 16, 4);
    for (const ZipEntry& entry : entries) {
        const std::size_t next = central + 46 + get(bytes, central + 28, 2) +
                                 get(bytes, central + 30, 2) + get(bytes, central + 32, 2);
        if (needsPatch(entry)) {
            patchEntry(bytes, central, entry);
        }
        central = next;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("zip builder: cannot rewrite " + path.string());
    }
}

} // namespace

void writeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries,
              const ZipOptions& options) {
    {
        ArchiveWriter a(archive_write_new());
        if (!a) {
            throw std::runtime_error("zip builder: archive_write_new failed");
        }
        check(a.get(), archive_write_set_format_zip(a.get()), "format");
        if (!options.passphrase.empty()) {
            check(a.get(), archive_write_set_options(a.get(), "zip:encryption=zipcrypt"),
                  "encryption");
            check(a.get(), archive_write_set_passphrase(a.get(), options.passphrase.c_str()),
                  "passphrase");
        }
        check(a.get(), archive_write_open_filename(a.get(), path.c_str()), "open");
        for (const ZipEntry& entry : entries) {
            writeEntry(a.get(), entry);
        }
        check(a.get(), archive_write_close(a.get()), "close");
    }
    for (const ZipEntry& entry : entries) {
        if (needsPatch(entry)) {
            patchArchive(path, entries);
            break;
        }
    }
}

ZipEntry zipFile(const std::string& name, const std::string& content, ZipMethod method) {
    ZipEntry entry;
    entry.name = name;
    entry.content = content;
    entry.method = method;
    return entry;
}

ZipEntry zipFolder(const std::string& name) {
    ZipEntry entry;
    entry.name = name;
    entry.kind = ZipEntryKind::folder;
    return entry;
}

ZipEntry zipSymlink(const std::string& name, const std::string& target) {
    ZipEntry entry;
    entry.name = name;
    entry.content = target;
    entry.kind = ZipEntryKind::symlink;
    return entry;
}

ZipEntry zipCp932File(const std::string& utf8Name, const std::string& content) {
    ZipEntry entry = zipFile(toCp932(utf8Name), content);
    entry.nameBytes = ZipNameBytes::raw;
    return entry;
}

std::string toCp932(const std::string& utf8) {
    struct IconvClose {
        void operator()(void* cd) const noexcept { iconv_close(static_cast<iconv_t>(cd)); }
    };
    const iconv_t raw = iconv_open("CP932", "UTF-8");
    if (raw == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("zip builder: no CP932 converter");
    }
    const std::unique_ptr<void, IconvClose> cd(raw);
    std::string in = utf8;
    std::string out(utf8.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(raw, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        throw std::runtime_error("zip builder: no CP932 form for " + utf8);
    }
    out.resize(out.size() - outLeft);
    return out;
}

namespace {

void append(std::string& bytes, int width, std::uint64_t value) {
    for (int i = 0; i < width; ++i) {
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::string zip64Extra(std::uint64_t size, std::uint64_t compressedSize,
                       std::optional<std::uint64_t> offset) {
    std::string extra;
    append(extra, 2, 0x0001);
    append(extra, 2, offset ? 24 : 16);
    append(extra, 8, size);
    append(extra, 8, compressedSize);
    if (offset) {
        append(extra, 8, *offset);
    }
    return extra;
}

class Deflater {
public:
    Deflater() {
        if (deflateInit2(&m_stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9,
                         Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::runtime_error("zip builder: deflateInit2 failed");
        }
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void add(const char* data, std::size_t size, bool last) {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        m_stream.avail_in = static_cast<uInt>(size);
        char buffer[64 * 1024];
        int status = Z_OK;
        do {
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = sizeof buffer;
            status = deflate(&m_stream, last ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) {
                throw std::runtime_error("zip builder: deflate failed");
            }
            m_out.append(buffer, sizeof buffer - m_stream.avail_out);
        } while (m_stream.avail_out == 0 || (last && status != Z_STREAM_END));
    }
    std::string take() { return std::move(m_out); }

private:
    z_stream m_stream{};
    std::string m_out;
};

} // namespace

std::string deflated(const std::string& content) {
    Deflater deflater;
    deflater.add(content.data(), content.size(), true);
    return deflater.take();
}

std::string deflatedZeros(std::uint64_t size) {
    const std::string zeros(1 << 20, '\0');
    Deflater deflater;
    do {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, zeros.size()));
        size -= piece;
        deflater.add(zeros.data(), piece, size == 0);
    } while (size > 0);
    return deflater.take();
}

std::uint32_t crc32Of(const std::string& content) {
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                            static_cast<uInt>(content.size())));
}

std::uint32_t crc32OfZeros(std::uint64_t size) {
    const std::string zeros(1 << 20, '\0');
    uLong crc = crc32(0, nullptr, 0);
    while (size > 0) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, zeros.size()));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(piece));
        size -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}

RawZipEntry rawFile(const std::string& name, const std::string& content, bool deflate) {
    RawZipEntry entry;
    entry.name = name;
    entry.method = deflate ? 8 : 0;
    entry.data = deflate ? deflated(content) : content;
    entry.crc = crc32Of(content);
    entry.size = content.size();
    return entry;
}

std::string rawZip(const std::vector<RawZipEntry>& entries) {
    std::string bytes;
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> dataOffsets;
    for (const RawZipEntry& entry : entries) {
        const std::uint64_t packed = entry.compressedSize.value_or(entry.data.size());
        if (entry.sharesHeaderOf) {
            const std::size_t other = *entry.sharesHeaderOf;
            offsets.push_back(entry.offsetIntoData == 0
                                  ? offsets.at(other)
                                  : dataOffsets.at(other) + entry.offsetIntoData);
            dataOffsets.push_back(0);
            continue;
        }
        offsets.push_back(bytes.size());
        const std::string extra =
            (entry.zip64 ? zip64Extra(entry.size, packed, std::nullopt) : "") + entry.localExtra;
        append(bytes, 4, kLocalSignature);
        append(bytes, 2, entry.zip64 ? 45 : 20);
        append(bytes, 2, entry.flags);
        append(bytes, 2, entry.method);
        append(bytes, 4, 0); // time and date
        append(bytes, 4, entry.crc);
        append(bytes, 4, entry.zip64 ? 0xFFFFFFFFu : packed);
        append(bytes, 4, entry.zip64 ? 0xFFFFFFFFu : entry.size);
        append(bytes, 2, entry.name.size());
        append(bytes, 2, extra.size());
        bytes += entry.name;
        bytes += extra;
        dataOffsets.push_back(bytes.size());
        bytes += entry.data;
    }
    const std::uint64_t centralOffset = bytes.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RawZipEntry& entry = entries[i];
        const std::uint64_t packed = entry.compressedSize.value_or(entry.data.size());
        const std::string extra =
            (entry.zip64 ? zip64Extra(entry.size, packed, offsets[i]) : "") + entry.centralExtra;
        append(bytes, 4, kCentralSignature);
        append(bytes, 1, entry.zip64 ? 45 : 20);
        append(bytes, 1, entry.system);
        append(bytes, 2, entry.zip64 ? 45 : 20);
        append(bytes, 2, entry.flags);
        append(bytes, 2, entry.method);
        append(bytes, 4, 0);
        append(bytes, 4, entry.crc);
        append(bytes, 4, entry.zip64 ? 0xFFFFFFFFu : packed);
        append(bytes, 4, entry.zip64 ? 0xFFFFFFFFu : entry.size);
        append(bytes, 2, entry.name.size());
        append(bytes, 2, extra.size());
        append(bytes, 2, 0); // comment
        append(bytes, 2, 0); // disk
        append(bytes, 2, 0); // internal attributes
        append(bytes, 4, entry.externalAttributes);
        append(bytes, 4, entry.zip64 ? 0xFFFFFFFFu : offsets[i]);
        bytes += entry.name;
        bytes += extra;
    }
    const std::uint64_t centralSize = bytes.size() - centralOffset;
    const bool zip64 =
        std::any_of(entries.begin(), entries.end(), [](const RawZipEntry& e) { return e.zip64; });
    if (zip64) {
        const std::uint64_t end64 = bytes.size();
        append(bytes, 4, 0x06064b50);
        append(bytes, 8, 44);
        append(bytes, 2, 45);
        append(bytes, 2, 45);
        append(bytes, 4, 0);
        append(bytes, 4, 0);
        append(bytes, 8, entries.size());
        append(bytes, 8, entries.size());
        append(bytes, 8, centralSize);
        append(bytes, 8, centralOffset);
        append(bytes, 4, 0x07064b50);
        append(bytes, 4, 0);
        append(bytes, 8, end64);
        append(bytes, 4, 1);
    }
    append(bytes, 4, kEndSignature);
    append(bytes, 2, 0);
    append(bytes, 2, 0);
    append(bytes, 2, zip64 ? 0xFFFF : entries.size());
    append(bytes, 2, zip64 ? 0xFFFF : entries.size());
    append(bytes, 4, zip64 ? 0xFFFFFFFFu : centralSize);
    append(bytes, 4, zip64 ? 0xFFFFFFFFu : centralOffset);
    append(bytes, 2, 0);
    return bytes;
}

} // namespace morvik::test
