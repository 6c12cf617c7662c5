// Building the profile part of the converter's command line.
#include "profiles/profile_arguments.h"

#include "ground/ini_file.h"
#include "profiles/profile_file.h"
#include "profiles/value_list_editor.h"

#include <QFileInfo>

namespace segmora {

QString BuildProfileArguments(const QString& path, const ProfileGrids& grids) {
    QString arguments;
    if (!QFileInfo(path).isFile())
        return arguments;
    for (const ProfileParameter& p : ReadProfileParameters(IniFile(path).snapshot())) {
        const TValueListEditor* grid = grids.forSort(p.sort);
        const QString current = grid ? grid->value(p.name) : QString();
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

} // namespace segmora
