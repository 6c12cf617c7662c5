// Loading a profile file into the grids and saving the grids' choices back.
#include "profiles/profile_file.h"

#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "ground/whole_number.h"
#include "profiles/profile_catalogue.h"
#include "profiles/value_list_editor.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace segmora {
namespace {

const QString kMain = QStringLiteral("Main");

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

TValueListEditor* ProfileGrids::forSort(int sort) const {
    switch (sort) {
    case 1:
        return video;
    case 2:
        return audio;
    case 3:
        return advanced;
    default:
        return nullptr;
    }
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

QString ProfileOutputExtension(const IniSnapshot& file) {
    return QLatin1Char('.') + file.readString(kMain, QStringLiteral("Type"), QStringLiteral("mp4"));
}

std::optional<QString> LoadProfile(const QString& path, const ProfileGrids& grids) {
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    const IniSnapshot file = IniFile(path).snapshot();
    for (TValueListEditor* grid : {grids.video, grids.audio, grids.advanced}) {
        if (grid)
            grid->clearRows();
    }
    for (const ProfileParameter& p : ReadProfileParameters(file)) {
        TValueListEditor* grid = grids.forSort(p.sort);
        if (!grid)
            continue;
        const int row = grid->appendRow(p.name, QString(), p.readOnly);
        if (p.list) {
            grid->setPickList(row, p.captions);
            grid->setValueAt(row, p.captions.at(p.index));
            grid->setReadOnly(row, true);
        } else {
            grid->setValueAt(row, p.caption);
        }
    }
    return ProfileOutputExtension(file);
}

void SaveProfile(const QString& path, const ProfileGrids& grids) {
    if (!QFileInfo(path).isFile())
        return;
    const IniFile ini(path);
    for (const ProfileParameter& p : ReadProfileParameters(ini.snapshot())) {
        if (p.readOnly)
            continue;
        TValueListEditor* grid = grids.forSort(p.sort);
        const int row = grid ? grid->findRow(p.name) : -1;
        if (row < 0)
            continue;
        const QString current = grid->valueAt(row);
        if (p.list) {
            // A value that is none of the row's choices would store an Index the next load
            // cannot use; the file's choice is kept instead.
            const int index = IndexWithoutCase(grid->pickList(row), current);
            if (index >= 0)
                ini.writeInteger(p.name, QStringLiteral("Index"), index);
        } else {
            ini.writeString(p.name, QStringLiteral("Caption"), current);
            ini.writeString(p.name, QStringLiteral("Value"), current);
        }
    }
}

void SaveProfileAs(const QString& source, const QString& target, const ProfileGrids& grids) {
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
    SaveProfile(target, grids);
}

} // namespace segmora
