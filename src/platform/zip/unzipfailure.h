// How the parts of the unzip layer say why an archive is refused: an
// UnzipDetail with its one-line message, and entry names made printable.
#pragma once

#include "platform/zip/unzip.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvik::platform {

// A failure; the message reads `entry "NAME": what` when an entry is named.
// entry must be printable already (see printableName).
UnzipDetail unzipFailure(UnzipResult result, UnzipCause cause, const std::string& entry,
                         const std::string& what, std::uint64_t needed = 0,
                         std::uint64_t allowed = 0);

// name with control characters (C0, DEL, C1) and bytes that are no valid
// UTF-8 written as \xNN, so that it can be shown on one line.
std::string printableName(std::string_view name);

// True when name holds a control character: C0 (NUL included), DEL, or C1
// (U+0080 to U+009F, as UTF-8).
bool hasControlCharacter(std::string_view name);

} // namespace morvik::platform
