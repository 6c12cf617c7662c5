// The plain values behind the profile editor's grids.
#include "profiles/profile_values.h"

namespace segmora {

const QList<ProfileSetting>& ProfileValues::group(int sort) const {
    static const QList<ProfileSetting> none;
    return isGroup(sort) ? m_groups[sort - 1] : none;
}

void ProfileValues::append(int sort, ProfileSetting setting) {
    if (isGroup(sort))
        m_groups[sort - 1].append(std::move(setting));
}

void ProfileValues::clear() {
    for (QList<ProfileSetting>& rows : m_groups)
        rows.clear();
}

int ProfileValues::find(int sort, const QString& name) const {
    const QList<ProfileSetting>& rows = group(sort);
    for (int row = 0; row < rows.size(); ++row) {
        if (rows.at(row).name.compare(name, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

const ProfileSetting* ProfileValues::setting(int sort, const QString& name) const {
    const int row = find(sort, name);
    return row >= 0 ? &m_groups[sort - 1].at(row) : nullptr;
}

QString ProfileValues::value(const QString& name) const {
    for (int sort = kVideo; sort <= kAdvanced; ++sort) {
        if (const ProfileSetting* found = setting(sort, name))
            return found->value;
    }
    return QString();
}

bool ProfileValues::setValue(const QString& name, const QString& value) {
    for (int sort = kVideo; sort <= kAdvanced; ++sort) {
        const int row = find(sort, name);
        if (row >= 0) {
            setValueAt(sort, row, value);
            return true;
        }
    }
    return false;
}

void ProfileValues::setValueAt(int sort, int row, const QString& value) {
    if (!isGroup(sort) || row < 0 || row >= m_groups[sort - 1].size())
        return;
    m_groups[sort - 1][row].value = value;
}

QStringList DesignRowNames(int sort) {
    switch (sort) {
    case ProfileValues::kVideo:
        return {QStringLiteral("Video Codec"), QStringLiteral("Video Size"),
                QStringLiteral("Bit Rate"),    QStringLiteral("Frame Rate"),
                QStringLiteral("Aspect"),      QStringLiteral("Disable Video")};
    case ProfileValues::kAudio:
        return {QStringLiteral("Audio Codec"), QStringLiteral("Audio Bitrate"),
                QStringLiteral("Sample Rate"), QStringLiteral("Channels"),
                QStringLiteral("Volumn"),      QStringLiteral("Disable Audio")};
    case ProfileValues::kAdvanced:
        return {QStringLiteral("Bit Exact Algorithms"), QStringLiteral("Deinterlace")};
    default:
        return {};
    }
}

ProfileValues DesignProfileValues() {
    ProfileValues values;
    for (int sort = ProfileValues::kVideo; sort <= ProfileValues::kAdvanced; ++sort) {
        for (const QString& name : DesignRowNames(sort))
            values.append(sort, {name, QString()});
    }
    return values;
}

} // namespace segmora
