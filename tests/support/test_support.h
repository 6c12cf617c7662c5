// Shared test helpers: a private copy of the program folder and the generated media fixtures.
#pragma once

#include "ground/program_context.h"

#include <QString>
#include <QTemporaryDir>

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

// Full path of a generated media fixture (tests/fixtures/make_fixtures.sh).
QString fixture(const QString& name);

// Fails the running test function on any error libmpv logs and any call it refuses (the media
// graph writes both as warnings beginning with "libmpv"). Call it in init(), or at the start of
// a test function; a test that plays broken media on purpose leaves it out.
void failOnPlayerErrors();

} // namespace segmora::test
