// Reading and saving the preferences through the INI layer.
#include "ground/preferences.h"

#include "ground/ini_file.h"

namespace segmora {
namespace {

const QString kPreview = QStringLiteral("Preview");
const QString kOverwrite = QStringLiteral("Overwrite");
const QString kAptotic = QStringLiteral("Aptotic");
const QString kOutputDir = QStringLiteral("Output Dir");
const QString kAutoOpenDir = QStringLiteral("Auto Open Dir");
const QString kAutoExit = QStringLiteral("Auto Exit");
const QString kAutoTurnOff = QStringLiteral("Auto Turn Off");
const QString kProfile = QStringLiteral("Profile");
const QString kProfileName = QStringLiteral("Profile Name");

} // namespace

PreferenceValues DefaultPreferenceValues(const ProgramContext& context) {
    PreferenceValues values;
    values.outputDir = context.defaultOutputFolder();
    return values;
}

PreferenceValues ReadPreferenceValues(const ProgramContext& context, bool loadDefaults) {
    const QString& section = loadDefaults ? kPreferencesDefaultSection : kPreferencesMainSection;
    const PreferenceValues fallback = DefaultPreferenceValues(context);
    // Key by key, straight from the file, so an edit made outside the program between two
    // reads is seen exactly as a later read would see it.
    const IniFile file(context.preferencesPath());
    PreferenceValues values;
    values.preview = file.readBool(section, kPreview, fallback.preview);
    values.overwrite = file.readBool(section, kOverwrite, fallback.overwrite);
    values.aptotic = file.readBool(section, kAptotic, fallback.aptotic);
    values.outputDir = file.readString(section, kOutputDir, fallback.outputDir);
    values.autoOpenDir = file.readBool(section, kAutoOpenDir, fallback.autoOpenDir);
    values.autoExit = file.readBool(section, kAutoExit, fallback.autoExit);
    values.autoTurnOff = file.readBool(section, kAutoTurnOff, fallback.autoTurnOff);
    return values;
}

int ReadSavedProfileIndex(const ProgramContext& context) {
    return IniFile(context.preferencesPath()).readInteger(kPreferencesMainSection, kProfile, 0);
}

int SavedProfileChoice(const ProgramContext& context, const QStringList& displayNames) {
    const IniSnapshot file = IniFile(context.preferencesPath()).snapshot();
    const QString name = file.readString(kPreferencesMainSection, kProfileName, QString());
    const qsizetype named = name.isEmpty() ? -1 : displayNames.indexOf(name);
    if (named >= 0)
        return int(named);
    return file.readInteger(kPreferencesMainSection, kProfile, 0);
}

bool ReadAptoticNow(const ProgramContext& context) {
    return IniFile(context.preferencesPath())
        .readBool(kPreferencesMainSection, kAptotic, DefaultPreferenceValues(context).aptotic);
}

void WritePreferenceValues(const ProgramContext& context, const PreferenceValues& values,
                           int profileIndex, const QString& profileName) {
    const IniFile file(context.preferencesPath());
    const QString& section = kPreferencesMainSection;
    file.writeBool(section, kPreview, values.preview);
    file.writeBool(section, kOverwrite, values.overwrite);
    file.writeBool(section, kAptotic, values.aptotic);
    file.writeString(section, kOutputDir, values.outputDir);
    file.writeBool(section, kAutoOpenDir, values.autoOpenDir);
    file.writeBool(section, kAutoExit, values.autoExit);
    file.writeBool(section, kAutoTurnOff, values.autoTurnOff);
    file.writeInteger(section, kProfile, profileIndex);
    file.writeString(section, kProfileName, profileName);
}

} // namespace segmora
