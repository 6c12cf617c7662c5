// Building the profile part of the converter's command line.
#include "profiles/profile_arguments.h"

#include "ground/ini_file.h"
#include "profiles/profile_file.h"
#include "profiles/value_list_editor.h"

#include <QFileInfo>

namespace segmora {

namespace {

// current(parameter) is the value its row holds.
template <typename Current> QString buildArguments(const QString& path, Current currentOf) {
    QString arguments;
    if (!QFileInfo(path).isFile())
        return arguments;
    for (const ProfileParameter& p : ReadProfileParameters(IniFile(path).snapshot())) {
        const QString current = currentOf(p);
        QString value;
        if (p.list) {
            const int choice = IndexWithoutCase(p.captions, current);
            value = choice >= 0 ? p.values.at(choice) : current;
        } else if (p.readOnly) {
            value = p.value;
        } else {
            value = current;
        }
        if (p.cmd.isEmpty() || value.isEmpty())
            continue;
        // A lone backslash marks a flag that takes no value.
        if (value == QLatin1String("\\"))
            value.clear();
        arguments += QLatin1Char(' ') + p.cmd + QLatin1Char(' ') + value;
    }
    return arguments;
}

} // namespace

QString BuildProfileArguments(const QString& path, const ProfileGrids& grids) {
    return buildArguments(path, [&grids](const ProfileParameter& p) {
        const TValueListEditor* grid = grids.forSort(p.sort);
        return grid ? grid->value(p.name) : QString();
    });
}

QString BuildSavedProfileArguments(const QString& path) {
    // The values the grids show right after the profile is loaded.
    return buildArguments(path, [](const ProfileParameter& p) {
        return p.list ? p.captions.value(p.index) : p.caption;
    });
}

} // namespace segmora
