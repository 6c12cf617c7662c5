// Where the program's own files live: the program folder and the paths formed from it, in
// portable and in installed mode.
#pragma once

#include <QString>
#include <QStringList>

namespace segmora {

// Portable: the program folder holds everything (Profiles/, Preferences.ini, the help page, the
// converter) and the program writes its settings and saved profiles there.
// Installed: the executable's folder holds the converter; the shipped profiles, default
// preferences and help page are read from the installed data folder, which is never written;
// the user's preferences and own profiles live in the user's configuration and data folders.
enum class ProgramMode { Portable, Installed };

// The folders of the installed mode.
struct InstalledFolders {
    QString dataFolder;        // shipped Profiles/, Preferences.ini and help page
    QString userConfigFolder;  // the user's Preferences.ini
    QString userProfileFolder; // profiles the user saves
    QString userCacheFolder;   // what the program may lose: scans of videos; none when empty
};

// The program folder is the executable's folder unless the application is given another one
// (tests run on their own temporary copy). Every folder it returns ends in "/".
class ProgramContext {
public:
    // The folder of the running executable, in the mode it calls for (see DetectMode), or in
    // installed mode whatever the folder when forceInstalled is set.
    static ProgramContext fromExecutable(bool forceInstalled = false);
    // A given folder in portable mode, made absolute; no trailing separator is needed.
    static ProgramContext forFolder(const QString& folder);
    // Installed mode with the converter in executableFolder and the given folders.
    static ProgramContext installed(const QString& executableFolder,
                                    const InstalledFolders& folders);

    // The folder of the executable that is running (no display is needed to find it).
    static QString ExecutableFolder();
    // The data folder an installation lays out beside the executable's folder
    // (bin/../share/segmora/).
    static QString InstalledDataFolderFor(const QString& executableFolder);
    // Installed when the executable's folder cannot be written to, or when it holds no
    // Profiles/ while the installed data folder beside it exists; portable otherwise.
    static ProgramMode DetectMode(const QString& executableFolder);
    // The user's folders as the desktop names them: $XDG_CONFIG_HOME/segmora/,
    // $XDG_DATA_HOME/segmora/Profiles/ and $XDG_CACHE_HOME/segmora/, with their usual
    // fallbacks under the home folder.
    static InstalledFolders UserFolders(const QString& dataFolder);

    ProgramMode mode() const { return m_mode; }
    const QString& programFolder() const { return m_programFolder; }
    QString converterPath() const;
    // The preferences the program reads and saves.
    QString preferencesPath() const;
    // The preferences shipped with the program: where the version text is read and what the
    // user's preferences are seeded from. The same file as preferencesPath() when portable.
    QString shippedPreferencesPath() const;
    // The folder profiles are saved into (Save as).
    QString profilesFolder() const;
    // The folders the catalogue lists, shipped before the user's own (one folder when
    // portable); a user's profile of the same name as a shipped one wins.
    QStringList profileFolders() const;
    QString helpPath() const;
    // Where the timeline keeps the scans of videos between runs: Cache/ beside the preferences
    // when portable, the user's cache folder when installed; empty when there is none.
    QString cacheFolder() const;
    // Where the cut list of each video is kept between runs: CutLists/ in the program folder
    // when portable, beside the user's profiles in the user's data folder when installed.
    QString cutListsFolder() const;
    // Where clips go when the preferences name no folder.
    QString defaultOutputFolder() const;
    // The profile file of a display name: profiles folder + name + ".apf", or the real file
    // name when a listed folder holds one that differs only in letter case. The user's own
    // profile is taken before a shipped one.
    QString profilePath(const QString& displayName) const;
    // Where a change to the profile of a display name is saved: its own file in the profiles
    // folder; a shipped profile of an installation is saved as the user's copy.
    QString profileSavePath(const QString& displayName) const;

    // Installed mode, first start: creates the user's folders and copies the shipped
    // preferences when the user has none. Nothing in portable mode. Raises
    // AppError("Unable to write to <path>") when a folder or the file cannot be made.
    void PrepareUserFolders() const;

private:
    ProgramMode m_mode = ProgramMode::Portable;
    QString m_programFolder;
    InstalledFolders m_installed;
};

} // namespace segmora
