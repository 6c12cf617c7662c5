// The temporary file a clip is written to, ".NAME.PID.part" beside OUTPUT, and its fate.
//
// A part file belongs to the one run that created it: it is created exclusively under a name
// holding the run's process id, locked while the run lives, and put in place only while it is
// still the file this run created. Runs making the same clip at once (two windows, a batch
// started twice) never write into one file, and a clip appears under OUTPUT only whole. The
// split job relies on the name to clean up after a converter it had to kill. OUTPUT is touched
// only by the final rename, so an existing clip survives every failure.
#pragma once

#include <string>

namespace vorkast {

// ".NAME.PID.part" in OUTPUT's folder for this process (see contract::partFileName).
std::string partPathFor(const std::string& output);

// Throws ConvertError when OUTPUT is SOURCE itself, by any path, link or hard link.
void refuseOutputIsSource(const std::string& source, const std::string& output);

// Where a clip named OUTPUT is really written: a symbolic link's target, so the link stays.
std::string writtenPath(const std::string& output);

class PartFile {
public:
    // Checks that OUTPUT may be written (a name the file system holds, not a folder, absent
    // unless overwrite, in an existing folder), removes part files of the same clip whose runs
    // are gone, and arms the removal of this run's part file on signals. A symbolic link as
    // OUTPUT is written through: the part file lies beside its target and replaces the target.
    // Throws ConvertError otherwise. Creates nothing yet.
    PartFile(const std::string& output, bool overwrite);
    // Removes the part file unless commit() succeeded, when it is still this run's.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& path() const { return m_part; }
    // Creates the part file exclusively and locks it; returns its descriptor, which stays owned
    // here. Throws ConvertError when it cannot be created.
    int create();
    // Renames the finished part file over OUTPUT, if it is still the file create() made.
    // Throws ConvertError on failure.
    void commit();

private:
    std::string m_output;
    std::string m_part;
    int m_fd = -1;
    bool m_overwrite;
    bool m_committed = false;
};

// Async-signal-safe: removes the armed part file, if any and still this run's. For signal
// handlers and the watchdog.
void removePartFileNow();

// SIGTERM, SIGINT and SIGHUP remove the part file, say so and end the program with status 128 +
// signal. SIGPIPE and SIGXFSZ are ignored: the write that meets them fails instead, and the run
// ends through its own failure path.
void installTerminationHandlers();

} // namespace vorkast
