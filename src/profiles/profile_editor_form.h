// TopSettingForm: the profile editor dialog, whose three grids are the program's live settings.
#pragma once

#include "app/program_context.h"
#include "profiles/profile_file.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QVBoxLayout;

namespace segmora {

class TValueListEditor;

// Created once at start-up and only hidden, never destroyed, while the program runs. Its grids
// start with the design rows (empty values) until the first LoadProfile.
class TopSettingForm : public QDialog {
    Q_OBJECT
public:
    explicit TopSettingForm(const ProgramContext& context, QWidget* parent = nullptr);

    TValueListEditor* vleVideo = nullptr;
    TValueListEditor* vleAudio = nullptr;
    TValueListEditor* vleAdvanced = nullptr;
    QComboBox* cmbProfile = nullptr;

    ProfileGrids grids() const { return {vleVideo, vleAudio, vleAdvanced}; }
    const ProgramContext& context() const { return m_context; }

    // Makes cmbProfile hold these display names, in order, with no selection. The constructor
    // fills it from the catalogue of the program folder, in the main window's order.
    void FillProfileList(const QStringList& displayNames);
    // The file of the profile selected in cmbProfile.
    QString EditorProfilePath() const;

    // Loads the file into the grids, sets each grid's height to rows x 18 pixels and the output
    // extension; does nothing when no file exists at path.
    void LoadProfile(const QString& path);
    void SaveProfile(const QString& path);
    void SaveProfileAs(const QString& source, const QString& target);
    // "." + Type of the profile loaded last; empty before the first load.
    QString OutputExtension() const { return m_outputExtension; }

    // The rows each grid is designed with, before any profile is loaded.
    static QStringList designRows(int sort);

protected:
    ProgramContext m_context;
    QVBoxLayout* m_groupsLayout = nullptr;

private:
    QString m_outputExtension;
};

} // namespace segmora
