// The extraction folder rule.
#include "inspection/extractionfolder.h"

#include <filesystem>

namespace morvik::inspection {

ExtractionPlace extractionPlaceOf(const std::string& zipPath, const std::string& extractInto,
                                  char separator) {
    ExtractionPlace place;
    place.separator = separator;
    std::string fileName;
    place.destination = GetDirectoryMemberSplit(zipPath, place.baseName, fileName, separator);
    if (place.destination.empty()) {
        place.destination = std::string(".") + separator;
    }
    if (!extractInto.empty()) {
        std::string folder = extractInto;
        while (folder.size() > 1 && folder.back() == separator) {
            folder.pop_back();
        }
        if (folder.back() != separator) {
            folder += separator;
        }
        place.destination = std::move(folder);
    }
    return place;
}

ExtractionPlace absolutePlace(const ExtractionPlace& place) {
    ExtractionPlace absolute = place;
    std::error_code error;
    const std::filesystem::path path =
        std::filesystem::absolute(std::filesystem::path(place.destination), error);
    if (!error) {
        absolute.destination = path.lexically_normal().string();
        if (absolute.destination.empty() || absolute.destination.back() != place.separator) {
            absolute.destination += place.separator;
        }
    }
    return absolute;
}

} // namespace morvik::inspection
