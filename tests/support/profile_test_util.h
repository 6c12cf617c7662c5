// Small helpers shared by the profile tests: writing profile files, describing profile values
// and the editor's grids that show them.
#pragma once

#include "profiles/profile_editor_form.h"
#include "profiles/profile_file.h"
#include "profiles/profile_values.h"
#include "profiles/value_list_editor.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <memory>

namespace segmora::test {

inline bool writeText(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

inline QByteArray readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One row as "key=value"; "!" marks a read-only row, "[a/b]" a pick list.
inline QString describeRow(const QString& key, const QString& value, bool readOnly,
                           const QStringList& choices) {
    QString text = key + QLatin1Char('=') + value;
    if (readOnly)
        text += QLatin1Char('!');
    if (!choices.isEmpty())
        text += QLatin1Char('[') + choices.join(QLatin1Char('/')) + QLatin1Char(']');
    return text;
}

// One grid, its rows separated by "; ".
inline QString describe(const TValueListEditor& grid) {
    QStringList rows;
    for (int row = 0; row < grid.rowCount(); ++row)
        rows.append(describeRow(grid.keyAt(row), grid.valueAt(row), grid.isReadOnly(row),
                                grid.pickList(row)));
    return rows.join(QLatin1String("; "));
}

// The editor's three grids as they show, separated by " | ".
inline QString describeGrids(const TopSettingForm& form) {
    return describe(*form.vleVideo) + QLatin1String(" | ") + describe(*form.vleAudio) +
           QLatin1String(" | ") + describe(*form.vleAdvanced);
}

// Profile values as the editor's grids would show them, in the same form.
inline QString describe(const ProfileValues& values) {
    QStringList groups;
    for (int sort = ProfileValues::kVideo; sort <= ProfileValues::kAdvanced; ++sort) {
        QStringList rows;
        for (const ProfileSetting& s : values.group(sort))
            rows.append(describeRow(s.name, s.value, s.readOnly, s.choices));
        groups.append(rows.join(QLatin1String("; ")));
    }
    return groups.join(QLatin1String(" | "));
}

// Applies "Name=value" edits separated by "|" to the first row of that name.
inline void applyEdits(ProfileValues& values, const QString& edits) {
    for (const QString& edit : edits.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const qsizetype equals = edit.indexOf(QLatin1Char('='));
        values.setValue(edit.left(equals), edit.mid(equals + 1));
    }
}

} // namespace segmora::test
