// The profile editor dialog's base: profile list, the three grids and their design rows.
#include "profiles/profile_editor_form.h"

#include "profiles/profile_catalogue.h"
#include "profiles/value_list_editor.h"

#include <QComboBox>
#include <QVBoxLayout>

namespace segmora {

TopSettingForm::TopSettingForm(const ProgramContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(QStringLiteral("opSettingForm"));
    setWindowTitle(QStringLiteral("Profile"));

    cmbProfile = new QComboBox(this);
    cmbProfile->setObjectName(QStringLiteral("cmbProfile"));
    cmbProfile->setEditable(false);

    vleVideo = new TValueListEditor(this);
    vleVideo->setObjectName(QStringLiteral("vleVideo"));
    vleAudio = new TValueListEditor(this);
    vleAudio->setObjectName(QStringLiteral("vleAudio"));
    vleAdvanced = new TValueListEditor(this);
    vleAdvanced->setObjectName(QStringLiteral("vleAdvanced"));
    const ProfileGrids all = grids();
    for (int sort = 1; sort <= 3; ++sort) {
        for (const QString& name : designRows(sort))
            all.forSort(sort)->appendRow(name, QString());
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cmbProfile);
    m_groupsLayout = new QVBoxLayout();
    m_groupsLayout->setSpacing(0);
    m_groupsLayout->addWidget(vleVideo);
    m_groupsLayout->addWidget(vleAudio);
    m_groupsLayout->addWidget(vleAdvanced);
    m_groupsLayout->addStretch(1);
    layout->addLayout(m_groupsLayout, 1);
    resize(391, 472);

    FillProfileList(DisplayNames(LoadProfileCatalogue(m_context.profilesFolder())));
}

QStringList TopSettingForm::designRows(int sort) {
    switch (sort) {
    case 1:
        return {QStringLiteral("Video Codec"), QStringLiteral("Video Size"),
                QStringLiteral("Bit Rate"),    QStringLiteral("Frame Rate"),
                QStringLiteral("Aspect"),      QStringLiteral("Disable Video")};
    case 2:
        return {QStringLiteral("Audio Codec"), QStringLiteral("Audio Bitrate"),
                QStringLiteral("Sample Rate"), QStringLiteral("Channels"),
                QStringLiteral("Volumn"),      QStringLiteral("Disable Audio")};
    case 3:
        return {QStringLiteral("Bit Exact Algorithms"), QStringLiteral("Deinterlace")};
    default:
        return {};
    }
}

void TopSettingForm::FillProfileList(const QStringList& displayNames) {
    cmbProfile->clear();
    cmbProfile->addItems(displayNames);
    cmbProfile->setCurrentIndex(-1);
}

QString TopSettingForm::EditorProfilePath() const {
    return m_context.profilePath(cmbProfile->currentText());
}

void TopSettingForm::LoadProfile(const QString& path) {
    const std::optional<QString> extension = segmora::LoadProfile(path, grids());
    if (!extension)
        return;
    m_outputExtension = *extension;
    for (TValueListEditor* grid : {vleVideo, vleAudio, vleAdvanced})
        grid->setFixedHeight(grid->rowCount() * 18);
}

void TopSettingForm::SaveProfile(const QString& path) {
    segmora::SaveProfile(path, grids());
}

void TopSettingForm::SaveProfileAs(const QString& source, const QString& target) {
    segmora::SaveProfileAs(source, target, grids());
}

} // namespace segmora
