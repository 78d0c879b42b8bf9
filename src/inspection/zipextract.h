// Archive extraction: unpacks the ZIP file beside itself and names the
// extraction folder, refusing when an extracted copy is already there.
#pragma once

#include "inspection/paths.h"
#include "inspection/services.h"
#include "platform/zip/unzip.h"

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
// destinationFolder, when not empty, takes the place of the ZIP folder: the
// archive is unpacked there, the extraction folder is destinationFolder +
// base name + separator, and that is where an extracted copy is looked for
// and the folder shown to the user when there is one.
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs,
                             const UnZipFunction& unzip, void* owner = nullptr,
                             char separator = kPathSeparator, int* unzipCode = nullptr,
                             const std::string& destinationFolder = {});

// The same with the platform's unzip layer (platformUnZip) and its default
// limits, or the limits given.
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs, int* unzipCode = nullptr,
                             const std::string& destinationFolder = {});
[[nodiscard]] int ZipExtract(const std::string& zipPath, std::string& extractionFolder,
                             MessageBox& messages, ProgramStart& programs,
                             const platform::ExtractionLimits& limits, int* unzipCode = nullptr,
                             const std::string& destinationFolder = {});

} // namespace morvik::inspection
