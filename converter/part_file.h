// The temporary file a clip is written to, ".NAME.part" beside OUTPUT, and its fate.
//
// The split job relies on that name to clean up after a converter it had to kill. OUTPUT is
// touched only by the final rename, so an existing clip survives every failure.
#pragma once

#include <string>

namespace vorkast {

// ".NAME.part" in OUTPUT's folder. A NAME too long for that (more than 249 bytes) is cut at
// a character's edge to fit the file system's 255 bytes; OUTPUT keeps its full name.
std::string partPathFor(const std::string& output);

// Throws ConvertError when OUTPUT is SOURCE itself, by any path, link or hard link.
void refuseOutputIsSource(const std::string& source, const std::string& output);

// Where a clip named OUTPUT is really written: a symbolic link's target, so the link stays.
std::string writtenPath(const std::string& output);

class PartFile {
public:
    // Checks that OUTPUT may be written (not a folder; absent unless overwrite) and arms the
    // removal of the part file on signals. A symbolic link as OUTPUT is written through: the
    // part file lies beside its target and replaces the target. Throws ConvertError otherwise.
    // Creates nothing yet.
    //
    // removal of the part file on signals. Throws ConvertError otherwise. Creates nothing yet.
    PartFile(const std::string& output, bool overwrite);
    // Removes the part file unless commit() succeeded.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    const std::string& path() const { return m_part; }
    // Renames the finished part file over OUTPUT. Throws ConvertError on failure.
    void commit();

private:
    std::string m_output;
    std::string m_part;
    bool m_overwrite;
    bool m_committed = false;
};

// Async-signal-safe: removes the armed part file, if any. For signal handlers and the watchdog.
void removePartFileNow();

// SIGTERM, SIGINT and SIGHUP remove the part file, say so and end the program with status 128 +
// signal. SIGPIPE and SIGXFSZ are ignored: the write that meets them fails instead, and the run
// ends through its own failure path.
void installTerminationHandlers();

} // namespace vorkast
