// What one extraction will do, decided from the archive's directory alone:
// where each entry goes below the destination, which folders and files that
// makes, and whether the names and the limits allow it. Nothing here touches
// the destination.
#pragma once

#include "platform/zip/namestore.h"
#include "platform/zip/unzip.h"
#include "platform/zip/zipdirectory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace morvik::platform {

// A folder or file below the destination. Node 0 is the destination itself;
// a parent always comes before its children.
struct PlanNode {
    std::uint32_t parent = 0;
    bool folder = true;
    // Strictly inside the archive's top folder (the top folder itself is not).
    bool inTopFolder = false;
    // One component, NUL-terminated, kept in the plan's names.
    const char* name = "";
};

// What the plan keeps of each entry: no name, the directory's record has it
// (its path below the destination is the record's name with empty and "."
// components dropped and '\\' read as '/').
struct PlannedEntry {
    bool folder = false;
    // Matched by the patterns and so unpacked; node is then its place.
    bool selected = false;
    // Beside the top folder and left in the archive (EntriesBeside::leaveInArchive).
    bool leftBeside = false;
    std::uint32_t node = 0;
    // What a file declares, selected or not.
    std::uint64_t size = 0;
};

struct ExtractionPlan {
    // 16 bytes a node and its name's bytes: an archive of 100,000 files
    // plans in a few megabytes.
    std::vector<PlanNode> nodes;
    NameStore names;
    // One per directory entry, in the same order.
    std::vector<PlannedEntry> entries;
    // The sizes that the selected files declare, added up.
    std::uint64_t totalBytes = 0;
    // The archive's top-level names, written or not, in the order of their
    // first entry; a name that is a folder anywhere counts as a folder.
    std::vector<TopLevelName> topLevel;
};

// Builds the plan. Refuses (with the entry's name) special entries,
// encryption, methods other than stored and deflate, names that leave the
// destination or are longer than file systems take (a component over 255
// bytes, the destination and the name over 4095), a name that is a file and a
// folder at once or a file twice, and archives past the limits. Bookkeeping
// grows with the number of entries and the length of their names, never
// faster: each folder is one node, found by its parent and its own name.
UnzipOutcome planExtraction(const ZipDirectory& directory, const UnzipCommand& command,
                            const ExtractionLimits& limits, ExtractionPlan& plan,
                            EntriesBeside entriesBeside = EntriesBeside::write);

// The path of a node below the destination, for messages.
std::string nodePath(const std::vector<PlanNode>& nodes, std::uint32_t node);

} // namespace morvik::platform
