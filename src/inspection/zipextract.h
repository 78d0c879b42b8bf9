// Archive extraction: unpacks the ZIP file beside itself and names the
// extraction folder, refusing when an extracted copy is already there.
#pragma once

#include "inspection/paths.h"
#include "inspection/services.h"
#include "platform/unzip.h"

#include <functional>
#include <string>

namespace morvik::inspection {

// The unzip library's entry point: owner window, command line, 0, 0.
// Returns 0 when the archive was unpacked.
using UnZipFunction = std::function<int(void* owner, const std::string& commandLine, int, int)>;

// The unzip command line for an archive: the options, the ZIP path and the
// ZIP folder (with one more separator) as quoted pieces, and the pattern for
// all files. A double quote in a path is doubled inside its piece, so that no
// path can end its piece early and name another archive or destination.
[[nodiscard]] std::string unzipCommandLineFor(const std::string& zipPath,
                                              const std::string& zipFolder, char separator);

// The platform's unzip layer with these limits, replacing existing files only
// inside the archive's top folder (the extraction folder): entries beside it
// may add files next to the ZIP file but never replace one.
[[nodiscard]] UnZipFunction platformUnZip(const platform::ExtractionLimits& limits = {});

// Returns 0 and sets extractionFolder (ZIP folder + base name + separator)
// when the archive was unpacked; -1 otherwise, after telling the user why.
// extractionFolder is written only on success. When the library was called
// and failed, *unzipCode (if given) receives its return value; it is left
// alone when the run was refused before (an extracted copy is there).
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs,
                             const UnZipFunction& unzip, void* owner = nullptr,
                             char separator = kPathSeparator, int* unzipCode = nullptr);

// The same with the platform's unzip layer (platformUnZip) and its default
// limits, or the limits given.
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs,
                             int* unzipCode = nullptr);
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs,
                             const platform::ExtractionLimits& limits, int* unzipCode = nullptr);

} // namespace morvik::inspection
