// Where the program's own files live: the program folder and the paths formed from it.
#pragma once

#include <QString>

namespace segmora {

// The program folder is the executable's folder unless the application is given another one
// (tests run on their own temporary copy). It always ends in the platform separator.
class ProgramContext {
public:
    // The folder of the running executable.
    static ProgramContext fromExecutable();
    // A given folder, made absolute; no trailing separator is needed.
    static ProgramContext forFolder(const QString& folder);

    const QString& programFolder() const { return m_programFolder; }
    QString converterPath() const;
    QString preferencesPath() const;
    QString profilesFolder() const; // with trailing separator
    QString helpPath() const;
    // The profile file of a display name: profiles folder + name + ".apf", or the real file
    // name when the catalogue holds one that differs only in letter case.
    QString profilePath(const QString& displayName) const;

private:
    QString m_programFolder;
};

} // namespace segmora
