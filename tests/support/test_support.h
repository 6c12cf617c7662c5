// Shared test helpers: a private copy of the program folder and the generated media fixtures.
#pragma once

#include "ground/program_context.h"

#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace segmora::test {

// A temporary copy of the built program folder (segmora, vorkast, Profiles/, Preferences.ini,
// help), removed when the object goes out of scope.
class TempProgramFolder {
public:
    TempProgramFolder();
    QString path() const; // with trailing separator
    ProgramContext context() const { return ProgramContext::forFolder(path()); }
    // Writes a file inside the folder (creating sub-folders) and returns its full path.
    QString writeFile(const QString& relativePath, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};

// While alive, no file this process writes may grow past `bytes` (RLIMIT_FSIZE), as on a full
// disk: a write beyond the limit fails with EFBIG, SIGXFSZ being ignored meanwhile instead of
// ending the process. Needs no privileges. Keep only the write under test inside its scope:
// the test's own output, when it goes to a file, is limited too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    // Whether the limit took effect.
    bool active() const { return m_active; }

private:
    struct rlimit m_previousLimit {};
    struct sigaction m_previousAction {};
    bool m_active = false;
};

// Full path of a generated media fixture (tests/fixtures/make_fixtures.sh).
QString fixture(const QString& name);

// Fails the running test function on any error libmpv logs and any call it refuses (the media
// graph writes both as warnings beginning with "libmpv"). Call it in init(), or at the start of
// a test function; a test that plays broken media on purpose leaves it out.
void failOnPlayerErrors();

} // namespace segmora::test
