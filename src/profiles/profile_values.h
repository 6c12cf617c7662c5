// ProfileValues: the live settings of an output profile as plain values, which the profile
// editor's grids only show and edit.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <utility>

namespace segmora {

// One parameter as the editor offers it: its name, its current value and how it may change.
struct ProfileSetting {
    ProfileSetting() = default;
    ProfileSetting(QString name, QString value, bool readOnly = false, QStringList choices = {})
        : name(std::move(name)), value(std::move(value)), readOnly(readOnly),
          choices(std::move(choices)) {}

    QString name;
    QString value;
    bool readOnly = false; // no typing; a setting with choices is still picked from them
    QStringList choices;   // the captions a list parameter offers; empty for a typed one

    bool operator==(const ProfileSetting&) const = default;
};

// The settings of the three groups a parameter's Sort names (1 video, 2 audio, 3 advanced),
// each in row order. A name is looked up without regard to case and the first row of that name
// answers, as in a grid. The values, not the grids, are what the converter's arguments, Save and
// Save as are made from.
class ProfileValues {
public:
    static constexpr int kVideo = 1;
    static constexpr int kAudio = 2;
    static constexpr int kAdvanced = 3;
    static bool isGroup(int sort) { return sort >= kVideo && sort <= kAdvanced; }

    // The rows of a group; an empty list outside 1..3.
    const QList<ProfileSetting>& group(int sort) const;
    // Appends a row to a group; nothing happens outside 1..3.
    void append(int sort, ProfileSetting setting);
    void clear();

    // The row of group sort named name; -1 when there is none.
    int find(int sort, const QString& name) const;
    const ProfileSetting* setting(int sort, const QString& name) const;
    // The value of the first row named name, searching groups 1, 2, 3; empty when none.
    QString value(const QString& name) const;
    // Sets the first row named name (groups in order); false and nothing changed when no row
    // has the name. Any text is accepted, whether it is a choice or not (a custom size).
    bool setValue(const QString& name, const QString& value);
    // Sets row of group sort; nothing happens when there is no such row.
    void setValueAt(int sort, int row, const QString& value);

    bool operator==(const ProfileValues&) const = default;

private:
    std::array<QList<ProfileSetting>, 3> m_groups;
};

// The rows the editor is designed with, before any profile is loaded, with empty values.
QStringList DesignRowNames(int sort);
ProfileValues DesignProfileValues();

} // namespace segmora
