// Loading a profile file into its values and saving the values back.
#include "profiles/profile_file.h"

#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "ground/whole_number.h"
#include "profiles/profile_catalogue.h"
#include "profiles/video_size.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace segmora {
namespace {

const QString kMain = QStringLiteral("Main");
const QString kCustom = QStringLiteral("Custom");

bool isBroken(const ProfileParameter& parameter) {
    if (parameter.sort < 1 || parameter.sort > 3)
        return true;
    if (!parameter.list)
        return false;
    return parameter.captions.isEmpty() || parameter.index < 0 ||
           parameter.index >= parameter.captions.size() ||
           parameter.values.size() < parameter.captions.size();
}

} // namespace

int IndexWithoutCase(const QStringList& list, const QString& text) {
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

std::vector<ProfileParameter> ReadProfileParameters(const IniSnapshot& file,
                                                    QStringList* brokenNames) {
    const int count = file.readInteger(kMain, QStringLiteral("Para"), 0);
    // Only keys that exist can name a parameter, so a huge Para stops at the last one present.
    int highestKey = -1;
    for (const QString& key : file.keys(kMain)) {
        const std::optional<int> index = ParseWholeNumber(key, {.plusSign = false});
        if (index && *index >= 0 && key == QString::number(*index))
            highestKey = std::max(highestKey, *index);
    }
    const int last = std::min(count, highestKey + 1);

    std::vector<ProfileParameter> parameters;
    for (int i = 0; i < last; ++i) {
        ProfileParameter p;
        p.name = file.readString(kMain, QString::number(i), QString());
        p.sort = file.readInteger(p.name, QStringLiteral("Sort"), -1);
        p.readOnly = file.readBool(p.name, QStringLiteral("ReadOnly"), false);
        p.cmd = file.readString(p.name, QStringLiteral("cmd"), QString());
        p.list = file.readBool(p.name, QStringLiteral("List"), true);
        p.caption = file.readString(p.name, QStringLiteral("Caption"), QString());
        p.value = file.readString(p.name, QStringLiteral("Value"), QString());
        p.index = file.readInteger(p.name, QStringLiteral("Index"), 0);
        if (p.list) {
            p.captions = SplitCaptionList(p.caption);
            p.values = SplitValueList(p.value);
            p.custom = file.readString(p.name, kCustom, QString());
        }
        if (isBroken(p)) {
            if (brokenNames)
                brokenNames->append(p.name);
            continue;
        }
        parameters.push_back(std::move(p));
    }
    return parameters;
}

QString ProfileFileProblem(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("The output profile \"%1\" cannot be read.").arg(path);
    const auto notAProfile = [&](const QString& why) {
        return QStringLiteral("The file \"%1\" is not an output profile: %2").arg(path, why);
    };
    if (file.size() > kLargestProfileBytes)
        return notAProfile(QStringLiteral("it is far too large for one."));
    const IniSnapshot ini = IniSnapshot::parse(file.read(kLargestProfileBytes));
    int count = -1;
    if (!IniSnapshot::parseInteger(ini.readString(kMain, QStringLiteral("Para"), QString()),
                                   &count) ||
        count < 0)
        return notAProfile(QStringLiteral("it has no [Main] section with a parameter count "
                                          "(Para)."));
    return QString();
}

QString ProfileOutputExtension(const IniSnapshot& file) {
    return QLatin1Char('.') + file.readString(kMain, QStringLiteral("Type"), QStringLiteral("mp4"));
}

QString LoadedValue(const ProfileParameter& parameter) {
    if (!parameter.list)
        return parameter.caption;
    // Only a size is taken: it is all the custom size dialog writes, and anything else would
    // reach the converter as a value the profile never offered.
    if (ParseCustomSize(parameter.custom) &&
        IndexWithoutCase(parameter.captions, parameter.custom) < 0)
        return parameter.custom;
    return parameter.captions.value(parameter.index);
}

ProfileValues ProfileValuesOf(const std::vector<ProfileParameter>& parameters) {
    ProfileValues values;
    for (const ProfileParameter& p : parameters) {
        if (p.list)
            values.append(p.sort, {p.name, LoadedValue(p), true, p.captions});
        else
            values.append(p.sort, {p.name, LoadedValue(p), p.readOnly, {}});
    }
    return values;
}

std::optional<QString> LoadProfile(const QString& path, ProfileValues& values) {
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    const IniSnapshot file = IniFile(path).snapshot();
    values = ProfileValuesOf(ReadProfileParameters(file));
    return ProfileOutputExtension(file);
}

void SaveProfile(const QString& path, const ProfileValues& values) {
    if (!QFileInfo(path).isFile())
        return;
    const IniFile ini(path);
    for (const ProfileParameter& p : ReadProfileParameters(ini.snapshot())) {
        if (p.readOnly)
            continue;
        const ProfileSetting* setting = values.setting(p.sort, p.name);
        if (!setting)
            continue;
        if (p.list) {
            // A value that is none of the row's choices would store an Index the next load
            // cannot use; the file's choice is kept instead, and a custom size goes beside it.
            const int index = IndexWithoutCase(setting->choices, setting->value);
            if (index >= 0) {
                ini.writeInteger(p.name, QStringLiteral("Index"), index);
                if (!p.custom.isEmpty())
                    ini.writeString(p.name, kCustom, QString());
            } else if (ParseCustomSize(setting->value)) {
                ini.writeString(p.name, kCustom, setting->value);
            }
        } else {
            ini.writeString(p.name, QStringLiteral("Caption"), setting->value);
            ini.writeString(p.name, QStringLiteral("Value"), setting->value);
        }
    }
}

void SaveProfileAs(const QString& source, const QString& target, const ProfileValues& values) {
    if (!QFileInfo(source).isFile())
        return;
    const QFileInfo sourceInfo(source);
    const QFileInfo targetInfo(target);
    const bool sameFile =
        targetInfo.exists() && sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath();
    if (!sameFile) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(QStringLiteral("Unable to write to ") + target);
        ReplaceFileContents(target, file.readAll());
    }
    SaveProfile(target, values);
}

} // namespace segmora
