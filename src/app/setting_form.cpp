// The Settings dialog's controls and handlers.
#include "app/setting_form.h"

#include "ground/error_guard.h"
#include "ground/object_names.h"
#include "ground/seams.h"
#include "ground/time_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace segmora {
namespace {

constexpr int kClientWidth = 351;
constexpr int kButtonGap = 12;
// Indent of the folder row under "Use the aptotic output directory." (about a check box).
constexpr int kFolderIndent = 20;

QCheckBox* makeCheckBox(QWidget* parent, const char* name, const QString& caption) {
    return named(new QCheckBox(caption, parent), name);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = named(new QPushButton(caption, parent), name);
    // Enter must press nothing: a button that is neither default nor auto-default is only
    // pressed by a click, Space or its mnemonic.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

TSettingForm::TSettingForm(ProgramContext context, const MainWindowLinks& mainWindow)
    : QDialog(nullptr), m_context(std::move(context)), m_mainWindow(mainWindow.window),
      m_mainProfile(mainWindow.cmbProfile), m_mainOutputDir(mainWindow.edtOutputDir),
      m_mainPreview(mainWindow.chkPreview) {
    m_overMain.setMainWindow(m_mainWindow);
    buildControls();
    guarded(m_mainWindow, [this] { FormCreate(); });
}

TSettingForm::~TSettingForm() = default;

void TSettingForm::buildControls() {
    setObjectName(QStringLiteral("SettingForm"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    chkPreview =
        makeCheckBox(this, "chkPreview", QStringLiteral("Preview the video when it is splitted."));
    chkPreview->setVisible(false);
    chkOverwrite =
        makeCheckBox(this, "chkOverwrite", QStringLiteral("Overwrite existent output files."));
    chkoutputdir =
        makeCheckBox(this, "chkoutputdir", QStringLiteral("Use the aptotic output directory."));
    edtOutputDir = named(new QLineEdit(this), "edtOutputDir");
    // The field has no label of its own; the check box above it says what it is for.
    edtOutputDir->setAccessibleName(QStringLiteral("Aptotic output directory"));
    bbtnBrowse = makeButton(this, "bbtnBrowse", QStringLiteral("Browse"));
    chkOpenDir =
        makeCheckBox(this, "chkOpenDir",
                     QStringLiteral("Open the output directory when the task is completed. "));
    chkExit = makeCheckBox(this, "chkExit",
                           QStringLiteral("Exit the program when the task is completed."));
    chkTurnoff = makeCheckBox(this, "chkTurnoff",
                              QStringLiteral("Turn off the computer when the task is completed."));
    btnDefault = makeButton(this, "btnDefault", QStringLiteral("&Load Default"));
    btnOK = makeButton(this, "btnOK", QStringLiteral("&OK"));
    btnCancel = makeButton(this, "btnCancel", QStringLiteral("&Cancel"));

    auto* folderRow = new QHBoxLayout;
    folderRow->addSpacing(kFolderIndent);
    folderRow->addWidget(edtOutputDir, 1);
    folderRow->addWidget(bbtnBrowse);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(btnDefault);
    buttonRow->addStretch(1);
    buttonRow->addWidget(btnOK);
    buttonRow->addWidget(btnCancel);

    auto* column = new QVBoxLayout(this);
    column->addWidget(chkPreview);
    column->addWidget(chkOverwrite);
    column->addWidget(chkoutputdir);
    column->addLayout(folderRow);
    column->addWidget(chkOpenDir);
    column->addWidget(chkExit);
    column->addWidget(chkTurnoff);
    // The buttons follow the last option after a short gap, with no empty band between.
    column->addSpacing(kButtonGap);
    column->addLayout(buttonRow);

    // A fixed width, grown only where the system font would otherwise cut a caption short; as
    // tall as the options and the buttons need.
    setFixedSize(qMax(kClientWidth, column->minimumSize().width()), column->minimumSize().height());

    // Keyboard order differs from the visual one: "Exit" comes before "Open the output
    // directory", and Browse comes last.
    const QList<QWidget*> order = {chkPreview, chkOverwrite, chkoutputdir, edtOutputDir,
                                   chkExit,    chkOpenDir,   chkTurnoff,   btnDefault,
                                   btnOK,      btnCancel,    bbtnBrowse};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(btnOK, &QPushButton::clicked, this, guardedSlot(this, &TSettingForm::btnOKClick));
    connect(btnCancel, &QPushButton::clicked, this,
            guardedSlot(this, &TSettingForm::btnCancelClick));
    connect(btnDefault, &QPushButton::clicked, this,
            guardedSlot(this, &TSettingForm::btnDefaultClick));
    connect(bbtnBrowse, &QPushButton::clicked, this,
            guardedSlot(this, &TSettingForm::bbtnBrowseClick));
}

PreferenceValues TSettingForm::currentValues() const {
    PreferenceValues values;
    values.preview = chkPreview->isChecked();
    values.overwrite = chkOverwrite->isChecked();
    values.aptotic = chkoutputdir->isChecked();
    values.outputDir = edtOutputDir->text();
    values.autoOpenDir = chkOpenDir->isChecked();
    values.autoExit = chkExit->isChecked();
    values.autoTurnOff = chkTurnoff->isChecked();
    return values;
}

void TSettingForm::showValues(const PreferenceValues& values) {
    chkPreview->setChecked(values.preview);
    chkOverwrite->setChecked(values.overwrite);
    chkoutputdir->setChecked(values.aptotic);
    edtOutputDir->setText(values.outputDir);
    chkOpenDir->setChecked(values.autoOpenDir);
    chkExit->setChecked(values.autoExit);
    chkTurnoff->setChecked(values.autoTurnOff);
}

void TSettingForm::LoadPreferences(bool loadDefaults) {
    showValues(ReadPreferenceValues(m_context, loadDefaults));
    // An index outside the list leaves the list with no selection (-1). A change loads the
    // chosen profile in the main window (once its editor exists).
    if (!m_mainProfile)
        return;
    QStringList names;
    for (int i = 0; i < m_mainProfile->count(); ++i)
        names.append(m_mainProfile->itemText(i));
    m_mainProfile->setCurrentIndex(SavedProfileChoice(m_context, names));
}

void TSettingForm::SavePreferences() {
    const int index = m_mainProfile ? m_mainProfile->currentIndex() : -1;
    WritePreferenceValues(m_context, currentValues(), index,
                          index >= 0 ? m_mainProfile->currentText() : QString());
}

void TSettingForm::FormCreate() {
    LoadPreferences(false);
    if (chkoutputdir->isChecked() && m_mainOutputDir)
        m_mainOutputDir->setText(edtOutputDir->text());
}

void TSettingForm::FormShow() {
    // Kept above the main window and over its middle, as a dialog of it.
    m_overMain.showing();
}

void TSettingForm::FormClose() {
    m_overMain.hidden();
}

void TSettingForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (DialogOverMainWindow::byProgram(event))
        guarded(this, [this] { FormShow(); });
}

void TSettingForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (DialogOverMainWindow::byProgram(event))
        guarded(this, [this] { FormClose(); });
}

void TSettingForm::btnOKClick() {
    // A failed save raises here: the dialog stays open and the main window keeps what it had.
    SavePreferences();
    if (chkoutputdir->isChecked() && m_mainOutputDir)
        m_mainOutputDir->setText(edtOutputDir->text());
    if (m_mainPreview)
        m_mainPreview->setChecked(chkPreview->isChecked());
    accept();
}

void TSettingForm::btnCancelClick() {
    reject();
    LoadPreferences(false);
}

void TSettingForm::btnDefaultClick() {
    LoadPreferences(true);
}

void TSettingForm::bbtnBrowseClick() {
    const std::optional<QString> folder = seams().pickFolder(
        this, QStringLiteral("Select the output directory."), edtOutputDir->text());
    if (folder)
        edtOutputDir->setText(WithTrailingSeparator(*folder));
}

} // namespace segmora
