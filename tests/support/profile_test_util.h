// Small helpers shared by the profile tests: writing profile files and describing grids.
#pragma once

#include "profiles/profile_file.h"
#include "profiles/value_list_editor.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <memory>

namespace segmora::test {

// Three free-standing grids, owned by the object.
struct OwnedGrids {
    std::unique_ptr<TValueListEditor> video = std::make_unique<TValueListEditor>();
    std::unique_ptr<TValueListEditor> audio = std::make_unique<TValueListEditor>();
    std::unique_ptr<TValueListEditor> advanced = std::make_unique<TValueListEditor>();
    ProfileGrids grids() const { return {video.get(), audio.get(), advanced.get()}; }
};

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

// One grid as "key=value" per row; "!" marks a read-only row, "[a/b]" a pick list.
inline QString describe(const TValueListEditor& grid) {
    QStringList rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        QString text = grid.keyAt(row) + QLatin1Char('=') + grid.valueAt(row);
        if (grid.isReadOnly(row))
            text += QLatin1Char('!');
        if (grid.hasPickList(row))
            text += QLatin1Char('[') + grid.pickList(row).join(QLatin1Char('/')) + QLatin1Char(']');
        rows.append(text);
    }
    return rows.join(QLatin1String("; "));
}

inline QString describe(const ProfileGrids& grids) {
    return describe(*grids.video) + QLatin1String(" | ") + describe(*grids.audio) +
           QLatin1String(" | ") + describe(*grids.advanced);
}

// Applies "Name=value" edits separated by "|" to whichever grid holds the row.
inline void applyEdits(const ProfileGrids& grids, const QString& edits) {
    for (const QString& edit : edits.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const qsizetype equals = edit.indexOf(QLatin1Char('='));
        const QString name = edit.left(equals);
        const QString value = edit.mid(equals + 1);
        for (TValueListEditor* grid : {grids.video, grids.audio, grids.advanced}) {
            if (grid->setValue(name, value))
                break;
        }
    }
}

} // namespace segmora::test
