// Extraction benchmark and archive facts: an archive of N copies of the real
// health-checkup documents (DATA and CLAIMS cycling through the real ones,
// with the index, the summary and the real schema set), its sizes and
// compression ratios, and the unzip layer against unzip -q on it (median of
// several runs, each in a child process of its own, into a fresh folder).
//
//   unzip_bench [--documents N] [--runs R] [--work DIR]   facts and timings
//   unzip_bench make N ZIP                                 only writes the archive
//   unzip_bench extract ZIP DEST                           one extraction (for farm-bench)
//
// The real archive comes from ../shared/realdata; without it nothing is run.
#include "measure.h"
#include "platform/zip/unzip.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using morvik::bench::Measure;
using morvik::bench::measureChild;
using morvik::bench::measureCommand;

namespace {

const fs::path kRealZip = fs::path(MORVIK_SOURCE_DIR) /
                          "../shared/realdata/mhlw-v08-2024/5521111111_00280081_202405271_1.zip";

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string commandLine(const fs::path& zip, const fs::path& destination) {
    return "-x -o -q " + morvik::platform::quotedUnzipPiece(zip.string()) + " " +
           morvik::platform::quotedUnzipPiece(destination.string() + "/") + " *.*";
}

struct Documents {
    std::vector<std::pair<std::string, std::string>> fixed; // index, summary, schemas
    std::vector<std::string> data;
    std::vector<std::string> claims;
};

Documents realDocuments(const fs::path& scratch) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    if (morvik::platform::UnZip(nullptr, commandLine(kRealZip, scratch), 0, 0) != 0) {
        throw std::runtime_error("the real archive does not unpack");
    }
    const fs::path top = scratch / kRealZip.stem();
    Documents documents;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string name = fs::relative(entry.path(), top).string();
        if (name.starts_with("DATA/")) {
            documents.data.push_back(readAll(entry.path()));
        } else if (name.starts_with("CLAIMS/")) {
            documents.claims.push_back(readAll(entry.path()));
        } else {
            documents.fixed.emplace_back(name, readAll(entry.path()));
        }
    }
    std::sort(documents.fixed.begin(), documents.fixed.end());
    return documents;
}

struct ArchiveFacts {
    std::uint64_t archiveBytes = 0;
    std::uint64_t unpackedBytes = 0;
    double largestEntryRatio = 0;
    double dataRatio = 0;
};

ArchiveFacts writeArchive(const fs::path& zip, const Documents& documents, int n) {
    std::unique_ptr<archive, decltype(&archive_write_free)> a(archive_write_new(),
                                                              archive_write_free);
    archive_write_set_format_zip(a.get());
    archive_write_set_options(a.get(), "zip:compression=deflate");
    if (archive_write_open_filename(a.get(), zip.c_str()) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(a.get()));
    }
    ArchiveFacts facts;
    const std::string top = zip.stem().string() + "/";
    const auto add = [&](const std::string& name, const std::string& content) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            archive_entry_free);
        archive_entry_set_pathname_utf8(entry.get(), (top + name).c_str());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(content.size()));
        if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK ||
            archive_write_data(a.get(), content.data(), content.size()) !=
                static_cast<la_ssize_t>(content.size())) {
            throw std::runtime_error(archive_error_string(a.get()));
        }
        facts.unpackedBytes += content.size();
    };
    for (const auto& [name, content] : documents.fixed) {
        add(name, content);
    }
    char name[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "DATA/h2813303589202405%06d_00280081.xml", i);
        add(name, documents.data[static_cast<std::size_t>(i) % documents.data.size()]);
        std::snprintf(name, sizeof name, "CLAIMS/c2813303589202405%06d_00280081.xml", i);
        add(name, documents.claims[static_cast<std::size_t>(i) % documents.claims.size()]);
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) {
        throw std::runtime_error(archive_error_string(a.get()));
    }
    facts.archiveBytes = fs::file_size(zip);
    // Per-entry ratios from the central directory, as the unzip layer sees them.
    const std::string bytes = readAll(zip);
    const auto le = [&](std::size_t at, int width) {
        std::uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i) {
            v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
        }
        return v;
    };
    const std::size_t end = bytes.size() - 22;
    std::size_t at = le(end + 16, 4);
    std::uint64_t dataPacked = 0;
    std::uint64_t dataSize = 0;
    for (std::uint64_t i = 0, count = le(end + 10, 2) == 0xFFFF ? 0 : le(end + 10, 2); i < count;
         ++i) {
        const std::uint64_t packed = le(at + 20, 4);
        const std::uint64_t size = le(at + 24, 4);
        const std::string entryName(bytes, at + 46, le(at + 28, 2));
        if (packed > 0) {
            facts.largestEntryRatio =
                std::max(facts.largestEntryRatio, static_cast<double>(size) / packed);
        }
        if (entryName.find("/DATA/") != std::string::npos) {
            dataPacked += packed;
            dataSize += size;
        }
        at += 46 + le(at + 28, 2) + le(at + 30, 2) + le(at + 32, 2);
    }
    facts.dataRatio = dataPacked > 0 ? static_cast<double>(dataSize) / dataPacked : 0;
    return facts;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "extract") {
            return morvik::platform::UnZip(nullptr, commandLine(args[1], args[2]), 0, 0);
        }
        int n = 10'000;
        int runs = 5;
        fs::path work = fs::temp_directory_path() / "morvik-unzip-bench";
        if (args.size() == 3 && args[0] == "make") {
            n = std::stoi(args[1]);
            const Documents documents = realDocuments(work / "real");
            const ArchiveFacts facts = writeArchive(args[2], documents, n);
            std::cout << args[2] << ": " << facts.archiveBytes << " bytes, unpacks to "
                      << facts.unpackedBytes << "\n";
            return 0;
        }
        for (std::size_t i = 0; i + 1 < args.size(); i += 2) {
            if (args[i] == "--documents") {
                n = std::stoi(args[i + 1]);
            } else if (args[i] == "--runs") {
                runs = std::stoi(args[i + 1]);
            } else if (args[i] == "--work") {
                work = args[i + 1];
            }
        }
        if (!fs::exists(kRealZip)) {
            std::cout << "real archive not present: " << kRealZip << "\n";
            return 0;
        }
        const Documents documents = realDocuments(work / "real");
        const fs::path zip = work / "5521111111_00280081_202405271_1.zip";
        const ArchiveFacts facts = writeArchive(zip, documents, n);
        std::cout << std::fixed << std::setprecision(1) << "archive of " << n
                  << " DATA and CLAIMS documents each: " << facts.archiveBytes / 1e6
                  << " MB, unpacks to " << facts.unpackedBytes / 1e6 << " MB (ratio "
                  << static_cast<double>(facts.unpackedBytes) / facts.archiveBytes
                  << "), DATA documents " << facts.dataRatio << "x, largest entry ratio "
                  << facts.largestEntryRatio << "x\n";
        std::vector<double> ours;
        std::vector<double> theirs;
        std::vector<double> ratios;
        for (int run = 0; run < runs; ++run) {
            const fs::path a = work / "ours";
            const fs::path b = work / "theirs";
            fs::remove_all(a);
            fs::remove_all(b);
            fs::create_directories(a);
            fs::create_directories(b);
            const Measure m = measureChild(
                [&] { ::_exit(morvik::platform::UnZip(nullptr, commandLine(zip, a), 0, 0)); });
            const Measure u = measureCommand({"unzip", "-q", zip.string(), "-d", b.string()});
            if (m.exitCode != 0 || u.exitCode != 0) {
                std::cout << "a run failed: ours " << m.exitCode << ", unzip " << u.exitCode
                          << "\n";
                return 1;
            }
            ours.push_back(m.wall);
            theirs.push_back(u.wall);
            ratios.push_back(m.wall / u.wall);
        }
        std::cout << std::setprecision(3) << "extraction, median of " << runs
                  << " runs: unzip layer " << median(ours) << " s, unzip -q " << median(theirs)
                  << " s, ratio (median of the pairs) " << median(ratios) << "\n";
        fs::remove_all(work);
    } catch (const std::exception& error) {
        std::cerr << "unzip_bench: " << error.what() << "\n";
        return 2;
    }
    return 0;
}
