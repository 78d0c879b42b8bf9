// The extraction plan: entry names as paths below the destination, the tree
// of folders and files they make, and the limits.
#include "platform/zip/extractionplan.h"

#include "platform/fs/folderlisting.h"
#include "platform/text/utf8.h"
#include "platform/zip/unzipfailure.h"

#include <cmath>
#include <unordered_map>

namespace morvik::platform {

namespace {

// What file systems take: NAME_MAX bytes per component, PATH_MAX with its NUL.
constexpr std::size_t kMaxComponentBytes = 255;
constexpr std::size_t kMaxPathBytes = 4095;

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;

// An entry's name as the components of a path below the destination, or
// nothing when the name would leave the destination. A backslash separates
// folders as a slash does: archives from Windows tools use either.
std::optional<std::vector<std::string>> safeComponents(std::string name) {
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (name.empty() || name.front() == '/') {
        return std::nullopt;
    }
    const auto isAsciiLetter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    // "C:x" and "C:/x" name a drive's folder on the system the archive came from.
    if (name.size() >= 2 && isAsciiLetter(name[0]) && name[1] == ':') {
        return std::nullopt;
    }
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        std::string component = name.substr(start, end - start);
        if (component == "..") {
            // An entry named ../x would escape the destination.
            return std::nullopt;
        }
        if (!component.empty() && component != ".") {
            components.push_back(std::move(component));
        }
        start = end + 1;
    }
    return components;
}

std::string joined(const std::vector<std::string>& components) {
    std::string path;
    for (const std::string& component : components) {
        if (!path.empty()) {
            path += '/';
        }
        path += component;
    }
    return path;
}

// The folder named like the archive without its extension.
std::string topFolderOf(const std::string& archive) {
    std::string name = archive.substr(archive.rfind('/') + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

std::uint64_t ratioRoundedUp(std::uint64_t size, std::uint64_t packed) {
    return packed == 0 ? size : size / packed + (size % packed != 0 ? 1 : 0);
}

// size over packed beyond the limit, for sizes above the floor.
bool pastRatio(std::uint64_t size, std::uint64_t packed, const ExtractionLimits& limits) {
    return size > limits.ratioFloorBytes &&
           static_cast<double>(size) > limits.maxRatio * static_cast<double>(packed);
}

class PlanBuilder {
public:
    PlanBuilder(const UnzipCommand& command, const ExtractionLimits& limits, ExtractionPlan& plan,
                EntriesBeside entriesBeside)
        : m_command(command), m_limits(limits), m_plan(plan),
          m_topFolder(topFolderOf(command.archive)), m_entriesBeside(entriesBeside) {
        m_plan.nodes.assign(1, PlanNode());
        m_plan.names = NameStore();
        m_plan.entries.clear();
        m_plan.totalBytes = 0;
    }

    UnzipOutcome add(const ZipEntryRecord& record) {
        const std::string shown = printableName(record.name);
        if (record.type == ZipEntryType::special) {
            // A link planted by the archive would let a later entry write
            // through it, outside the destination.
            return refuse(UnzipCause::linkOrDevice, shown, "a link, device or special file");
        }
        if (record.encrypted) {
            return unzipFailure(UnzipResult::encrypted, UnzipCause::encrypted, shown,
                                "the entry is encrypted");
        }
        const bool folder = record.type == ZipEntryType::folder;
        if (!folder && record.method != kMethodStored && record.method != kMethodDeflate) {
            return unzipFailure(UnzipResult::unsupportedMethod, UnzipCause::unsupportedMethod,
                                shown,
                                "compression method " + std::to_string(record.method) +
                                    " (only stored and deflate are read)");
        }
        auto components = safeComponents(std::string(record.name));
        if (!components) {
            return refuse(UnzipCause::unsafeName, shown, "the name leaves the destination");
        }
        // "./" stands for the destination itself; a file needs a name.
        if (components->empty() && !folder) {
            return refuse(UnzipCause::unsafeName, shown, "a file without a name");
        }
        for (const std::string& component : *components) {
            if (component.size() > kMaxComponentBytes) {
                return refuse(UnzipCause::nameTooLong, shown,
                              "a name component of " + std::to_string(component.size()) +
                                  " bytes (at most 255)");
            }
        }
        PlannedEntry entry;
        const std::string path = joined(*components);
        entry.folder = folder;
        if (m_command.destination.size() + path.size() > kMaxPathBytes) {
            return refuse(UnzipCause::nameTooLong, shown,
                          "a path of " +
                              std::to_string(m_command.destination.size() + path.size()) +
                              " bytes with the destination (at most 4095)");
        }
        if (!components->empty()) {
            noteTopLevel(components->front(), folder || components->size() > 1);
        }
        entry.selected = !components->empty() && selects(path);
        if (entry.selected && m_entriesBeside == EntriesBeside::leaveInArchive &&
            ((components->size() < 2 && !folder) ||
             !isTopFolderName(components->front(), m_topFolder))) {
            // Only the top folder is the archive's to write: whatever lies
            // beside it could land on a file or folder of the user's.
            entry.selected = false;
            entry.leftBeside = true;
            ++m_leftBeside;
        }
        if (entry.selected) {
            if (UnzipOutcome failure = place(*components, entry, shown);
                failure.result != UnzipResult::ok) {
                return failure;
            }
        }
        if (!folder) {
            entry.size = record.size;
        }
        if (entry.selected && !folder) {
            if (record.method == kMethodStored && record.size != record.compressedSize) {
                return unzipFailure(UnzipResult::archiveError, UnzipCause::badData, shown,
                                    "a stored entry declares " + std::to_string(record.size) +
                                        " bytes but holds " +
                                        std::to_string(record.compressedSize));
            }
            if (pastRatio(record.size, record.compressedSize, m_limits)) {
                return limit(UnzipCause::ratioLimit, shown, "the entry unpacks to",
                             ratioRoundedUp(record.size, record.compressedSize),
                             static_cast<std::uint64_t>(m_limits.maxRatio));
            }
            m_plan.totalBytes = saturatingAdd(m_plan.totalBytes, record.size);
        }
        m_plan.entries.push_back(std::move(entry));
        return {};
    }

    UnzipOutcome finish(std::uint64_t archiveSize) {
        if (m_plan.nodes.size() == 1 && m_leftBeside == 0) {
            return unzipFailure(UnzipResult::noMatchingFiles, UnzipCause::noMatchingFiles, "",
                                "no entry to unpack");
        }
        if (m_plan.totalBytes > m_limits.maxTotalBytes) {
            return limit(UnzipCause::totalSizeLimit, "", "the files declare in total",
                         m_plan.totalBytes, m_limits.maxTotalBytes);
        }
        if (pastRatio(m_plan.totalBytes, archiveSize, m_limits)) {
            return limit(UnzipCause::ratioLimit, "", "the archive unpacks to",
                         ratioRoundedUp(m_plan.totalBytes, archiveSize),
                         static_cast<std::uint64_t>(m_limits.maxRatio));
        }
        return {};
    }

private:
    static UnzipOutcome refuse(UnzipCause cause, const std::string& shown,
                               const std::string& what) {
        return unzipFailure(UnzipResult::archiveError, cause, shown, what);
    }

public:
    static UnzipOutcome limit(UnzipCause cause, const std::string& shown, const std::string& what,
                              std::uint64_t needed, std::uint64_t allowed) {
        const bool ratio = cause == UnzipCause::ratioLimit;
        const char* unit = cause == UnzipCause::entryCountLimit    ? " entries"
                           : cause == UnzipCause::folderCountLimit ? " folders"
                                                                   : " bytes";
        return unzipFailure(
            UnzipResult::limitExceeded, cause, shown,
            what + " " + std::to_string(needed) + (ratio ? " times its packed size" : unit) +
                ", more than the limit " + std::to_string(allowed) + (ratio ? "" : unit),
            needed, allowed);
    }

private:
    bool selects(const std::string& path) const {
        if (m_command.patterns.empty()) {
            return true;
        }
        for (const std::string& pattern : m_command.patterns) {
            if (wildcardMatch(pattern, path)) {
                return true;
            }
        }
        return false;
    }

    // Finds or adds the nodes of the path; the last one is the entry's.
    UnzipOutcome place(const std::vector<std::string>& components, PlannedEntry& entry,
                       const std::string& shown) {
        std::uint32_t parent = 0;
        for (std::size_t i = 0; i < components.size(); ++i) {
            const bool last = i + 1 == components.size();
            const bool wantFolder = !last || entry.folder;
            std::string key(reinterpret_cast<const char*>(&parent), sizeof parent);
            key += components[i];
            const auto [it, added] = m_index.try_emplace(
                std::move(key), static_cast<std::uint32_t>(m_plan.nodes.size()));
            if (added) {
                PlanNode node;
                node.parent = parent;
                node.name = m_plan.names.keep(components[i]).data();
                node.folder = wantFolder;
                node.inTopFolder =
                    parent != 0 && (m_plan.nodes[parent].inTopFolder ||
                                    (m_plan.nodes[parent].parent == 0 &&
                                     isTopFolderName(m_plan.nodes[parent].name, m_topFolder)));
                m_plan.nodes.push_back(std::move(node));
                // Counted as they are made: a few thousand deep names must not
                // cost millions of nodes before the limit tells.
                if (wantFolder && ++m_folders > m_limits.maxFolders) {
                    return limit(UnzipCause::folderCountLimit, shown, "the entries make at least",
                                 m_folders, m_limits.maxFolders);
                }
            } else if (m_plan.nodes[it->second].folder != wantFolder) {
                return refuse(UnzipCause::fileAndFolder, shown,
                              "the name is a file and a folder at once");
            } else if (!wantFolder) {
                return refuse(UnzipCause::fileAndFolder, shown, "the archive holds the file twice");
            }
            parent = it->second;
        }
        entry.node = parent;
        return {};
    }

    const UnzipCommand& m_command;
    const ExtractionLimits& m_limits;
    ExtractionPlan& m_plan;
    const std::string m_topFolder;
    void noteTopLevel(const std::string& name, bool folder) {
        const auto [it, added] = m_topLevelIndex.emplace(name, m_plan.topLevel.size());
        if (added) {
            m_plan.topLevel.push_back({name, folder});
        } else if (folder) {
            m_plan.topLevel[it->second].folder = true;
        }
    }

    const EntriesBeside m_entriesBeside;
    std::unordered_map<std::string, std::size_t> m_topLevelIndex;
    std::size_t m_leftBeside = 0;
    // Parent node (its four bytes) and name to node.
    std::unordered_map<std::string, std::uint32_t> m_index;
    std::uint64_t m_folders = 0;
};

} // namespace

bool isTopFolderName(std::string_view component, std::string_view baseName) {
    return component.size() == baseName.size() && upperAscii(component) == upperAscii(baseName);
}

UnzipOutcome planExtraction(const ZipDirectory& directory, const UnzipCommand& command,
                            const ExtractionLimits& limits, ExtractionPlan& plan,
                            EntriesBeside entriesBeside) {
    PlanBuilder builder(command, limits, plan, entriesBeside);
    if (directory.entries.size() > limits.maxEntries) {
        return PlanBuilder::limit(UnzipCause::entryCountLimit, "", "the archive lists",
                                  directory.entries.size(), limits.maxEntries);
    }
    plan.entries.reserve(directory.entries.size());
    // A node a file, and a few folders: grown past this only by deep names.
    plan.nodes.reserve(directory.entries.size() + 64);
    for (const ZipEntryRecord& record : directory.entries) {
        if (UnzipOutcome failure = builder.add(record); failure.result != UnzipResult::ok) {
            return failure;
        }
    }
    return builder.finish(directory.archiveSize);
}

std::string nodePath(const std::vector<PlanNode>& nodes, std::uint32_t node) {
    std::vector<const char*> names;
    for (; node != 0; node = nodes[node].parent) {
        names.push_back(nodes[node].name);
    }
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!path.empty()) {
            path += '/';
        }
        path += *it;
    }
    return path;
}

} // namespace morvik::platform
