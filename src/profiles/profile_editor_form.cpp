// The profile editor dialog: profile list, the three collapsible groups, OK, Cancel, Save as.
#include "profiles/profile_editor_form.h"

#include "ground/error_guard.h"
#include "ground/object_names.h"
#include "ground/seams.h"
#include "profiles/profile_catalogue.h"
#include "profiles/profile_grid_look.h"
#include "profiles/size_form.h"
#include "profiles/value_list_editor.h"
#include "profiles/video_size.h"
#include "ui/dialog_over_main_window.h"

#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace segmora {
namespace {

const QString kCollapsed = QStringLiteral("+");
const QString kExpanded = QStringLiteral("-");

// The collapse button's name for assistive technology follows what a press would do.
void describeToggle(QPushButton* button, const QString& group) {
    const QString action =
        button->text() == kCollapsed ? QStringLiteral("Expand ") : QStringLiteral("Collapse ");
    button->setToolTip(action + group);
    button->setAccessibleName(action + group);
}

} // namespace

TopSettingForm::TopSettingForm(const ProgramContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(QStringLiteral("opSettingForm"));
    setWindowTitle(QStringLiteral("Profile"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);

    cmbProfile = named(new QComboBox(this), "cmbProfile");
    cmbProfile->setEditable(false);
    cmbProfile->setGeometry(8, 8, 285, 24);
    cmbProfile->setAccessibleName(QStringLiteral("Profile"));
    btnSaveAs = named(new QPushButton(QStringLiteral("&Save as..."), this), "btnSaveAs");
    btnSaveAs->setGeometry(299, 8, 84, 24);

    ScrollBox1 = named(new QScrollArea(this), "ScrollBox1");
    ScrollBox1->setGeometry(8, 40, 375, 388);
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget();
    content->setBackgroundRole(QPalette::Base);
    content->setAutoFillBackground(true);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    ScrollBox1->setWidget(content);

    panVideo = createGroup("panVideo", "btnVideo", QStringLiteral("Video"), &btnVideo);
    vleVideo = named(new TValueListEditor(content), "vleVideo");
    panAudio = createGroup("panAudio", "btnAudio", QStringLiteral("Audio"), &btnAudio);
    vleAudio = named(new TValueListEditor(content), "vleAudio");
    panAdvanced =
        createGroup("panAdvanced", "btnAdvanced", QStringLiteral("Advanced"), &btnAdvanced);
    vleAdvanced = named(new TValueListEditor(content), "vleAdvanced");
    vleVideo->setAccessibleName(QStringLiteral("Video parameters"));
    vleAudio->setAccessibleName(QStringLiteral("Audio parameters"));
    vleAdvanced->setAccessibleName(QStringLiteral("Advanced parameters"));
    // Stacked from the top: a group that collapses or grows moves those below it.
    for (QWidget* widget : std::initializer_list<QWidget*>{panVideo, vleVideo, panAudio, vleAudio,
                                                           panAdvanced, vleAdvanced})
        stack->addWidget(widget);
    stack->addStretch(1);

    for (int sort = ProfileValues::kVideo; sort <= ProfileValues::kAdvanced; ++sort) {
        TValueListEditor* shown = grid(sort);
        shown->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        InstallProfileCellLook(shown);
        shown->installEventFilter(this);
        shown->viewport()->installEventFilter(this);
        connect(shown, &TValueListEditor::valueChanged, this,
                [this, sort](int row) { takeEdit(sort, row); });
    }
    setValues(DesignProfileValues());
    for (TValueListEditor* shown : {vleVideo, vleAudio, vleAdvanced})
        shown->setFixedHeight(shown->rowCount() * 18);

    memDescription = named(new QPlainTextEdit(this), "memDescription");
    memDescription->setPlaceholderText(QStringLiteral("Description:"));
    // Hidden, but screen readers still list it.
    memDescription->setAccessibleName(QStringLiteral("Description"));
    memDescription->setGeometry(8, 340, 375, 80);
    memDescription->hide();
    Bevel1 = named(new QFrame(this), "Bevel1");
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setGeometry(8, 336, 375, 88);
    Bevel1->hide();

    Button1 = named(new QPushButton(QStringLiteral("&OK"), this), "Button1");
    Button1->setGeometry(227, 438, 75, 25);
    Button2 = named(new QPushButton(QStringLiteral("&Cancel"), this), "Button2");
    Button2->setGeometry(308, 438, 75, 25);
    // Enter belongs to the grids (it ends an edit); no button fires on it.
    for (QPushButton* button : {btnSaveAs, Button1, Button2, btnVideo, btnAudio, btnAdvanced}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    // The user's choice only; Open selects and loads by itself.
    connect(cmbProfile, &QComboBox::activated, this,
            guardedSlot(this, &TopSettingForm::cmbProfileChange));
    connect(btnSaveAs, &QPushButton::clicked, this,
            guardedSlot(this, &TopSettingForm::btnSaveAsClick));
    connect(Button1, &QPushButton::clicked, this, guardedSlot(this, &TopSettingForm::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guardedSlot(this, &TopSettingForm::Button2Click));
    connect(btnVideo, &QPushButton::clicked, this,
            guardedSlot(this, &TopSettingForm::btnVideoClick));
    connect(btnAudio, &QPushButton::clicked, this,
            guardedSlot(this, &TopSettingForm::btnAudioClick));
    connect(btnAdvanced, &QPushButton::clicked, this,
            guardedSlot(this, &TopSettingForm::btnAdvancedClick));

    setFixedSize(kClientWidth, kClientHeight);

    FillProfileList(DisplayNames(LoadProfileCatalogue(m_context)));
}

QLabel* TopSettingForm::createGroup(const char* barName, const char* buttonName,
                                    const QString& caption, QPushButton** button) {
    // Six blanks leave room for the button at the bar's left edge.
    auto* bar = named(new QLabel(QStringLiteral("      ") + caption), barName);
    bar->setFixedHeight(kBarHeight);
    bar->setAutoFillBackground(true);
    // Set here, or the bar takes the scrolling area's window colour from its parent.
    bar->setBackgroundRole(QPalette::Window);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Dark));
    palette.setColor(QPalette::WindowText, Qt::black);
    bar->setPalette(palette);
    QFont font = bar->font();
    font.setBold(true);
    bar->setFont(font);

    *button = named(new QPushButton(kExpanded, bar), buttonName);
    (*button)->setGeometry(2, (kBarHeight - 12) / 2, 12, 12);
    QFont small = (*button)->font();
    small.setBold(true);
    small.setPixelSize(10);
    (*button)->setFont(small);
    (*button)->setFocusPolicy(Qt::TabFocus);
    describeToggle(*button, caption);
    return bar;
}

TValueListEditor* TopSettingForm::grid(int sort) const {
    switch (sort) {
    case ProfileValues::kVideo:
        return vleVideo;
    case ProfileValues::kAudio:
        return vleAudio;
    case ProfileValues::kAdvanced:
        return vleAdvanced;
    default:
        return nullptr;
    }
}

void TopSettingForm::setValues(const ProfileValues& values) {
    m_values = values;
    for (int sort = ProfileValues::kVideo; sort <= ProfileValues::kAdvanced; ++sort)
        showGroup(sort);
}

bool TopSettingForm::setValue(int sort, const QString& name, const QString& value) {
    const int row = m_values.find(sort, name);
    if (row < 0)
        return false;
    m_values.setValueAt(sort, row, value);
    const QScopedValueRollback showing(m_showing, true);
    grid(sort)->setValueAt(row, value);
    return true;
}

void TopSettingForm::showGroup(int sort) {
    const QScopedValueRollback showing(m_showing, true);
    TValueListEditor* shown = grid(sort);
    shown->clearRows();
    for (const ProfileSetting& setting : m_values.group(sort)) {
        const int row = shown->appendRow(setting.name, setting.value, setting.readOnly);
        if (!setting.choices.isEmpty())
            shown->setPickList(row, setting.choices);
    }
}

void TopSettingForm::takeEdit(int sort, int row) {
    if (m_showing)
        return;
    const QString value = grid(sort)->valueAt(row);
    // The size the row held before "Custom Size" was picked is where the size dialog starts.
    const ProfileSetting* size = m_values.setting(ProfileValues::kVideo, kVideoSize);
    if (sort == ProfileValues::kVideo && size && row == m_values.find(sort, kVideoSize) &&
        value == kCustomSize && size->value != kCustomSize)
        m_sizeBeforeCustom = size->value;
    m_values.setValueAt(sort, row, value);
    if (sort == ProfileValues::kVideo)
        guarded(this, [&] { vleVideoStringsChange(); });
}

void TopSettingForm::FillProfileList(const QStringList& displayNames) {
    cmbProfile->clear();
    cmbProfile->addItems(displayNames);
    cmbProfile->setCurrentIndex(-1);
}

void TopSettingForm::AttachMainProfileList(QComboBox* mainProfileList) {
    if (!mainProfileList)
        return;
    QStringList names;
    for (int i = 0; i < mainProfileList->count(); ++i)
        names.append(mainProfileList->itemText(i));
    FillProfileList(names);
    // Every change of the main choice follows; the main window loads that profile into the
    // grids, so this list keeps naming the profile the grids hold.
    connect(mainProfileList, &QComboBox::currentIndexChanged, this,
            [this](int index) { cmbProfile->setCurrentIndex(index); });
    // And back: a profile picked here becomes the main window's choice too. Start takes the
    // parameters from the file named in the main list and their values from these grids, so
    // two different profiles would make a clip of neither (H.264 in an .avi, or a failure).
    // The main window then loads the same file the grids were just filled from.
    connect(cmbProfile, &QComboBox::activated, mainProfileList,
            [mainProfileList](int index) { mainProfileList->setCurrentIndex(index); });
    m_mainProfileList = mainProfileList;
}

QString TopSettingForm::EditorProfilePath() const {
    return m_context.profilePath(cmbProfile->currentText());
}

void TopSettingForm::LoadProfile(const QString& path) {
    ProfileValues loaded;
    const std::optional<QString> extension = segmora::LoadProfile(path, loaded);
    if (!extension)
        return;
    setValues(loaded);
    m_outputExtension = *extension;
    for (TValueListEditor* grid : {vleVideo, vleAudio, vleAdvanced})
        grid->setFixedHeight(grid->rowCount() * 18);
}

void TopSettingForm::SaveProfile(const QString& path) {
    segmora::SaveProfile(path, m_values);
}

void TopSettingForm::SaveProfileAs(const QString& source, const QString& target) {
    segmora::SaveProfileAs(source, target, m_values);
}

void TopSettingForm::Open(int mainIndex) {
    BringToFront(this);
    if (cmbProfile->currentIndex() != mainIndex) {
        cmbProfile->setCurrentIndex(mainIndex);
        cmbProfileChange();
    }
}

void TopSettingForm::cmbProfileChange() {
    LoadProfile(EditorProfilePath());
}

void TopSettingForm::Button1Click() {
    const QString path = EditorProfilePath();
    if (QFileInfo(path).isFile()) {
        // An installed program keeps its shipped profiles as they are: a change to one becomes
        // the user's own copy.
        const QString target = m_context.profileSavePath(cmbProfile->currentText());
        if (target == path)
            SaveProfile(path);
        else
            SaveProfileAs(path, target);
    }
    hide();
}

void TopSettingForm::Button2Click() {
    hide();
    LoadProfile(EditorProfilePath());
}

void TopSettingForm::btnSaveAsClick() {
    const std::optional<QString> target =
        seams().pickSaveFile(this, m_context.profilesFolder(), QStringLiteral("Profiles (*.apf)"),
                             QStringLiteral("apf"));
    if (!target || target->isEmpty())
        return;
    SaveProfileAs(EditorProfilePath(), *target);
    // Saved into a profiles folder, the new profile is offered in both lists at once.
    ReloadProfileLists();
}

void TopSettingForm::ReloadProfileLists() {
    const QStringList names = DisplayNames(LoadProfileCatalogue(m_context.profileFolders()));
    for (QComboBox* list : {cmbProfile, m_mainProfileList.data()}) {
        if (!list)
            continue;
        const QString chosen = list->currentIndex() >= 0 ? list->currentText() : QString();
        // The same profile stays chosen, so nothing is loaded again and unsaved edits stay.
        const QSignalBlocker quiet(list);
        list->clear();
        list->addItems(names);
        list->setCurrentIndex(chosen.isNull() ? -1 : names.indexOf(chosen));
    }
}

void TopSettingForm::btnVideoClick() {
    toggleGroup(btnVideo, vleVideo);
}

void TopSettingForm::btnAudioClick() {
    toggleGroup(btnAudio, vleAudio);
}

void TopSettingForm::btnAdvancedClick() {
    toggleGroup(btnAdvanced, vleAdvanced);
}

void TopSettingForm::toggleGroup(QPushButton* button, TValueListEditor* grid) {
    if (button->text() != kCollapsed) {
        grid->setFixedHeight(kCollapsedHeight);
        button->setText(kCollapsed);
    } else {
        // Each row is 17 pixels plus its grid line, and one more line closes the grid.
        const int rows = grid->rowCount();
        grid->setFixedHeight(rows * 17 + rows + 1);
        button->setText(kExpanded);
    }
    const QString group = button->parentWidget() == panVideo   ? QStringLiteral("Video")
                          : button->parentWidget() == panAudio ? QStringLiteral("Audio")
                                                               : QStringLiteral("Advanced");
    describeToggle(button, group);
}

void TopSettingForm::vleVideoStringsChange() {
    if (!sizeForm)
        return;
    if (AsksForCustomSize(m_values, vleVideo->currentKey()))
        BringToFront(sizeForm);
}

void TopSettingForm::repaintGrids() {
    for (TValueListEditor* grid : {vleVideo, vleAudio, vleAdvanced})
        grid->viewport()->update();
}

bool TopSettingForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // The current row's name is painted by whether its grid has the focus, so a press in
        // one grid repaints all three.
        repaintGrids();
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace segmora
