// Writing a planned extraction below the destination, all or nothing. Each
// file is written into a fresh temporary file beside its target (never into
// anything that was there) and renamed into place only when every file has
// been written; a journal of what this extraction made, moved aside and put
// in place lets rollback() leave the destination exactly as it found it.
#pragma once

#include "platform/fs/fd.h"
#include "platform/zip/extractionplan.h"
#include "platform/zip/unzip.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace morvik::platform {

class ExtractionWriter {
public:
    // archiveDevice and archiveInode identify the archive being read, which is
    // never replaced.
    ExtractionWriter(const std::string& destination, const ExtractionPlan& plan,
                     ExistingFiles existingFiles, dev_t archiveDevice, ino_t archiveInode);
    // Rolls back unless commit() succeeded.
    ~ExtractionWriter();
    ExtractionWriter(const ExtractionWriter&) = delete;
    ExtractionWriter& operator=(const ExtractionWriter&) = delete;

    // Looks at what the destination holds already, writing nothing: a link or
    // file where a folder belongs, a folder where a file belongs, or a file
    // that may not be replaced refuses the extraction.
    UnzipOutcome inspect();

    // Makes the folder node exist, with its parents.
    UnzipOutcome makeFolder(std::uint32_t node);

    // Writes the file node through fill, which gets a fresh, empty temporary
    // file beside the target and says whether its data was sound.
    UnzipOutcome writeFile(std::uint32_t node, const std::function<UnzipOutcome(int fd)>& fill);

    // Puts the files written so far in place, keeping what they replace
    // aside: files that later ones need (schemas) are placed early. They are
    // this extraction's like the others: a later failure or rollback()
    // removes them and puts back what they replaced. On failure everything is
    // rolled back.
    UnzipOutcome placeWritten();

    // Puts every written file in place, keeping what it replaces aside until
    // all are in place, then drops what was kept aside; on failure
    // everything is rolled back.
    UnzipOutcome commit();

    // Removes what this extraction made and puts back what it moved aside.
    void rollback();

    // Name of the journal file an extraction keeps in its destination while
    // it works: what it made, moved aside and put in place, one line each,
    // written before the step, so that a run after a kill can undo it.
    static constexpr const char* kJournalPrefix = ".morvik-unzip-";
    static constexpr const char* kJournalSuffix = ".journal";

private:
    class FolderHandles;
    enum class Step : std::uint8_t {
        createdDestination,
        createdFolder,
        temporary,
        movedAside,
        placed
    };
    // One step, without names: a temporary or aside name is rebuilt from its
    // number (nameOf), a made destination folder is in m_madeDestinations.
    // An archive of 100,000 files keeps 16 bytes a step, not a string.
    struct JournalEntry {
        Step step;
        bool undone = false; // a temporary that became the placed file
        std::uint32_t node;  // the folder, or the file whose folder is meant
        // The temporary's or aside name's number; for createdDestination the
        // place in m_madeDestinations.
        std::uint64_t number = 0;
    };

    UnzipOutcome openDestination(bool create);
    int folder(std::uint32_t node, bool create, UnzipOutcome& failure);
    // What may stand where a file goes; ok when nothing or something to replace.
    UnzipOutcome judgeExisting(std::uint32_t node, const struct stat& existing) const;
    // The number of a name no file of this extraction has had yet.
    std::uint64_t freshNumber() { return m_nameCounter++; }
    std::string nameOf(std::uint64_t number) const;
    UnzipOutcome notWritable(std::uint32_t node, const std::string& what, int error) const;
    // Adds the step to the journal file (made on the first step); false when
    // it cannot be written, and then the step must not be taken.
    bool note(char step, const std::string& path, const std::string& other = {});
    std::string nodeFolderPath(std::uint32_t node) const;
    void removeJournal();

    std::string m_destination;
    const ExtractionPlan& m_plan;
    ExistingFiles m_existingFiles;
    dev_t m_archiveDevice;
    ino_t m_archiveInode;
    std::unique_ptr<FolderHandles> m_folders;
    std::vector<JournalEntry> m_journal;
    // The destination's folders this extraction made, parents first.
    std::vector<std::string> m_madeDestinations;
    std::string m_namePrefix;
    std::uint64_t m_nameCounter = 0;
    bool m_committed = false;
    Fd m_journalFile;
    std::string m_journalName;
    std::array<std::size_t, 256> m_stepLines{}; // journal lines by step
};

} // namespace morvik::platform
