// The main window's creation, layout, tool bar, profile list, Browse, and its show and close.
#include "app/main_form.h"

#include "app/about_form.h"
#include "app/picture_button.h"
#include "app/setting_form.h"
#include "ground/app_error.h"
#include "ground/error_guard.h"
#include "ground/ini_file.h"
#include "ground/object_names.h"
#include "ground/product.h"
#include "ground/seams.h"
#include "ground/time_text.h"
#include "ground/window_placement.h"
#include "job/job_controller.h"
#include "media/filter_graph.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "profiles/profile_catalogue.h"
#include "profiles/profile_editor_form.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <array>

namespace segmora {
namespace {

const QString kOutputFolderCaption = QStringLiteral("Select the output directory.");
const QString kZeroTime = QStringLiteral("00:00:00");

// Sizes the artwork and the panels are drawn for; the layouts place everything else.
constexpr QSize kScreenSize{390, 290};
constexpr QSize kPictureButtonSize{63, 35};
constexpr QSize kRoundButtonSize{110, 110};
constexpr QSize kBannerSize{320, 80};
constexpr QSize kRightBottomSize{263, 99};
constexpr int kRightPanelWidth = 373;
constexpr int kProgressPanelHeight = 217;
// The display inside the screen picture: the bezel is 14 pixels, its foot 26.
constexpr QMargins kScreenBezel{14, 14, 14, 26};
// The video sits a little inside the display.
constexpr QMargins kVideoInset{16, 7, 15, 6};
// How far the bezel's corners reach; the rest of the picture stretches.
constexpr int kScreenCorner = 32;

// A label that shows a time. Screen readers hear what the time means before it ("Current
// position 00:00:07"): the context is the accessible name, the time the value.
class TimeLabel : public QLabel {
    Q_OBJECT
public:
    TimeLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
};

class TimeLabelAccessible : public QAccessibleWidget {
public:
    explicit TimeLabelAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}
    QString text(QAccessible::Text kind) const override {
        const auto* label = static_cast<const QLabel*>(widget());
        if (kind == QAccessible::Name)
            return label->accessibleName() + QLatin1Char(' ') + label->text();
        if (kind == QAccessible::Value)
            return label->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* timeLabelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(TimeLabel::staticMetaObject.className()) && object)
        return new TimeLabelAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

QLabel* makeTimeLabel(QWidget* parent, const char* name, Qt::Alignment alignment,
                      const QString& context, const QString& description) {
    static const bool installed = [] {
        QAccessible::installFactory(timeLabelAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    auto* label = named(new TimeLabel(QStringLiteral("00:00:00"), parent), name);
    label->setAlignment(alignment);
    label->setAccessibleName(context);
    label->setAccessibleDescription(description);
    return label;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = named(new QLabel(text, parent), name);
    label->setAlignment(alignment);
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text) {
    return named(new QLineEdit(text, parent), name);
}

template <class Widget> Widget* fixedSize(Widget* widget, int width, int height) {
    widget->setFixedSize(width, height);
    return widget;
}

template <class Widget> Widget* fixedHeight(Widget* widget, int height) {
    widget->setFixedHeight(height);
    return widget;
}

void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

// A picture of the program's artwork; variant picks a look of it, such as "_down".
QString artwork(const char* name, const char* variant = "") {
    return QStringLiteral(":/artwork/") + QLatin1String(name) + QLatin1String(variant) +
           QStringLiteral(".svg");
}

// The artwork drawn at the screen's pixel density, so it stays sharp when scaled.
QPixmap sharpPicture(const QString& resource, QSize size, qreal pixelRatio) {
    QSvgRenderer renderer(resource);
    QImage image((QSizeF(size) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(pixelRatio);
    return pixmap;
}

// A fixed-size picture of the artwork.
QLabel* makePicture(QWidget* parent, const char* name, const char* picture, QSize size) {
    auto* label = named(new QLabel(parent), name);
    label->setFixedSize(size);
    label->setPixmap(sharpPicture(artwork(picture), size, label->devicePixelRatioF()));
    return label;
}

// The screen behind the preview. It grows with the window; its bezel and corners keep their
// thickness (the picture is cut in nine, only the edges and the middle stretch), and it is drawn
// afresh at each size and pixel density.
class ScreenPicture : public QLabel {
public:
    explicit ScreenPicture(QWidget* parent) : QLabel(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return kScreenSize; }
    QSize minimumSizeHint() const override { return kScreenSize; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        redraw();
    }
    void showEvent(QShowEvent* event) override {
        // The screen it shows on may have another pixel density than the one it was drawn for.
        QLabel::showEvent(event);
        redraw();
    }

private:
    void redraw() {
        const qreal ratio = devicePixelRatioF();
        const QImage source = sharpPicture(artwork("screen"), kScreenSize, ratio).toImage();
        QImage target((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        target.fill(Qt::transparent);
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const auto cuts = [](int length, int corner) {
            return std::array<int, 4>{0, corner, length - corner, length};
        };
        const int corner = qRound(kScreenCorner * ratio);
        const auto sourceX = cuts(source.width(), corner);
        const auto sourceY = cuts(source.height(), corner);
        const auto targetX = cuts(target.width(), corner);
        const auto targetY = cuts(target.height(), corner);
        for (std::size_t row = 0; row < 3; ++row) {
            for (std::size_t column = 0; column < 3; ++column) {
                const QRect from(QPoint(sourceX[column], sourceY[row]),
                                 QPoint(sourceX[column + 1] - 1, sourceY[row + 1] - 1));
                const QRect to(QPoint(targetX[column], targetY[row]),
                               QPoint(targetX[column + 1] - 1, targetY[row + 1] - 1));
                painter.drawImage(to, source, from);
            }
        }
        painter.end();
        QPixmap pixmap = QPixmap::fromImage(target);
        pixmap.setDevicePixelRatio(ratio);
        setPixmap(pixmap);
    }
};

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
    // The open dialog, drops and the start-up argument all take this list; the desktop entry's
    // MimeType (packaging/) names a type for each, which tests/app/test_source_intake.cpp holds
    // them to.
    return {QStringLiteral(".avi"),  QStringLiteral(".mpg"), QStringLiteral(".mpeg"),
            QStringLiteral(".mp4"),  QStringLiteral(".wmv"), QStringLiteral(".mov"),
            QStringLiteral(".vob"),  QStringLiteral(".asf"), QStringLiteral(".mkv"),
            QStringLiteral(".webm"), QStringLiteral(".ts"),  QStringLiteral(".m2ts"),
            QStringLiteral(".mts"),  QStringLiteral(".m4v"), QStringLiteral(".3gp"),
            QStringLiteral(".flv")};
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
    // A job still running ends with the window: its converters are ended and reaped at once.
    delete m_runningJob;
    m_runningJob = nullptr;
    // The graph lets go of the video window and the bar before the widgets go.
    delete filterGraph;
    filterGraph = nullptr;
}

void TMainForm::FormCreate(const QString& commandLineArgument) {
    setObjectName(QStringLiteral("MainForm"));
    EnsureArtwork();
    QFont formFont = font();
    formFont.setPointSize(8);
    setFont(formFont);

    filterGraph = new FilterGraph(this);
    filterGraph->setObjectName(QStringLiteral("FilterGraph"));

    // The preview's side takes every pixel the window grows by; the commands keep their width.
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    auto* columns = new QHBoxLayout(client);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    panLeft = named(new QWidget(client), "panLeft");
    panRight = named(new QWidget(client), "panRight");
    panRight->setFixedWidth(kRightPanelWidth);
    panCutList = named(new QWidget(client), "panCutList");
    columns->addWidget(panLeft, 1);
    columns->addWidget(panRight);
    columns->addWidget(panCutList);
    createLeftPanel();
    createRightPanel();
    createCutListPanel();

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
    connectCutList();
    InstallMarkingKeys();
    InstallTimeline();

    // The default size is also the least that shows every control; the cut list's column
    // opens on demand and widens the window by its own width.
    panCutList->hide();
    setMinimumSize(minimumSizeHint());
    resize(kClientWidth, kClientHeight);
    // Lay the window out now, top down, so the controls stand in their places before it is
    // first shown (the placement of the marks and the pictures reads them).
    for (QWidget* panel : {static_cast<QWidget*>(this), centralWidget(), panLeft, panRight,
                           static_cast<QWidget*>(gpbOutput), panProgress}) {
        if (panel->layout())
            panel->layout()->activate();
    }
    PlaceScreenContents();
    PlaceMarkLabels();
    RestoreWindowPlacement();

    guarded(this, [&] { TakeCommandLine(commandLineArgument); });
    setAcceptDrops(true);
}

QList<QRect> TMainForm::AvailableScreenAreas() {
    QList<QRect> areas;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        areas.append(primary->availableGeometry());
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            areas.append(screen->availableGeometry());
    }
    return areas;
}

void TMainForm::RestoreWindowPlacement() {
    const std::optional<WindowPlacement> placement = ReadWindowPlacement(m_context);
    if (!placement) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        return;
    }
    const QRect rect = PullOntoScreen(placement->rect, AvailableScreenAreas());
    resize(rect.size().expandedTo(minimumSize()));
    move(rect.topLeft());
    if (placement->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::SaveWindowPlacement() const {
    // The normal geometry, so a maximised window comes back maximised over its last normal place.
    // X and Y are where the frame stands, as move() takes them.
    QRect normal(pos(), size());
    if (isMaximized()) {
        normal = normalGeometry();
        normal.translate(pos() - geometry().topLeft());
    }
    WriteWindowPlacement(m_context, WindowPlacement{normal, isMaximized()});
}

void TMainForm::createLeftPanel() {
    imgScreen = named(new ScreenPicture(panLeft), "imgScreen");
    imgBanner = makePicture(panLeft, "imgBanner", "banner", kBannerSize);
    imgBanner->setAttribute(Qt::WA_TranslucentBackground);

    videoWindow = named(new VideoWindow(panLeft), "VideoWindow");
    videoWindow->hide();
    filterGraph->SetVideoWindow(videoWindow);

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    labLeft = makeTimeLabel(panLeft, "labLeft", left, QStringLiteral("Start of the source"),
                            QStringLiteral("The time under the left end of the position bar"));
    labMiddle =
        makeTimeLabel(panLeft, "labMiddle", Qt::AlignCenter, QStringLiteral("Half of the duration"),
                      QStringLiteral("The time under the middle of the position bar"));
    labRight = makeTimeLabel(panLeft, "labRight", right, QStringLiteral("Duration"),
                             QStringLiteral("The length of the source, under the right end of "
                                            "the position bar"));

    tkbProgress = named(new TDSTrackBar(panLeft), "tkbProgress");
    tkbProgress->setFixedHeight(13);
    tkbProgress->setMinimumWidth(326);
    tkbProgress->SetFrequency(60);
    tkbProgress->SetThumbLength(8);
    tkbProgress->SetFilterGraph(filterGraph);
    tkbProgress->setAccessibleName(QStringLiteral("Position"));

    labCurrent = makeTimeLabel(panLeft, "labCurrent", right, QStringLiteral("Current position"),
                               QStringLiteral("The position of the preview: hours, minutes and "
                                              "seconds while playing, to the millisecond while "
                                              "paused or stepping"));
    // Room for a paused frame's time to the millisecond ("00:00:00.000" in the window's 8 point
    // font); the bar gives up the 20 pixels that takes.
    fixedSize(labCurrent, 76, 16);
    tkbProgress->setMinimumWidth(306);
    createTimelinePanel();

    // The mark labels are placed by hand under their marks (PlaceMarkLabels).
    labStart = named(new QLabel(QStringLiteral("[ "), panLeft), "labStart");
    labStart->adjustSize();
    labStart->hide();
    labEnd = named(new QLabel(QStringLiteral(" ]"), panLeft), "labEnd");
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
    // Six buttons along the bottom, the marking group a little apart from playback.
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(1, 0, 0, 0);
    buttonRow->setSpacing(1);
    for (const PictureButtonEntry& entry : buttons) {
        auto* button = named(new PictureButton(panLeft), entry.name);
        button->setFixedSize(kPictureButtonSize);
        button->setHint(QString::fromLatin1(entry.hint));
        button->setKeyHint(QString::fromLatin1(entry.key));
        button->setPictures(artwork(entry.picture), artwork(entry.picture, "_down"));
        *entry.member = button;
        buttonRow->addWidget(button);
        if (entry.member == &imgStop)
            buttonRow->addSpacing(6);
    }
    buttonRow->addStretch(1);

    auto* timeRow = new QHBoxLayout;
    timeRow->setContentsMargins(4, 0, 5, 0);
    timeRow->setSpacing(0);
    for (QLabel* label : {labLeft, labMiddle, labRight}) {
        label->setFixedHeight(16);
        timeRow->addWidget(label, 1);
    }

    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(4, 0, 0, 0);
    barRow->setSpacing(4);
    barRow->addWidget(tkbProgress, 1, Qt::AlignVCenter);
    barRow->addWidget(labCurrent);

    auto* rows = new QVBoxLayout(panLeft);
    rows->setContentsMargins(4, 4, 5, 9);
    rows->setSpacing(0);
    rows->addWidget(imgScreen, 1);
    rows->addWidget(panTimeline);
    rows->addSpacing(3);
    rows->addLayout(timeRow);
    rows->addSpacing(2);
    rows->addLayout(barRow);
    // Two lines for the mark labels, should a narrow window need the second one.
    rows->addSpacing(35);
    rows->addLayout(buttonRow);
}

void TMainForm::PlaceScreenContents() {
    // The banner in the middle of the display, the video over nearly all of it.
    const QRect display = imgScreen->geometry().marginsRemoved(kScreenBezel);
    videoWindow->setGeometry(display.marginsRemoved(kVideoInset));
    QRect banner(QPoint(0, 0), kBannerSize);
    banner.moveCenter(display.center() + QPoint(1, 1));
    imgBanner->setGeometry(banner);
}

void TMainForm::createRightPanel() {
    createToolBar();

    Label2 = fixedSize(makeLabel(panRight, "Label2", QStringLiteral("Source:")), 48, 22);
    edtSource = fixedHeight(makeEdit(panRight, "edtSource", QString()), 22);
    Label2->setBuddy(edtSource);

    createOutputGroup();
    createProgressPanel();

    imgRightBottom = makePicture(panRight, "imgRightBottom", "right_bottom", kRightBottomSize);
    imgRightBottom->setAttribute(Qt::WA_TransparentForMouseEvents, false);

    imgStart = named(new CircularPictureButton(panRight), "imgStart");
    imgStart->setFixedSize(kRoundButtonSize);
    imgStart->setHint(QStringLiteral("Start"));
    imgStart->setPictures(artwork("start"), artwork("start_down"), artwork("start_hover"));
    imgStart->setClickArea(CircularPictureButton::ClickArea::Circle);

    imgCancel = named(new CircularPictureButton(panRight), "imgCancel");
    imgCancel->setFixedSize(kRoundButtonSize);
    imgCancel->setHint(QStringLiteral("Cancel"));
    imgCancel->setPictures(artwork("cancel"), artwork("cancel_down"), artwork("cancel_hover"));
    // Cancel takes a click anywhere on its picture, so a hurried click never misses.
    imgCancel->setClickArea(CircularPictureButton::ClickArea::Whole);
    imgCancel->hide();
    imgStart->raise();
    imgCancel->raise();

    // Top to bottom: tool bar, source row, output group, free room, the round button over the
    // decoration in the bottom corner. The progress panel covers the source row and the group.
    auto* sourceRow = new QHBoxLayout;
    sourceRow->setContentsMargins(10, 8, 10, 6);
    sourceRow->setSpacing(2);
    sourceRow->addWidget(Label2);
    sourceRow->addWidget(edtSource, 1);

    auto* groupRow = new QHBoxLayout;
    groupRow->setContentsMargins(6, 0, 8, 2);
    groupRow->addWidget(gpbOutput);

    auto* roundButton = new QGridLayout;
    roundButton->setContentsMargins(6, 0, 0, 2);
    roundButton->addWidget(imgStart, 0, 0, Qt::AlignLeft | Qt::AlignBottom);
    roundButton->addWidget(imgCancel, 0, 0, Qt::AlignLeft | Qt::AlignBottom);

    auto* grid = new QGridLayout(panRight);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    // The tool bar would shrink to its buttons inside a layout; it keeps its place by hand.
    ToolBar1->setGeometry(0, 0, ToolBar1->width(), ToolBar1->height());
    grid->addItem(new QSpacerItem(ToolBar1->width(), ToolBar1->height(), QSizePolicy::Fixed,
                                  QSizePolicy::Fixed),
                  0, 0);
    grid->addLayout(sourceRow, 1, 0);
    grid->addLayout(groupRow, 2, 0);
    grid->setRowStretch(3, 1);
    grid->addWidget(imgRightBottom, 4, 0, Qt::AlignRight | Qt::AlignBottom);
    grid->addLayout(roundButton, 4, 0);
    grid->addWidget(panProgress, 1, 0, 4, 1, Qt::AlignTop);
    // The hidden ones keep their places, ready for the moment a job shows them.
    for (QWidget* hidden : {static_cast<QWidget*>(imgCancel), panProgress})
        keepPlaceWhenHidden(hidden);
}

void TMainForm::createToolBar() {
    ToolBar1 = fixedSize(named(new QToolBar(panRight), "ToolBar1"), 372, 94);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(48, 48));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setContentsMargins(6, 10, 6, 10);
    // Qt's overflow button, shown only when the tools do not fit, is still listed to screen
    // readers: it must say what it is.
    if (auto* more = ToolBar1->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More tools"));

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
        {&tbtnCutList, "tbtnCutList", "Cut List", "tool_cut_list"},
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
    tbtnCutList->setCheckable(true);
    tbtnCutList->setToolTip(QStringLiteral("Cut List: several ranges of the video, kept or "
                                           "removed"));
}

void TMainForm::createOutputGroup() {
    gpbOutput =
        fixedHeight(named(new QGroupBox(QStringLiteral("Output"), panRight), "gpbOutput"), 166);

    rdbStartEnd =
        fixedHeight(named(new QRadioButton(QStringLiteral("Split the marked rang out."), gpbOutput),
                          "rdbStartEnd"),
                    20);
    rdbStartEnd->setChecked(true);

    Label4 = fixedSize(makeLabel(gpbOutput, "Label4", QStringLiteral("Start Time:")), 64, 22);
    // Wide enough for a mark with milliseconds, so its hours are not scrolled out of view.
    edtStart = makeEdit(gpbOutput, "edtStart", kZeroTime);
    const int timeFieldWidth =
        qMax(70, edtStart->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 12);
    fixedSize(edtStart, timeFieldWidth, 22);
    Label4->setBuddy(edtStart);
    Label5 = fixedSize(makeLabel(gpbOutput, "Label5", QStringLiteral("End Time:")), 58, 22);
    edtEnd = fixedSize(makeEdit(gpbOutput, "edtEnd", kZeroTime), timeFieldWidth, 22);
    Label5->setBuddy(edtEnd);

    rdbEqual = fixedSize(
        named(new QRadioButton(QStringLiteral("Split the marked rang to "), gpbOutput), "rdbEqual"),
        162, 20);
    edtSectionQty = fixedSize(makeEdit(gpbOutput, "edtSectionQty", QString()), 40, 22);
    Label7 = fixedHeight(makeLabel(gpbOutput, "Label7", QStringLiteral("equal sections.")), 22);
    Label7->setBuddy(edtSectionQty);

    rdbCutList = fixedHeight(
        named(new QRadioButton(QStringLiteral("Split the ranges of the cut list:"), gpbOutput),
              "rdbCutList"),
        20);
    cmbCutListMode = fixedHeight(named(new QComboBox(gpbOutput), "cmbCutListMode"), 20);
    cmbCutListMode->addItems(
        {QStringLiteral("keep these ranges"), QStringLiteral("remove these ranges")});
    cmbCutListMode->setAccessibleName(QStringLiteral("What to do with the ranges"));
    cmbCutListMode->setToolTip(QStringLiteral(
        "keep these ranges: a clip per range (_Clip1, _Clip2, ...); remove these ranges: a clip "
        "per stretch of the video between them"));

    labLength = fixedHeight(
        makeLabel(gpbOutput, "labLength", QStringLiteral("length of the Marked Rang")), 16);
    QPalette blue = labLength->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    labLength->setPalette(blue);
    // Its line stays reserved while it is hidden, so nothing moves when it appears.
    keepPlaceWhenHidden(labLength);
    labLength->hide();

    Label10 = fixedSize(makeLabel(gpbOutput, "Label10", QStringLiteral("Output Profile:")), 80, 22);
    cmbProfile = fixedHeight(named(new QComboBox(gpbOutput), "cmbProfile"), 22);
    cmbProfile->setEditable(false);
    Label10->setBuddy(cmbProfile);
    BitBtn1 =
        fixedSize(named(new QPushButton(QStringLiteral("Detail"), gpbOutput), "BitBtn1"), 58, 22);

    Label3 = fixedSize(makeLabel(gpbOutput, "Label3", QStringLiteral("Output Path:")), 80, 22);
    edtOutputDir = fixedHeight(makeEdit(gpbOutput, "edtOutputDir", QString()), 22);
    Label3->setBuddy(edtOutputDir);
    bbtnBrowse = fixedSize(
        named(new QPushButton(QStringLiteral("Browse"), gpbOutput), "bbtnBrowse"), 58, 22);

    const auto row = [](std::initializer_list<QWidget*> widgets, int indent, int stretchAt,
                        int gapAfterSecond = 2) {
        auto* line = new QHBoxLayout;
        line->setContentsMargins(indent, 0, 0, 0);
        line->setSpacing(2);
        int index = 0;
        for (QWidget* widget : widgets) {
            line->addWidget(widget, index == stretchAt ? 1 : 0);
            if (index == 1 && gapAfterSecond != 2)
                line->addSpacing(gapAfterSecond - 2);
            ++index;
        }
        if (stretchAt < 0)
            line->addStretch(1);
        return line;
    };
    auto* rows = new QVBoxLayout(gpbOutput);
    // The group's frame and title take their own room; the rows start 18 pixels from its top.
    const QMargins frame = gpbOutput->contentsMargins();
    rows->setContentsMargins(qMax(0, 10 - frame.left()), qMax(0, 18 - frame.top()),
                             qMax(0, 8 - frame.right()), qMax(0, 3 - frame.bottom()));
    rows->setSpacing(0);
    // The third choice takes its line from the room between the others.
    rows->addWidget(rdbStartEnd);
    rows->addLayout(row({Label4, edtStart, Label5, edtEnd}, 18, -1, 18));
    rows->addSpacing(1);
    rows->addLayout(row({rdbEqual, edtSectionQty, Label7}, 0, 2, 6));
    rows->addLayout(row({rdbCutList, cmbCutListMode}, 0, -1));
    rows->addLayout(row({labLength}, 18, 0));
    rows->addSpacing(1);
    rows->addLayout(row({Label10, cmbProfile, BitBtn1}, 0, 1, 4));
    rows->addSpacing(1);
    rows->addLayout(row({Label3, edtOutputDir, bbtnBrowse}, 0, 1, 4));
    rows->addStretch(1);
}

void TMainForm::createProgressPanel() {
    // Over the source row and the output group while a job runs.
    panProgress = fixedHeight(named(new QWidget(panRight), "panProgress"), kProgressPanelHeight);
    panProgress->setAutoFillBackground(true);

    labProcessing = fixedHeight(makeLabel(panProgress, "labProcessing", QString()), 18);
    Label1 = fixedSize(makeLabel(panProgress, "Label1", QStringLiteral("Current:")), 60, 20);
    pgbCurrent = fixedHeight(named(new QProgressBar(panProgress), "pgbCurrent"), 20);
    Label1->setBuddy(pgbCurrent);
    labCurProgress = fixedSize(makeLabel(panProgress, "labCurProgress", QStringLiteral("%"),
                                         Qt::AlignRight | Qt::AlignVCenter),
                               44, 20);

    Label6 = fixedSize(makeLabel(panProgress, "Label6", QStringLiteral("Total:")), 60, 20);
    pgbTotal = fixedHeight(named(new QProgressBar(panProgress), "pgbTotal"), 20);
    Label6->setBuddy(pgbTotal);
    labTotalProgress = fixedSize(makeLabel(panProgress, "labTotalProgress", QStringLiteral("%"),
                                           Qt::AlignRight | Qt::AlignVCenter),
                                 44, 20);
    for (QProgressBar* bar : {pgbCurrent, pgbTotal}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }

    Label8 = fixedSize(makeLabel(panProgress, "Label8", QStringLiteral("Elapsed:")), 60, 20);
    labElapsed = fixedSize(makeLabel(panProgress, "labElapsed", QString()), 90, 20);
    Label8->setBuddy(labElapsed);
    Label9 = fixedSize(makeLabel(panProgress, "Label9", QStringLiteral("Remaining:")), 64, 20);
    labRemaining = fixedSize(makeLabel(panProgress, "labRemaining", QString()), 90, 20);
    Label9->setBuddy(labRemaining);

    chkPreview = named(new QCheckBox(QStringLiteral("Preview"), panProgress), "chkPreview");
    chkPreview->hide();

    const auto line = [](std::initializer_list<QWidget*> widgets, int stretchAt) {
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        int index = 0;
        for (QWidget* widget : widgets)
            row->addWidget(widget, index++ == stretchAt ? 1 : 0);
        if (stretchAt < 0)
            row->addStretch(1);
        return row;
    };
    auto* rows = new QVBoxLayout(panProgress);
    rows->setContentsMargins(12, 14, 10, 0);
    rows->setSpacing(0);
    rows->addWidget(labProcessing);
    rows->addSpacing(12);
    rows->addLayout(line({Label1, pgbCurrent, labCurProgress}, 1));
    rows->addSpacing(12);
    rows->addLayout(line({Label6, pgbTotal, labTotalProgress}, 1));
    rows->addSpacing(16);
    auto* times = line({Label8, labElapsed, Label9, labRemaining}, -1);
    times->insertSpacing(2, 10);
    rows->addLayout(times);
    rows->addStretch(1);
    panProgress->hide();
}

void TMainForm::fillProfileList() {
    // A missing Profiles folder gives an empty catalogue: the list stays empty and the job
    // reports the missing profile when it starts.
    cmbProfile->addItems(DisplayNames(LoadProfileCatalogue(m_context)));
    cmbProfile->setCurrentIndex(-1);
}

void TMainForm::connectHandlers() {
    const auto on = [this](void (TMainForm::*handler)()) { return guardedSlot(this, handler); };
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
    connect(tkbProgress, &TDSTrackBar::Scrubbed, this,
            guardedSlot(this, [this](qint64 thumbPos, qint64) { tkbProgressScrub(thumbPos); }));
    connect(tmrPreview, &QTimer::timeout, this, on(&TMainForm::tmrPreviewTimer));
    connect(tmrProcess, &QTimer::timeout, this, on(&TMainForm::tmrProcessTimer));

    connect(edtSource, &QLineEdit::returnPressed, this, on(&TMainForm::edtSourceKeyPress));
    edtSource->installEventFilter(this);
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
    // What stands inside the screen and under the bar follows them when the window resizes.
    tkbProgress->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        if (watched == imgScreen)
            PlaceScreenContents();
        else if (watched == tkbProgress)
            PlaceMarkLabels();
        break;
    case QEvent::FocusOut:
        // A menu over the field or a switch to another window is no confirmation: a user
        // fetching the rest of a path elsewhere has not finished typing it.
        if (watched == edtSource) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                guarded(this, [&] { edtSourceExit(); });
        } else if (watched == edtStart)
            guarded(this, [&] { edtStartExit(); });
        else if (watched == edtEnd)
            guarded(this, [&] { edtEndExit(); });
        break;
    case QEvent::MouseButtonPress:
        if (watched == edtSectionQty)
            guarded(this, [&] { edtSectionQtyClick(); });
        break;
    case QEvent::MouseMove:
        if (watched != edtSource && watched != edtStart && watched != edtEnd &&
            watched != edtSectionQty && watched != tkbProgress)
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
    // The size and place are a convenience: a file that refuses them (already reported by the
    // save above) is not worth a second message.
    try {
        SaveWindowPlacement();
    } catch (const AppError&) {
    }
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

#include "main_form.moc"
