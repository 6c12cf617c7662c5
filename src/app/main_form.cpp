// The main window's creation, layout, tool bar, profile list, Browse, and its show and close.
#include "app/main_form.h"

#include "app/about_form.h"
#include "app/picture_button.h"
#include "app/setting_form.h"
#include "ground/error_guard.h"
#include "ground/ini_file.h"
#include "ground/object_names.h"
#include "ground/product.h"
#include "ground/seams.h"
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "profiles/profile_catalogue.h"
#include "profiles/profile_editor_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace segmora {
namespace {

const QString kOutputFolderCaption = QStringLiteral("Select the output directory.");
const QString kZeroTime = QStringLiteral("00:00:00");

// Left panel geometry: the screen, the time row, the bar, the marks and the button row.
constexpr int kLeftPanelWidth = 399;
constexpr QRect kScreenRect{4, 4, 390, 290};
constexpr int kTimeRowTop = 297;
constexpr QRect kTrackBarRect{8, 317, 326, 13};
constexpr int kMarkTop = 333;
constexpr int kButtonRowTop = 366;
constexpr int kPictureButtonWidth = 63;
constexpr int kPictureButtonHeight = 35;

// Right panel geometry: tool bar, source row, output group, progress panel, bottom strip.
constexpr int kToolBarHeight = 94;
constexpr int kProgressPanelHeight = 217;
constexpr int kRoundButtonSize = 110;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = named(new QLabel(text, parent), name);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* edit = named(new QLineEdit(text, parent), name);
    edit->setGeometry(geometry);
    return edit;
}

QLabel* makePicture(QWidget* parent, const char* name, const QString& resource,
                    const QRect& geometry) {
    auto* picture = named(new QLabel(parent), name);
    picture->setGeometry(geometry);
    picture->setPixmap(QIcon(resource).pixmap(geometry.size()));
    picture->setScaledContents(true);
    return picture;
}

// A picture of the program's artwork; variant picks a look of it, such as "_down".
QString artwork(const char* name, const char* variant = "") {
    return QStringLiteral(":/artwork/") + QLatin1String(name) + QLatin1String(variant) +
           QStringLiteral(".svg");
}

// One Qt pattern list from "*.avi;*.mpg;": every pattern in lower and in upper case, so the
// dialog also shows files whose names end in capitals on case-sensitive file systems.
QString qtPatterns(const QString& patternText) {
    QStringList patterns;
    const QStringList parts = patternText.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QString pattern = part.trimmed();
        if (pattern.isEmpty())
            continue;
        if (!patterns.contains(pattern))
            patterns.append(pattern);
        const QString upper = pattern.toUpper();
        if (!patterns.contains(upper))
            patterns.append(upper);
    }
    return patterns.join(QLatin1Char(' '));
}

} // namespace

QStringList TMainForm::DefaultSupportedExtensions() {
    return {QStringLiteral(".avi"), QStringLiteral(".mpg"), QStringLiteral(".mpeg"),
            QStringLiteral(".mp4"), QStringLiteral(".wmv"), QStringLiteral(".mov"),
            QStringLiteral(".vob"), QStringLiteral(".asf")};
}

QString TMainForm::OpenDialogFilterText(const QStringList& extensions) {
    QString entries;
    QString joint;
    for (const QString& extension : extensions) {
        entries += extension.mid(1).toUpper() + QStringLiteral(" Files (*") + extension +
                   QStringLiteral(")|*") + extension + QLatin1Char('|');
        joint += QLatin1Char('*') + extension + QLatin1Char(';');
    }
    return QStringLiteral("All Support Files(") + joint + QStringLiteral(")|") + joint +
           QLatin1Char('|') + entries + QStringLiteral("All Files (*.*)|*.*");
}

QString TMainForm::QtFilterFromFilterText(const QString& filterText) {
    // The text alternates description and pattern list; a Qt filter entry is the description
    // with its patterns in parentheses. The descriptions already name their patterns in
    // parentheses, which Qt would take as the patterns, so they are replaced.
    const QStringList parts = filterText.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const int parenthesis = description.indexOf(QLatin1Char('('));
        if (parenthesis >= 0)
            description.truncate(parenthesis);
        description = description.trimmed();
        const QString patterns =
            parts[i + 1] == QStringLiteral("*.*") ? QStringLiteral("*") : qtPatterns(parts[i + 1]);
        entries.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
}

QString TMainForm::ReadVersionText(const QString& preferencesPath) {
    return IniFile(preferencesPath)
        .readString(QStringLiteral("Main"), QStringLiteral("Version"), kDefaultVersionText);
}

TMainForm::TMainForm(const ProgramContext& context, const QString& commandLineArgument,
                     QWidget* parent)
    : QMainWindow(parent), m_context(context) {
    FormCreate(commandLineArgument);
}

TMainForm::~TMainForm() {
    // The graph lets go of the video window and the bar before the widgets go.
    delete filterGraph;
    filterGraph = nullptr;
}

void TMainForm::FormCreate(const QString& commandLineArgument) {
    setObjectName(QStringLiteral("MainForm"));
    EnsureArtwork();
    // Fixed border, minimise and close only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont formFont = font();
    formFont.setPointSize(8);
    setFont(formFont);

    filterGraph = new FilterGraph(this);
    filterGraph->setObjectName(QStringLiteral("FilterGraph"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    panLeft = named(new QWidget(client), "panLeft");
    panLeft->setGeometry(0, 0, kLeftPanelWidth, kClientHeight);
    panRight = named(new QWidget(client), "panRight");
    panRight->setGeometry(kLeftPanelWidth, 0, kClientWidth - kLeftPanelWidth, kClientHeight);
    createLeftPanel();
    createRightPanel();

    tmrProcess = named(new QTimer(this), "tmrProcess");
    tmrProcess->setInterval(1000);
    tmrPreview = named(new QTimer(this), "tmrPreview");
    tmrPreview->setInterval(1000);

    m_versionText = ReadVersionText(m_context.shippedPreferencesPath());
    QCoreApplication::setApplicationName(kProductName);
    setWindowTitle(kProductName + QStringLiteral(" V") + m_versionText);

    m_supportedExtensions = DefaultSupportedExtensions();
    m_openDialogFilter = OpenDialogFilterText(m_supportedExtensions);
    m_openDialogQtFilter = QtFilterFromFilterText(m_openDialogFilter);

    fillProfileList();
    connectHandlers();
    InstallMarkingKeys();

    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    guarded(this, [&] { TakeCommandLine(commandLineArgument); });
    setAcceptDrops(true);
}

void TMainForm::createLeftPanel() {
    imgScreen = makePicture(panLeft, "imgScreen", artwork("screen"), kScreenRect);
    // The banner and the video sit inside the screen's display area (above its bezel foot).
    const QRect display(kScreenRect.x() + 14, kScreenRect.y() + 14, kScreenRect.width() - 28,
                        kScreenRect.height() - 40);
    imgBanner =
        makePicture(panLeft, "imgBanner", artwork("banner"),
                    QRect(display.center().x() - 160 + 1, display.center().y() - 40 + 1, 320, 80));
    imgBanner->setAttribute(Qt::WA_TranslucentBackground);

    videoWindow = named(new VideoWindow(panLeft), "VideoWindow");
    videoWindow->setGeometry(display.center().x() - 165 + 1, display.center().y() - 118 + 1, 331,
                             237);
    videoWindow->hide();
    filterGraph->SetVideoWindow(videoWindow);

    const int third = (kScreenRect.width() - 8) / 3;
    labLeft = makeLabel(panLeft, "labLeft", kZeroTime, QRect(8, kTimeRowTop, third, 16));
    labMiddle = makeLabel(panLeft, "labMiddle", kZeroTime, QRect(8 + third, kTimeRowTop, third, 16),
                          Qt::AlignCenter);
    labRight =
        makeLabel(panLeft, "labRight", kZeroTime, QRect(8 + 2 * third, kTimeRowTop, third, 16),
                  Qt::AlignRight | Qt::AlignVCenter);

    tkbProgress = named(new TDSTrackBar(panLeft), "tkbProgress");
    tkbProgress->setGeometry(kTrackBarRect);
    tkbProgress->SetFrequency(60);
    tkbProgress->SetThumbLength(8);
    tkbProgress->SetFilterGraph(filterGraph);
    tkbProgress->setAccessibleName(QStringLiteral("Position"));

    labCurrent = makeLabel(panLeft, "labCurrent", kZeroTime,
                           QRect(kTrackBarRect.right() + 4, kTrackBarRect.y() - 2,
                                 kLeftPanelWidth - kTrackBarRect.right() - 10, 16),
                           Qt::AlignRight | Qt::AlignVCenter);
    labCurrent->setAccessibleName(QStringLiteral("Current position"));

    labStart = named(new QLabel(QStringLiteral("[ "), panLeft), "labStart");
    labStart->move(kTrackBarRect.x(), kMarkTop);
    labStart->adjustSize();
    labStart->hide();
    labEnd = named(new QLabel(QStringLiteral(" ]"), panLeft), "labEnd");
    labEnd->move(kTrackBarRect.right() - 20, kMarkTop);
    labEnd->adjustSize();
    labEnd->hide();

    struct PictureButtonEntry {
        PictureButton** member;
        const char* name;
        const char* hint;
        const char* key; // the preview key that does the same (InstallMarkingKeys)
        const char* picture;
    };
    const PictureButtonEntry buttons[] = {
        {&imgPlay, "imgPlay", "Play", "Space", "play"},
        {&imgPause, "imgPause", "Pause | Resume", "Space", "pause"},
        {&imgStop, "imgStop", "Stop", "", "stop"},
        {&imgSelStart, "imgSelStart", "Set the Start Time", "I, go to it: Shift+I", "sel_start"},
        {&imgSelEnd, "imgSelEnd", "Set the End Time", "O, go to it: Shift+O", "sel_end"},
        {&imgErase, "imgErase", "Remove the selection", "", "erase"},
    };
    // Six buttons evenly along the bottom, the marking group a little apart from playback.
    int x = 6;
    for (const PictureButtonEntry& entry : buttons) {
        auto* button = named(new PictureButton(panLeft), entry.name);
        button->setGeometry(x, kButtonRowTop, kPictureButtonWidth, kPictureButtonHeight);
        button->setHint(QString::fromLatin1(entry.hint));
        button->setKeyHint(QString::fromLatin1(entry.key));
        button->setPictures(artwork(entry.picture), artwork(entry.picture, "_down"));
        *entry.member = button;
        x += kPictureButtonWidth + (entry.member == &imgStop ? 7 : 1);
    }
}

void TMainForm::createRightPanel() {
    createToolBar();
    const int width = panRight->width();

    Label2 = makeLabel(panRight, "Label2", QStringLiteral("Source:"),
                       QRect(10, kToolBarHeight + 8, 48, 22));
    edtSource =
        makeEdit(panRight, "edtSource", QString(), QRect(60, kToolBarHeight + 8, width - 70, 22));
    Label2->setBuddy(edtSource);

    createOutputGroup();
    createProgressPanel();

    const int roundTop = kClientHeight - kRoundButtonSize - 2;
    imgRightBottom = makePicture(panRight, "imgRightBottom", artwork("right_bottom"),
                                 QRect(width - 263, kClientHeight - 99, 263, 99));
    imgRightBottom->setAttribute(Qt::WA_TransparentForMouseEvents, false);

    imgStart = named(new CircularPictureButton(panRight), "imgStart");
    imgStart->setGeometry(6, roundTop, kRoundButtonSize, kRoundButtonSize);
    imgStart->setHint(QStringLiteral("Start"));
    imgStart->setPictures(artwork("start"), artwork("start_down"), artwork("start_hover"));
    imgStart->setClickArea(CircularPictureButton::ClickArea::Circle);

    imgCancel = named(new CircularPictureButton(panRight), "imgCancel");
    imgCancel->setGeometry(imgStart->geometry());
    imgCancel->setHint(QStringLiteral("Cancel"));
    imgCancel->setPictures(artwork("cancel"), artwork("cancel_down"), artwork("cancel_hover"));
    // Cancel takes a click anywhere on its picture, so a hurried click never misses.
    imgCancel->setClickArea(CircularPictureButton::ClickArea::Whole);
    imgCancel->hide();
    imgStart->raise();
    imgCancel->raise();
}

void TMainForm::createToolBar() {
    ToolBar1 = named(new QToolBar(panRight), "ToolBar1");
    ToolBar1->setGeometry(0, 0, 372, kToolBarHeight);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(48, 48));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setContentsMargins(6, 10, 6, 10);

    struct ToolButtonEntry {
        QToolButton** member;
        const char* name;
        const char* caption;
        const char* icon;
    };
    const ToolButtonEntry tools[] = {
        {&tbtnOpen, "tbtnOpen", "Open", "tool_open"},
        {&tbtnSettings, "tbtnSettings", "Settings", "tool_settings"},
        {&tbtnAbout, "tbtnAbout", "About", "tool_about"},
        {&tbtnHelp, "tbtnHelp", "Help", "tool_help"},
    };
    for (const ToolButtonEntry& entry : tools) {
        auto* button = named(new QToolButton(ToolBar1), entry.name);
        button->setText(QString::fromLatin1(entry.caption));
        button->setToolTip(QString::fromLatin1(entry.caption));
        // The disabled look is made by QIcon from the enabled picture.
        button->setIcon(QIcon(artwork(entry.icon)));
        button->setIconSize(QSize(48, 48));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFixedSize(58, 68);
        ToolBar1->addWidget(button);
        *entry.member = button;
    }
}

void TMainForm::createOutputGroup() {
    const int top = kToolBarHeight + 36;
    gpbOutput = named(new QGroupBox(QStringLiteral("Output"), panRight), "gpbOutput");
    gpbOutput->setGeometry(6, top, panRight->width() - 14, 166);
    const int inner = gpbOutput->width();

    rdbStartEnd = named(new QRadioButton(QStringLiteral("Split the marked rang out."), gpbOutput),
                        "rdbStartEnd");
    rdbStartEnd->setGeometry(10, 18, inner - 20, 20);
    rdbStartEnd->setChecked(true);

    Label4 = makeLabel(gpbOutput, "Label4", QStringLiteral("Start Time:"), QRect(28, 40, 64, 22));
    edtStart = makeEdit(gpbOutput, "edtStart", kZeroTime, QRect(94, 40, 70, 22));
    Label4->setBuddy(edtStart);
    Label5 = makeLabel(gpbOutput, "Label5", QStringLiteral("End Time:"), QRect(182, 40, 58, 22));
    edtEnd = makeEdit(gpbOutput, "edtEnd", kZeroTime, QRect(242, 40, 70, 22));
    Label5->setBuddy(edtEnd);

    rdbEqual =
        named(new QRadioButton(QStringLiteral("Split the marked rang to "), gpbOutput), "rdbEqual");
    rdbEqual->setGeometry(10, 66, 162, 20);
    edtSectionQty = makeEdit(gpbOutput, "edtSectionQty", QString(), QRect(174, 65, 40, 22));
    Label7 =
        makeLabel(gpbOutput, "Label7", QStringLiteral("equal sections."), QRect(220, 65, 100, 22));
    Label7->setBuddy(edtSectionQty);

    labLength = makeLabel(gpbOutput, "labLength", QStringLiteral("length of the Marked Rang"),
                          QRect(28, 89, inner - 36, 16));
    QPalette blue = labLength->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    labLength->setPalette(blue);
    labLength->hide();

    Label10 =
        makeLabel(gpbOutput, "Label10", QStringLiteral("Output Profile:"), QRect(10, 110, 80, 24));
    cmbProfile = named(new QComboBox(gpbOutput), "cmbProfile");
    cmbProfile->setEditable(false);
    cmbProfile->setGeometry(92, 110, inner - 92 - 70, 24);
    Label10->setBuddy(cmbProfile);
    BitBtn1 = named(new QPushButton(QStringLiteral("Detail"), gpbOutput), "BitBtn1");
    BitBtn1->setGeometry(inner - 66, 110, 58, 24);

    Label3 = makeLabel(gpbOutput, "Label3", QStringLiteral("Output Path:"), QRect(10, 139, 80, 24));
    edtOutputDir =
        makeEdit(gpbOutput, "edtOutputDir", QString(), QRect(92, 140, inner - 92 - 70, 22));
    Label3->setBuddy(edtOutputDir);
    bbtnBrowse = named(new QPushButton(QStringLiteral("Browse"), gpbOutput), "bbtnBrowse");
    bbtnBrowse->setGeometry(inner - 66, 139, 58, 24);
}

void TMainForm::createProgressPanel() {
    // Over the source row and the output group while a job runs.
    panProgress = named(new QWidget(panRight), "panProgress");
    panProgress->setGeometry(0, kToolBarHeight, panRight->width(), kProgressPanelHeight);
    panProgress->setAutoFillBackground(true);
    const int width = panProgress->width();

    labProcessing =
        makeLabel(panProgress, "labProcessing", QString(), QRect(12, 14, width - 24, 18));
    Label1 = makeLabel(panProgress, "Label1", QStringLiteral("Current:"), QRect(12, 44, 60, 20));
    pgbCurrent = named(new QProgressBar(panProgress), "pgbCurrent");
    pgbCurrent->setGeometry(76, 44, width - 136, 20);
    pgbCurrent->setRange(0, 100);
    pgbCurrent->setValue(0);
    pgbCurrent->setTextVisible(false);
    Label1->setBuddy(pgbCurrent);
    labCurProgress = makeLabel(panProgress, "labCurProgress", QStringLiteral("%"),
                               QRect(width - 54, 44, 44, 20), Qt::AlignRight | Qt::AlignVCenter);

    Label6 = makeLabel(panProgress, "Label6", QStringLiteral("Total:"), QRect(12, 76, 60, 20));
    pgbTotal = named(new QProgressBar(panProgress), "pgbTotal");
    pgbTotal->setGeometry(76, 76, width - 136, 20);
    pgbTotal->setRange(0, 100);
    pgbTotal->setValue(0);
    pgbTotal->setTextVisible(false);
    Label6->setBuddy(pgbTotal);
    labTotalProgress = makeLabel(panProgress, "labTotalProgress", QStringLiteral("%"),
                                 QRect(width - 54, 76, 44, 20), Qt::AlignRight | Qt::AlignVCenter);

    Label8 = makeLabel(panProgress, "Label8", QStringLiteral("Elapsed:"), QRect(12, 112, 60, 20));
    labElapsed = makeLabel(panProgress, "labElapsed", QString(), QRect(76, 112, 90, 20));
    Label8->setBuddy(labElapsed);
    Label9 =
        makeLabel(panProgress, "Label9", QStringLiteral("Remaining:"), QRect(180, 112, 64, 20));
    labRemaining = makeLabel(panProgress, "labRemaining", QString(), QRect(248, 112, 90, 20));
    Label9->setBuddy(labRemaining);

    chkPreview = named(new QCheckBox(QStringLiteral("Preview"), panProgress), "chkPreview");
    chkPreview->setGeometry(12, 150, 100, 20);
    chkPreview->hide();
    panProgress->hide();
}

void TMainForm::fillProfileList() {
    // A missing Profiles folder gives an empty catalogue: the list stays empty and the job
    // reports the missing profile when it starts.
    cmbProfile->addItems(DisplayNames(LoadProfileCatalogue(m_context.profileFolders())));
    cmbProfile->setCurrentIndex(-1);
}

void TMainForm::connectHandlers() {
    const auto on = [this](auto handler) {
        return [this, handler] { guarded(this, [&] { (this->*handler)(); }); };
    };
    connect(tbtnOpen, &QToolButton::clicked, this, on(&TMainForm::tbtnOpenClick));
    connect(tbtnSettings, &QToolButton::clicked, this, on(&TMainForm::tbtnSettingsClick));
    connect(tbtnAbout, &QToolButton::clicked, this, on(&TMainForm::tbtnAboutClick));
    connect(tbtnHelp, &QToolButton::clicked, this, on(&TMainForm::tbtnHelpClick));
    connect(bbtnBrowse, &QPushButton::clicked, this, on(&TMainForm::bbtnBrowseClick));
    connect(BitBtn1, &QPushButton::clicked, this, on(&TMainForm::BitBtn1Click));
    // Every change of the choice loads that profile, whoever makes it (the user, the Settings
    // dialog putting the saved one back, the profile editor), so the list always names the
    // profile whose values the grids hold and Start never mixes two. Before the editor exists
    // (start-up) nothing loads; the first showing does.
    connect(cmbProfile, &QComboBox::currentIndexChanged, this, on(&TMainForm::cmbProfileChange));

    connect(imgPlay, &PictureButton::clicked, this, on(&TMainForm::imgPlayClick));
    connect(imgPause, &PictureButton::clicked, this, on(&TMainForm::imgPauseClick));
    connect(imgStop, &PictureButton::clicked, this, on(&TMainForm::imgStopClick));
    connect(imgSelStart, &PictureButton::clicked, this, on(&TMainForm::imgSelStartClick));
    connect(imgSelEnd, &PictureButton::clicked, this, on(&TMainForm::imgSelEndClick));
    connect(imgErase, &PictureButton::clicked, this, on(&TMainForm::imgEraseClick));
    connect(imgStart, &PictureButton::clicked, this, on(&TMainForm::imgStartClick));
    connect(imgCancel, &PictureButton::clicked, this, on(&TMainForm::imgCancelClick));

    connect(tkbProgress, &TDSTrackBar::OnTimer, this, on(&TMainForm::tkbProgressTimer));
    connect(tmrPreview, &QTimer::timeout, this, on(&TMainForm::tmrPreviewTimer));
    connect(tmrProcess, &QTimer::timeout, this, on(&TMainForm::tmrProcessTimer));

    connect(edtStart, &QLineEdit::returnPressed, this, on(&TMainForm::edtStartKeyPress));
    connect(edtEnd, &QLineEdit::returnPressed, this, on(&TMainForm::edtEndKeyPress));
    edtStart->installEventFilter(this);
    edtEnd->installEventFilter(this);
    edtSectionQty->installEventFilter(this);

    // The pointer over the surroundings returns the round buttons to their normal picture.
    const QList<QWidget*> backgrounds{panLeft,        imgScreen, panRight,
                                      imgRightBottom, gpbOutput, panProgress};
    for (QWidget* background : backgrounds) {
        background->setMouseTracking(true);
        background->installEventFilter(this);
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusOut:
        if (watched == edtStart)
            guarded(this, [&] { edtStartExit(); });
        else if (watched == edtEnd)
            guarded(this, [&] { edtEndExit(); });
        break;
    case QEvent::MouseButtonPress:
        if (watched == edtSectionQty)
            guarded(this, [&] { edtSectionQtyClick(); });
        break;
    case QEvent::MouseMove:
        if (watched != edtStart && watched != edtEnd && watched != edtSectionQty)
            guarded(this, [&] { imgRightBottomMouseMove(); });
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::imgRightBottomMouseMove() {
    imgStart->ResetLook();
    imgCancel->ResetLook();
}

void TMainForm::cmbProfileChange() {
    if (!opSettingForm || cmbProfile->currentIndex() < 0)
        return;
    opSettingForm->LoadProfile(m_context.profilePath(cmbProfile->currentText()));
}

void TMainForm::tbtnSettingsClick() {
    // The dialog disables this window itself while it is shown.
    if (settingForm)
        settingForm->show();
}

void TMainForm::tbtnAboutClick() {
    if (aboutForm)
        aboutForm->show();
}

void TMainForm::tbtnHelpClick() {
    seams().openUrl(QUrl::fromLocalFile(HelpFilePath()));
}

void TMainForm::bbtnBrowseClick() {
    const std::optional<QString> folder =
        seams().pickFolder(this, kOutputFolderCaption, edtOutputDir->text());
    if (folder && !folder->isEmpty())
        edtOutputDir->setText(WithTrailingSeparator(*folder));
}

void TMainForm::BitBtn1Click() {
    // The editor shows itself and brings its list in line with this one.
    if (opSettingForm)
        opSettingForm->Open(cmbProfile->currentIndex());
}

void TMainForm::FormShow() {
    cmbProfileChange();
}

void TMainForm::FormClose() {
    // A failed save is reported, yet the program still ends: the values are lost only for the
    // next run, and a window that cannot be closed would be worse.
    if (settingForm)
        guarded(this, [&] { settingForm->SavePreferences(); });
    seams().endProgram();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce || event->spontaneous())
        return;
    m_shownOnce = true;
    guarded(this, [&] { FormShow(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    // An error while asking keeps the window open rather than dropping a running job.
    if (!guarded(this, [&] { FormCloseQuery(canClose); }) || !canClose) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

} // namespace segmora
