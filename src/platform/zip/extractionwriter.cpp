// The extraction writer. Folders are reached through open folder handles,
// each opened from its parent without following links, so that a link planted
// below the destination leads nowhere; files are made with O_EXCL and
// O_NOFOLLOW under fresh names, so that nothing that was there (a link, a hard
// link, a FIFO) is ever written through or waited on.
#include "platform/zip/extractionwriter.h"

#include "platform/zip/unzipfailure.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace morvik::platform {

namespace {

std::atomic<JournalWatch> g_journalWatch{nullptr};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Renames from to to in one folder, failing with EEXIST when to exists.
int renameNoReplace(int folder, const char* from, const char* to) {
#ifndef __EMSCRIPTEN__
    if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // The file system knows no RENAME_NOREPLACE: a hard link fails as well
    // when the name is taken.
    if (::linkat(folder, from, folder, to, 0) == 0) {
        ::unlinkat(folder, from, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return -1;
    }
#endif
    // The web page's in-memory file system has neither RENAME_NOREPLACE nor
    // hard links; nothing but the page's one thread writes there, so the
    // check before the rename cannot be raced.
    struct stat existing {};
    if (::fstatat(folder, to, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(folder, from, folder, to);
}

} // namespace

// Open handles of the plan's folders, the most recently used kept open (a
// real archive has a handful of folders, so each stays open for the whole
// extraction; a pathological one with thousands costs reopening, never
// thousands of descriptors).
class ExtractionWriter::FolderHandles {
public:
    explicit FolderHandles(const std::vector<PlanNode>& nodes) : m_nodes(nodes) {}

    bool hasRoot() const { return static_cast<bool>(m_root); }
    int root() const { return m_root.get(); }
    void setRoot(Fd root) { m_root = std::move(root); }

    // The open folder of node, or -1 with errno set. With created given,
    // missing folders are made on the way and each one made is reported.
    int open(std::uint32_t node, const std::function<void(std::uint32_t)>* created) {
        std::vector<std::uint32_t> chain;
        int parent = -1;
        for (std::uint32_t n = node;; n = m_nodes[n].parent) {
            if (n == 0) {
                parent = m_root.get();
                break;
            }
            if (const int fd = cached(n); fd >= 0) {
                parent = fd;
                break;
            }
            chain.push_back(n);
        }
        if (parent < 0) {
            errno = ENOENT;
            return -1;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const char* name = m_nodes[*it].name;
            Fd child(::openat(parent, name, kFolderFlags));
            if (!child && errno == ENOENT && created != nullptr) {
                if (::mkdirat(parent, name, 0777) == 0) {
                    (*created)(*it);
                } else if (errno != EEXIST) {
                    return -1;
                }
                child = Fd(::openat(parent, name, kFolderFlags));
            }
            if (!child) {
                return -1;
            }
            parent = insert(*it, std::move(child));
        }
        return parent;
    }

private:
    static constexpr std::size_t kCapacity = 64;
    struct Slot {
        std::uint32_t node;
        Fd fd;
        std::uint64_t used;
    };

    int cached(std::uint32_t node) {
        for (Slot& slot : m_slots) {
            if (slot.node == node) {
                slot.used = ++m_clock;
                return slot.fd.get();
            }
        }
        return -1;
    }

    int insert(std::uint32_t node, Fd fd) {
        if (m_slots.size() < kCapacity) {
            m_slots.push_back({node, std::move(fd), ++m_clock});
            return m_slots.back().fd.get();
        }
        Slot* oldest = &m_slots.front();
        for (Slot& slot : m_slots) {
            if (slot.used < oldest->used) {
                oldest = &slot;
            }
        }
        *oldest = Slot{node, std::move(fd), ++m_clock};
        return oldest->fd.get();
    }

    const std::vector<PlanNode>& m_nodes;
    Fd m_root;
    std::vector<Slot> m_slots;
    std::uint64_t m_clock = 0;
};

ExtractionWriter::ExtractionWriter(const std::string& destination, const ExtractionPlan& plan,
                                   ExistingFiles existingFiles, dev_t archiveDevice,
                                   ino_t archiveInode)
    : m_destination(destination), m_plan(plan), m_existingFiles(existingFiles),
      m_archiveDevice(archiveDevice), m_archiveInode(archiveInode),
      m_folders(std::make_unique<FolderHandles>(plan.nodes)) {
    // Each file takes two steps at least (its temporary, then in place):
    // reserved once, the journal does not stand twice in memory as it grows.
    std::size_t files = 0;
    for (const PlannedEntry& entry : plan.entries) {
        files += entry.selected && !entry.folder ? 1 : 0;
    }
    m_journal.reserve(2 * files + 16);
    // Hidden names: a leftover after a crash does not count as an extracted
    // file, and the random part keeps two extractions from meeting.
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, ".unzip-%08x-",
                  static_cast<unsigned>(std::random_device()()));
    m_namePrefix = prefix;
}

ExtractionWriter::~ExtractionWriter() {
    if (!m_committed) {
        rollback();
    }
}

std::string ExtractionWriter::nameOf(std::uint64_t number) const {
    char counter[24];
    std::snprintf(counter, sizeof counter, "%llx", static_cast<unsigned long long>(number));
    return m_namePrefix + counter;
}

UnzipOutcome ExtractionWriter::notWritable(std::uint32_t node, const std::string& what,
                                           int error) const {
    UnzipOutcome outcome = unzipFailure(UnzipResult::diskFull, UnzipCause::notWritable,
                                        printableName(nodePath(m_plan.nodes, node)),
                                        what + " (" + std::strerror(error) + ")");
    outcome.error = error;
    return outcome;
}

UnzipOutcome ExtractionWriter::openDestination(bool create) {
    if (m_folders->hasRoot()) {
        return {};
    }
    Fd root(::open(m_destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root && errno == ENOENT && create) {
        // The destination and its missing parents, each one made noted.
        for (std::size_t slash = m_destination.find('/', 1); slash != std::string::npos;
             slash = m_destination.find('/', slash + 1)) {
            const std::string prefix = m_destination.substr(0, slash);
            if (::mkdir(prefix.c_str(), 0777) == 0) {
                m_journal.push_back(
                    {Step::createdDestination, false, 0, m_madeDestinations.size()});
                m_madeDestinations.push_back(prefix);
            } else if (errno != EEXIST) {
                return notWritable(0, "the destination " + m_destination + " cannot be made",
                                   errno);
            }
        }
        root = Fd(::open(m_destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (root) {
        m_folders->setRoot(std::move(root));
    } else if (errno != ENOENT || create) {
        return notWritable(0, "the destination " + m_destination + " cannot be opened", errno);
    }
    return {};
}

int ExtractionWriter::folder(std::uint32_t node, bool create, UnzipOutcome& failure) {
    failure = openDestination(create);
    if (failure.result != UnzipResult::ok) {
        return -1;
    }
    const std::function<void(std::uint32_t)> created = [this](std::uint32_t made) {
        m_journal.push_back({Step::createdFolder, false, made, 0});
        note('F', nodePath(m_plan.nodes, made));
    };
    const int fd = m_folders->open(node, create ? &created : nullptr);
    if (fd < 0) {
        failure = notWritable(node, "the folder cannot be opened or made", errno);
    }
    return fd;
}

UnzipOutcome ExtractionWriter::judgeExisting(std::uint32_t node,
                                             const struct stat& existing) const {
    const PlanNode& target = m_plan.nodes[node];
    if (S_ISDIR(existing.st_mode)) {
        return notWritable(node, "a folder stands where the archive has a file", EISDIR);
    }
    const std::string shown = printableName(nodePath(m_plan.nodes, node));
    if (existing.st_dev == m_archiveDevice && existing.st_ino == m_archiveInode) {
        return unzipFailure(UnzipResult::wouldReplaceFile, UnzipCause::existingFile, shown,
                            "the entry would replace the archive itself");
    }
    // Inside the top folder stands what an earlier extraction of this archive
    // (or someone since) put there: anything but a folder is replaced.
    if (target.inTopFolder) {
        return {};
    }
    if (!S_ISREG(existing.st_mode)) {
        return notWritable(node, "a link or special file stands where the archive has a file",
                           EEXIST);
    }
    if (m_existingFiles == ExistingFiles::replace) {
        return {};
    }
    return unzipFailure(UnzipResult::wouldReplaceFile, UnzipCause::existingFile, shown,
                        "the entry would replace an existing file outside the archive's folder");
}

UnzipOutcome ExtractionWriter::inspect() {
    if (UnzipOutcome failure = openDestination(false); failure.result != UnzipResult::ok) {
        return failure;
    }
    if (!m_folders->hasRoot()) {
        return {}; // no destination yet: nothing stands in the way
    }
    // Folders that exist already; below any other node nothing exists.
    std::vector<bool> present(m_plan.nodes.size(), false);
    present[0] = true;
    for (std::uint32_t node = 1; node < m_plan.nodes.size(); ++node) {
        const PlanNode& planned = m_plan.nodes[node];
        if (!present[planned.parent]) {
            continue;
        }
        UnzipOutcome failure;
        const int parent = folder(planned.parent, false, failure);
        if (parent < 0) {
            return failure;
        }
        struct stat existing {};
        if (::fstatat(parent, planned.name, &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                continue;
            }
            return notWritable(node, "cannot be looked at", errno);
        }
        if (planned.folder) {
            if (!S_ISDIR(existing.st_mode)) {
                return notWritable(node, "a link or file stands where the archive has a folder",
                                   ENOTDIR);
            }
            present[node] = true;
        } else if (failure = judgeExisting(node, existing); failure.result != UnzipResult::ok) {
            return failure;
        }
    }
    return {};
}

UnzipOutcome ExtractionWriter::makeFolder(std::uint32_t node) {
    UnzipOutcome failure;
    folder(node, true, failure);
    return failure;
}

UnzipOutcome ExtractionWriter::writeFile(std::uint32_t node,
                                         const std::function<UnzipOutcome(int fd)>& fill) {
    UnzipOutcome failure;
    const int parent = folder(m_plan.nodes[node].parent, true, failure);
    if (parent < 0) {
        return failure;
    }
    Fd file;
    std::uint64_t number = 0;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        number = freshNumber();
        const std::string name = nameOf(number);
        if (!note('T', nodeFolderPath(m_plan.nodes[node].parent) + name)) {
            return notWritable(node, "the journal cannot be written", errno);
        }
        file = Fd(::openat(parent, name.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666));
        if (!file && errno != EEXIST) {
            break;
        }
    }
    if (!file) {
        return notWritable(node, "no new file can be made beside it", errno);
    }
    m_journal.push_back({Step::temporary, false, node, number});
    if (failure = fill(file.get()); failure.result != UnzipResult::ok) {
        return failure;
    }
    // A full disk or quota may show only when the file is closed.
    if (!file.close()) {
        return notWritable(node, "the file cannot be written", errno);
    }
    return {};
}

UnzipOutcome ExtractionWriter::placeWritten() {
    UnzipOutcome failure;
    // The written files are the journal's temporaries, in writing order;
    // the steps below add to the journal behind them. A temporary already
    // put in place (undone) was placed by an earlier call.
    const std::size_t steps = m_journal.size();
    for (std::size_t position = 0; position < steps; ++position) {
        if (m_journal[position].step != Step::temporary || m_journal[position].undone) {
            continue;
        }
        const std::uint32_t node = m_journal[position].node;
        const std::string temporary = nameOf(m_journal[position].number);
        const PlanNode& target = m_plan.nodes[node];
        const int parent = folder(target.parent, false, failure);
        if (parent < 0) {
            break;
        }
        struct stat existing {};
        if (::fstatat(parent, target.name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
            // Checked again: something may have appeared since inspect().
            if (failure = judgeExisting(node, existing); failure.result != UnzipResult::ok) {
                break;
            }
            // Kept aside, not removed, until every file is in place.
            std::uint64_t aside = 0;
            int status = -1;
            const std::string folderPath = nodeFolderPath(target.parent);
            for (int attempt = 0; attempt < 100 && status != 0; ++attempt) {
                aside = freshNumber();
                const std::string asideName = nameOf(aside);
                if (!note('A', folderPath + target.name, folderPath + asideName)) {
                    break;
                }
                status = renameNoReplace(parent, target.name, asideName.c_str());
                if (status != 0 && errno != EEXIST) {
                    break;
                }
            }
            if (status != 0) {
                failure = notWritable(node, "the existing file cannot be moved aside", errno);
                break;
            }
            m_journal.push_back({Step::movedAside, false, node, aside});
        } else if (errno != ENOENT) {
            failure = notWritable(node, "cannot be looked at", errno);
            break;
        }
        if (!note('P', nodeFolderPath(target.parent) + target.name,
                  nodeFolderPath(target.parent) + temporary) ||
            renameNoReplace(parent, temporary.c_str(), target.name) != 0) {
            failure = notWritable(node, "the file cannot be put in place", errno);
            break;
        }
        m_journal[position].undone = true;
        m_journal.push_back({Step::placed, false, node, 0});
    }
    if (failure.result != UnzipResult::ok) {
        rollback();
    }
    return failure;
}

UnzipOutcome ExtractionWriter::commit() {
    if (UnzipOutcome failure = placeWritten(); failure.result != UnzipResult::ok) {
        return failure;
    }
    for (const JournalEntry& entry : m_journal) {
        if (entry.step == Step::movedAside) {
            UnzipOutcome ignored;
            if (const int parent = folder(m_plan.nodes[entry.node].parent, false, ignored);
                parent >= 0) {
                ::unlinkat(parent, nameOf(entry.number).c_str(), 0);
            }
        }
    }
    m_journal = std::vector<JournalEntry>();
    m_madeDestinations.clear();
    removeJournal();
    m_committed = true;
    return {};
}

void ExtractionWriter::rollback() {
    for (auto it = m_journal.rbegin(); it != m_journal.rend(); ++it) {
        if (it->step == Step::createdDestination) {
            ::rmdir(m_madeDestinations[it->number].c_str());
            continue;
        }
        const PlanNode& target = m_plan.nodes[it->node];
        UnzipOutcome ignored;
        const int parent = folder(target.parent, false, ignored);
        if (parent < 0) {
            continue;
        }
        switch (it->step) {
        case Step::placed:
            ::unlinkat(parent, target.name, 0);
            break;
        case Step::movedAside:
            ::renameat(parent, nameOf(it->number).c_str(), parent, target.name);
            break;
        case Step::temporary:
            if (!it->undone) {
                ::unlinkat(parent, nameOf(it->number).c_str(), 0);
            }
            break;
        case Step::createdFolder:
            ::unlinkat(parent, target.name, AT_REMOVEDIR);
            break;
        case Step::createdDestination:
            break;
        }
    }
    m_journal = std::vector<JournalEntry>();
    m_madeDestinations.clear();
    removeJournal();
}

std::string ExtractionWriter::nodeFolderPath(std::uint32_t node) const {
    const std::string path = nodePath(m_plan.nodes, node);
    return path.empty() ? path : path + "/";
}

bool ExtractionWriter::note(char step, const std::string& path, const std::string& other) {
    if (!m_folders->hasRoot()) {
        return true; // nothing written yet
    }
    if (!m_journalFile) {
        for (int attempt = 0; attempt < 100 && !m_journalFile; ++attempt) {
            char name[96];
            std::snprintf(name, sizeof name, "%s%ld-%08x%s", kJournalPrefix,
                          static_cast<long>(::getpid()),
                          static_cast<unsigned>(std::random_device()()), kJournalSuffix);
            m_journalName = name;
            m_journalFile =
                Fd(::openat(m_folders->root(), name,
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_APPEND, 0600));
            if (!m_journalFile && errno != EEXIST) {
                return false;
            }
        }
        if (!m_journalFile) {
            return false;
        }
    }
    std::string line;
    line += step;
    line += '\t';
    line += path;
    line += '\t';
    line += other;
    line += '\n';
    // One write per line: a kill leaves whole lines, or a last partial one
    // that the replay ignores.
    if (::write(m_journalFile.get(), line.data(), line.size()) !=
        static_cast<ssize_t>(line.size())) {
        return false;
    }
    const std::size_t lines = ++m_stepLines[static_cast<unsigned char>(step)];
    if (const JournalWatch watch = g_journalWatch.load()) {
        watch(step, lines);
    }
    return true;
}

void setJournalWatch(JournalWatch watch) {
    g_journalWatch.store(watch);
}

void ExtractionWriter::removeJournal() {
    if (m_journalFile) {
        m_journalFile.close();
        ::unlinkat(m_folders->root(), m_journalName.c_str(), 0);
    }
}

namespace {

// One journal, replayed backwards: temporaries removed, files put in place
// removed where their temporary is gone, files moved aside put back, made
// folders removed when empty.
void replayJournal(int root, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    // A last line without its line break was cut by the kill.
    if (!text.empty() && text.back() != '\n' && !lines.empty()) {
        lines.pop_back();
    }
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::size_t tab = it->find('\t');
        const std::size_t tab2 = tab == std::string::npos ? tab : it->find('\t', tab + 1);
        if (it->size() < 2 || tab != 1 || tab2 == std::string::npos) {
            continue;
        }
        const std::string path = it->substr(2, tab2 - 2);
        const std::string other = it->substr(tab2 + 1);
        // Names from the journal were checked when the archive was planned;
        // still, nothing that leaves the destination is touched.
        if (path.empty() || path.front() == '/' || path.find("..") != std::string::npos ||
            other.find("..") != std::string::npos) {
            continue;
        }
        struct stat info {};
        switch ((*it)[0]) {
        case 'T':
            ::unlinkat(root, path.c_str(), 0);
            break;
        case 'P':
            // Put in place (its temporary is gone): removed. Not yet (the
            // temporary is still there): nothing to undo.
            if (::fstatat(root, other.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
                ::unlinkat(root, path.c_str(), 0);
            }
            break;
        case 'A':
            if (::fstatat(root, other.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                ::renameat(root, other.c_str(), root, path.c_str());
            }
            break;
        case 'F':
            ::unlinkat(root, path.c_str(), AT_REMOVEDIR);
            break;
        default:
            break;
        }
    }
}

// The process id in a journal's name, or 0.
long journalOwner(const std::string& name) {
    const std::size_t start = std::strlen(ExtractionWriter::kJournalPrefix);
    const std::size_t dash = name.find('-', start);
    if (dash == std::string::npos) {
        return 0;
    }
    try {
        return std::stol(name.substr(start, dash - start));
    } catch (...) {
        return 0;
    }
}

// The names of the extraction journals in the folder root.
std::vector<std::string> journalNames(int root) {
    std::vector<std::string> journals;
    const int copy = ::dup(root);
    if (copy < 0) {
        return journals;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(copy), ::closedir);
    if (!dir) {
        ::close(copy);
        return journals;
    }
    // The copy shares its position with every other copy of the handle.
    ::rewinddir(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.starts_with(ExtractionWriter::kJournalPrefix) &&
            name.ends_with(ExtractionWriter::kJournalSuffix)) {
            journals.push_back(name);
        }
    }
    return journals;
}

} // namespace

std::uint64_t recoverInterruptedExtractions(const std::string& destination) {
    const Fd root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root) {
        return 0;
    }
    const std::vector<std::string> journals = journalNames(root.get());
    std::uint64_t replayed = 0;
    for (const std::string& name : journals) {
        const long owner = journalOwner(name);
        // A journal of a process that still runs (this one included) belongs
        // to an extraction under way.
        if (owner <= 0 || owner == static_cast<long>(::getpid()) ||
            ::kill(static_cast<pid_t>(owner), 0) == 0 || errno == EPERM) {
            continue;
        }
        const Fd file(::openat(root.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!file) {
            continue;
        }
        std::string text;
        char buffer[65536];
        for (ssize_t n; (n = ::read(file.get(), buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        replayJournal(root.get(), text);
        ::unlinkat(root.get(), name.c_str(), 0);
        ++replayed;
    }
    return replayed;
}

} // namespace morvik::platform

namespace morvik::platform {

namespace {

// ".unzip-" + 8 hex digits + "-" + 1 to 16 hex digits: the names of our
// temporaries (ExtractionWriter::nameOf) and nothing a person writes.
bool isTemporaryName(std::string_view name) {
    constexpr std::string_view kStart = ".unzip-";
    const auto hex = [](std::string_view digits) {
        return !digits.empty() &&
               digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
    };
    if (!name.starts_with(kStart) || name.size() < kStart.size() + 10 ||
        name[kStart.size() + 8] != '-') {
        return false;
    }
    const std::string_view counter = name.substr(kStart.size() + 9);
    return hex(name.substr(kStart.size(), 8)) && hex(counter) && counter.size() <= 16;
}

// The temporaries named in the journals of extractions still under way.
std::set<std::string> temporariesInUse(int root) {
    std::set<std::string> inUse;
    for (const std::string& name : journalNames(root)) {
        const Fd file(::openat(root, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        std::string text;
        char buffer[65536];
        for (ssize_t n; file && (n = ::read(file.get(), buffer, sizeof buffer)) > 0;) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            const std::size_t tab2 = line.size() > 2 ? line.find('\t', 2) : std::string::npos;
            if (tab2 != std::string::npos) {
                inUse.insert(line.substr(2, tab2 - 2));
                inUse.insert(line.substr(tab2 + 1));
            }
        }
    }
    return inUse;
}

// Removes our temporaries in folder (at path below the destination) and,
// down to depth more levels, in its sub-folders; links are not followed.
std::uint64_t removeTemporariesIn(int folder, const std::string& path,
                                  const std::set<std::string>& inUse, int depth) {
    DIR* dir = ::fdopendir(::dup(folder));
    if (dir == nullptr) {
        return 0;
    }
    ::rewinddir(dir);
    std::vector<std::string> temporaries;
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (name == "." || name == ".." ||
            ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(info.st_mode) && isTemporaryName(name) && inUse.count(path + name) == 0) {
            temporaries.push_back(name);
        } else if (S_ISDIR(info.st_mode) && depth > 0) {
            folders.push_back(name);
        }
    }
    ::closedir(dir);
    std::uint64_t removed = 0;
    for (const std::string& name : temporaries) {
        removed += ::unlinkat(folder, name.c_str(), 0) == 0 ? 1 : 0;
    }
    for (const std::string& name : folders) {
        const Fd sub(
            ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub) {
            removed += removeTemporariesIn(sub.get(), path + name + "/", inUse, depth - 1);
        }
    }
    return removed;
}

} // namespace

std::uint64_t removeStaleTemporaries(const std::string& destination,
                                     const std::vector<std::string>& topFolders) {
    const Fd root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root) {
        return 0;
    }
    const std::set<std::string> inUse = temporariesInUse(root.get());
    std::uint64_t removed = removeTemporariesIn(root.get(), "", inUse, 0);
    for (const std::string& name : topFolders) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
            continue;
        }
        const Fd top(
            ::openat(root.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (top) {
            removed += removeTemporariesIn(top.get(), name + "/", inUse, kMaxTemporaryDepth);
        }
    }
    return removed;
}

} // namespace morvik::platform
