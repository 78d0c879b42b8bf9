// Fuzzes the unzip layer with whole archives, as ZipExtract calls it: the ZIP
// file lies in the destination beside a file of the user's, its top folder
// holds a document from an earlier extraction, and the free space and the
// limits are small. Whatever the bytes:
// - only documented result codes come back;
// - nothing appears, changes or vanishes outside the destination;
// - the ZIP file and the user's file beside it are never replaced;
// - a failed extraction leaves the destination exactly as it was;
// - no file descriptor is left open.
// A broken promise aborts, which libFuzzer reports with the input.
#include "platform/zip/unzip.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace morvik::platform;

namespace {

constexpr const char* kOldDocument = "fuzz/DATA/old.xml";

struct Workspace {
    fs::path root;
    fs::path destination; // root/work: the ZIP file's folder
    fs::path outside;     // root/outside: must never change
    fs::path zip;
};

void fail(const std::string& what) {
    std::fprintf(stderr, "unzip_fuzz: %s\n", what.c_str());
    std::abort();
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) {
        fail("cannot write " + path.string());
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every path below root with its kind and, for files, content; links with
// their targets (never followed).
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string name = it->path().lexically_relative(root).string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            tree[name] = "link " + fs::read_symlink(it->path()).string();
        } else if (fs::is_directory(status)) {
            tree[name] = "folder";
        } else if (fs::is_regular_file(status)) {
            tree[name] = "file " + readFile(it->path());
        } else {
            tree[name] = "special";
        }
    }
    if (error) {
        fail("cannot list " + root.string() + ": " + error.message());
    }
    return tree;
}

// The destination as every input finds it.
void resetDestination(Workspace& w) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(w.destination)) {
        fs::remove_all(entry.path(), error);
    }
    writeFile(w.destination / "users_report.docx", "the user's own file");
    writeFile(w.destination / kOldDocument, "from an earlier extraction");
}

Workspace& workspace() {
    static Workspace w = [] {
        Workspace made;
        // In TMPDIR: scripts/fuzz.sh points it at a folder in memory that it
        // removes afterwards (libFuzzer may end without running atexit).
        std::string pattern = (fs::temp_directory_path() / "morvik-unzip-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            fail("mkdtemp failed");
        }
        made.root = pattern;
        made.destination = made.root / "work";
        made.outside = made.root / "outside";
        made.zip = made.destination / "fuzz.zip";
        fs::create_directories(made.destination);
        writeFile(made.outside / "marker.txt", "outside the destination");
        std::atexit([] { fs::remove_all(workspace().root); });
        return made;
    }();
    return w;
}

// The descriptors open in this process, with what they lead to.
std::map<std::string, std::string> openDescriptors() {
    std::map<std::string, std::string> open;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        open[entry.path().filename().string()] = fs::read_symlink(entry.path(), error).string();
    }
    return open;
}

bool documented(UnzipResult result) {
    switch (result) {
    case UnzipResult::ok:
    case UnzipResult::archiveError:
    case UnzipResult::archiveNotFound:
    case UnzipResult::noMatchingFiles:
    case UnzipResult::limitExceeded:
    case UnzipResult::wouldReplaceFile:
    case UnzipResult::diskFull:
    case UnzipResult::unexpectedEnd:
    case UnzipResult::unsupportedMethod:
    case UnzipResult::encrypted:
        return true;
    case UnzipResult::badCommandLine:
        return false; // the command line here is always well formed
    case UnzipResult::interrupted:
        return false; // nothing here stops an extraction
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Workspace& w = workspace();
    resetDestination(w);
    writeFile(w.zip, std::string(reinterpret_cast<const char*>(data), size));
    static const auto outsideBefore = snapshot(w.outside);
    const auto before = snapshot(w.destination);
    const auto descriptorsBefore = openDescriptors();

    ExtractionOptions options;
    options.existingFiles = ExistingFiles::replaceOnlyInTopFolder;
    options.limits.maxTotalBytes = 1 << 20;
    options.limits.ratioFloorBytes = 64 << 10;
    UnzipRequest request;
    request.archive = w.zip.string();
    request.destination = w.destination.string() + "/";
    request.options = options;
    request.freeSpace = [](const std::string&) { return std::optional<std::uint64_t>(4 << 20); };
    const UnzipOutcome outcome = extractArchive(request);
    const UnzipResult result = outcome.result;

    if (!documented(result)) {
        fail("undocumented result " + std::to_string(static_cast<int>(result)) + ": " +
             outcome.message);
    }
    if ((result == UnzipResult::ok) != outcome.message.empty()) {
        fail("the detail does not match the result: " + outcome.message);
    }
    // Only the two folders at the root, the outside one untouched.
    for (const auto& entry : fs::directory_iterator(w.root)) {
        if (entry.path() != w.destination && entry.path() != w.outside) {
            fail("written outside the destination: " + entry.path().string());
        }
    }
    if (snapshot(w.outside) != outsideBefore) {
        fail("the folder beside the destination changed");
    }
    const auto after = snapshot(w.destination);
    if (result != UnzipResult::ok && after != before) {
        fail("a failed extraction changed the destination: " + outcome.message);
    }
    for (const char* kept : {"fuzz.zip", "users_report.docx"}) {
        if (after.count(kept) == 0 || after.at(kept) != before.at(kept)) {
            fail(std::string("replaced a file beside the top folder: ") + kept);
        }
    }
    if (openDescriptors() != descriptorsBefore) {
        fail("a file descriptor was left open or closed");
    }
    return 0;
}
