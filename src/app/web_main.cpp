// The web page's entry point: the command line's run, called from the page's
// worker on an archive the page has put into the in-memory file system.
// The result log, the JSON and CSV reports and the messages go to files
// there, for the page to read; each is byte for byte what morvik-inspect
// writes.
#include "app/commandline.h"
#include "app/version.h"
#include "platform/text/utf8locale.h"

#include <emscripten/emscripten.h>
#include <sys/stat.h>

#include <exception>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The page's worker posts each count to the page; it does not wait for it.
EM_JS(void, tellProgress, (double checked, double documents), {
    if (Module["onProgress"]) {
        Module["onProgress"](checked, documents);
    }
});

} // namespace

extern "C" {

// Inspects the archive at zipPath (extracted beside it) against the schema
// folder schemaFolder (empty: the archive's own), refusing more than
// maxExtractedSize bytes unpacked (a size as --max-extracted-size takes it).
// Writes the log to logPath, the JSON report to jsonPath, the CSV report to
// csvPath and the messages to errPath. Returns the command line's exit
// status.
EMSCRIPTEN_KEEPALIVE int morvik_inspect(const char* zipPath, const char* schemaFolder,
                                        const char* maxExtractedSize, const char* logPath,
                                        const char* jsonPath, const char* csvPath,
                                        const char* errPath) {
    morvik::platform::useUtf8Locale();
    // The in-memory file system starts with a mask of 0777, so that the
    // report files, written with 0666 less the mask like any new file, would
    // be made without read permission and the page could not read them
    // back: the mask a login shell gives instead.
    ::umask(022);
    std::ofstream log(logPath, std::ios::binary | std::ios::trunc);
    std::ofstream err(errPath, std::ios::binary | std::ios::trunc);
    std::vector<std::string> args{"--json", jsonPath, "--csv", csvPath,
                                  std::string("--max-extracted-size=") + maxExtractedSize};
    if (*schemaFolder != '\0') {
        args.insert(args.end(), {"--schema", schemaFolder});
    }
    args.insert(args.end(), {"--", zipPath});

    morvik::app::Embedding embedding;
    // The page has no threads: every document is validated on this one.
    embedding.validationThreads = 1;
    embedding.progress = [](std::size_t checked, std::size_t documents) {
        tellProgress(static_cast<double>(checked), static_cast<double>(documents));
    };
    try {
        return morvik::app::runCommandLine(args, log, err, embedding);
    } catch (const std::exception& error) {
        err << "morvik-inspect: internal error: " << error.what() << '\n';
        return morvik::app::exitInternal;
    }
}

EMSCRIPTEN_KEEPALIVE const char* morvik_version() {
    return morvik::app::kVersion;
}

} // extern "C"
