// The main window's cut list: its column (the table of ranges and its buttons), undo and redo,
// the ranges on the position bar, import and export, and the list kept with each video.
#include "app/main_form.h"

#include "ground/app_error.h"
#include "ground/error_guard.h"
#include "ground/ini_file.h"
#include "ground/object_names.h"
#include "ground/seams.h"
#include "ground/time_text.h"
#include "job/cut_list.h"
#include "job/cut_list_file.h"
#include "media/filter_graph.h"
#include "media/track_bar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

namespace segmora {
namespace {

constexpr int kCutListPanelWidth = 330;
// The bar paints the list's ranges as a layer of their own beside the timeline's.
const QString kCutListLayer = QStringLiteral("cut list");
enum CutListColumn { ColumnStart, ColumnEnd, ColumnLength, ColumnLabel, ColumnCount };

const QString kCutListFilter =
    QStringLiteral("Cut lists (*.csv *.json);;CSV (*.csv);;JSON (*.json);;All files (*)");

// The colour of a row on the bar and in its number: hues a golden angle apart, so neighbours
// never look alike however long the list grows; the first is orange, away from the blue of the
// marked range painted over them.
QColor rowColour(int row) {
    return QColor::fromHsv((row * 137 + 30) % 360, 170, 235);
}

QTableWidgetItem* cell(const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (editable)
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    return item;
}

CutListMode chosenMode(const QComboBox* box) {
    return box->currentIndex() == 1 ? CutListMode::Remove : CutListMode::Keep;
}

} // namespace

void TMainForm::createCutListPanel() {
    panCutList->setFixedWidth(kCutListPanelWidth);
    labCutList = named(new QLabel(QStringLiteral("Cut list:"), panCutList), "labCutList");

    grdCutList = named(new QTableWidget(0, ColumnCount, panCutList), "grdCutList");
    grdCutList->setHorizontalHeaderLabels({QStringLiteral("Start"), QStringLiteral("End"),
                                           QStringLiteral("Length"), QStringLiteral("Label")});
    grdCutList->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdCutList->setSelectionMode(QAbstractItemView::SingleSelection);
    grdCutList->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::EditKeyPressed);
    grdCutList->horizontalHeader()->setStretchLastSection(true);
    grdCutList->verticalHeader()->setDefaultSectionSize(20);
    grdCutList->setAccessibleName(QStringLiteral("Cut list"));
    grdCutList->setAccessibleDescription(
        QStringLiteral("The ranges to cut, one a row. Selecting a row puts its times into the "
                       "Start and End Time, which then move it; the label can be edited."));
    labCutList->setBuddy(grdCutList);
    // Three times and a label fit the column's width without scrolling sideways: the times
    // take what they need, the label the rest.
    for (int column = 0; column < ColumnLabel; ++column)
        grdCutList->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    grdCutList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    struct ButtonEntry {
        QPushButton** member;
        const char* name;
        const char* caption;
        const char* hint;
    };
    const ButtonEntry buttons[] = {
        {&btnAddRange, "btnAddRange", "Add", "Add the marked range to the list (A)"},
        {&btnRemoveRange, "btnRemoveRange", "Remove", "Remove the selected range from the list"},
        {&btnRangeUp, "btnRangeUp", "Up", "Move the selected range up"},
        {&btnRangeDown, "btnRangeDown", "Down", "Move the selected range down"},
        {&btnImportCutList, "btnImportCutList", "Import...",
         "Read a cut list from a CSV or JSON file"},
        {&btnExportCutList, "btnExportCutList", "Export...",
         "Write the cut list to a CSV or JSON file"},
    };
    for (const ButtonEntry& entry : buttons) {
        auto* button =
            named(new QPushButton(QString::fromLatin1(entry.caption), panCutList), entry.name);
        button->setToolTip(QString::fromLatin1(entry.hint));
        button->setAccessibleDescription(QString::fromLatin1(entry.hint));
        button->setFixedHeight(22);
        *entry.member = button;
    }

    actUndo = new QAction(QStringLiteral("Undo"), this);
    actUndo->setObjectName(QStringLiteral("actUndo"));
    actUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actRedo = new QAction(QStringLiteral("Redo"), this);
    actRedo->setObjectName(QStringLiteral("actRedo"));
    actRedo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    for (QAction* action : {actUndo, actRedo}) {
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(false);
        // The keys work with the column hidden too.
        addAction(action);
    }
    actUndo->setToolTip(QStringLiteral("Undo the last change of the marks or the list (Ctrl+Z)"));
    actRedo->setToolTip(QStringLiteral("Redo what was undone (Ctrl+Shift+Z)"));
    btnUndo = named(new QToolButton(panCutList), "btnUndo");
    btnUndo->setDefaultAction(actUndo);
    btnRedo = named(new QToolButton(panCutList), "btnRedo");
    btnRedo->setDefaultAction(actRedo);
    for (QToolButton* button : {btnUndo, btnRedo}) {
        button->setFixedHeight(22);
        button->setAccessibleName(button->defaultAction()->text());
    }

    chkJoinRanges = named(new QCheckBox(QStringLiteral("One file joining the ranges"), panCutList),
                          "chkJoinRanges");
    chkJoinRanges->setAccessibleName(QStringLiteral("One file joining the ranges"));
    const QString joinHint = QStringLiteral(
        "Write the ranges of the list into one file, each a chapter named by its label, rather "
        "than a clip each; every range is cut exactly at both ends");
    chkJoinRanges->setToolTip(joinHint);
    chkJoinRanges->setAccessibleDescription(joinHint);

    const auto line = [](std::initializer_list<QWidget*> widgets) {
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        for (QWidget* widget : widgets)
            row->addWidget(widget, 1);
        return row;
    };
    auto* rows = new QVBoxLayout(panCutList);
    rows->setContentsMargins(4, 8, 8, 8);
    rows->setSpacing(4);
    rows->addWidget(labCutList);
    rows->addWidget(grdCutList, 1);
    rows->addLayout(line({btnAddRange, btnRemoveRange, btnRangeUp, btnRangeDown}));
    rows->addLayout(line({btnUndo, btnRedo, btnImportCutList, btnExportCutList}));
    rows->addWidget(chkJoinRanges);
}

void TMainForm::connectCutList() {
    cutList = new CutList(this);
    cutList->setObjectName(QStringLiteral("CutList"));
    const auto on = [this](void (TMainForm::*handler)()) { return guardedSlot(this, handler); };
    connect(cutList, &CutList::changed, this, on(&TMainForm::ShowCutListState));
    connect(cutList, &CutList::rangesChanged, this, on(&TMainForm::KeepCurrentCutList));
    connect(cmbCutListMode, &QComboBox::currentIndexChanged, this,
            on(&TMainForm::KeepCurrentCutList));
    connect(actUndo, &QAction::triggered, this, guardedSlot(this, [this] {
                if (JobState == JobIdle)
                    cutList->undo();
            }));
    connect(actRedo, &QAction::triggered, this, guardedSlot(this, [this] {
                if (JobState == JobIdle)
                    cutList->redo();
            }));
    connect(btnAddRange, &QPushButton::clicked, this, on(&TMainForm::btnAddRangeClick));
    connect(btnRemoveRange, &QPushButton::clicked, this, on(&TMainForm::btnRemoveRangeClick));
    connect(btnRangeUp, &QPushButton::clicked, this, on(&TMainForm::btnRangeUpClick));
    connect(btnRangeDown, &QPushButton::clicked, this, on(&TMainForm::btnRangeDownClick));
    connect(btnImportCutList, &QPushButton::clicked, this, on(&TMainForm::btnImportCutListClick));
    connect(btnExportCutList, &QPushButton::clicked, this, on(&TMainForm::btnExportCutListClick));
    connect(tbtnCutList, &QToolButton::clicked, this, on(&TMainForm::tbtnCutListClick));
    connect(grdCutList, &QTableWidget::itemSelectionChanged, this, guardedSlot(this, [this] {
                if (m_showingCutList)
                    return;
                const QList<QTableWidgetSelectionRange> chosen = grdCutList->selectedRanges();
                cutList->select(chosen.isEmpty() ? -1 : chosen.first().topRow());
            }));
    connect(grdCutList, &QTableWidget::itemChanged, this,
            guardedSlot(this, [this](QTableWidgetItem* item) {
                if (!m_showingCutList && item->column() == ColumnLabel)
                    cutList->setLabel(item->row(), item->text().trimmed());
            }));
    ShowCutListState();
}

void TMainForm::ShowCutListState() {
    const bool showing = std::exchange(m_showingCutList, true);
    const auto restore = qScopeGuard([&] { m_showingCutList = showing; });

    const QList<CutRange>& ranges = cutList->ranges();
    QVector<PaintedRange> segments;
    grdCutList->setRowCount(int(ranges.size()));
    for (int row = 0; row < ranges.size(); ++row) {
        const CutRange& range = ranges[row];
        grdCutList->setItem(row, ColumnStart, cell(SecondsToMarkText(range.start), false));
        grdCutList->setItem(row, ColumnEnd, cell(SecondsToMarkText(range.end), false));
        grdCutList->setItem(row, ColumnLength, cell(SecondsToMarkText(range.length()), false));
        grdCutList->setItem(row, ColumnLabel, cell(range.label, true));
        auto* number = new QTableWidgetItem(QString::number(row + 1));
        number->setBackground(rowColour(row));
        grdCutList->setVerticalHeaderItem(row, number);
        segments.append(PaintedRange{range.start, range.end, rowColour(row), range.label});
    }
    if (cutList->selected() >= 0)
        grdCutList->selectRow(cutList->selected());
    else
        grdCutList->clearSelection();
    tkbProgress->SetPaintedRanges(kCutListLayer, segments);

    // The marks follow the list's (a selected row's, or those undo brought back).
    if (SourceLoaded && (tkbProgress->SelStartSeconds() != cutList->markStart() ||
                         tkbProgress->SelEndSeconds() != cutList->markEnd()))
        ShowMarks(cutList->markStart(), cutList->markEnd());

    actUndo->setEnabled(cutList->canUndo());
    actRedo->setEnabled(cutList->canRedo());
    const bool chosen = cutList->selected() >= 0;
    btnRemoveRange->setEnabled(chosen);
    btnRangeUp->setEnabled(chosen && cutList->selected() > 0);
    btnRangeDown->setEnabled(chosen && cutList->selected() + 1 < ranges.size());
    btnExportCutList->setEnabled(!ranges.isEmpty());
    labCutList->setText(ranges.isEmpty()
                            ? QStringLiteral("Cut list:")
                            : QStringLiteral("Cut list: %1 range(s)").arg(ranges.size()));
}

void TMainForm::RecordMarks() {
    if (m_showingCutList || !cutList)
        return;
    cutList->setMarks(tkbProgress->SelStartSeconds(), tkbProgress->SelEndSeconds());
}

void TMainForm::btnAddRangeClick() {
    if (!SourceLoaded || JobState != JobIdle)
        return;
    QString problem = cutList->addMarkedRange(QString(), double(filterGraph->Duration()) / 1000.0);
    if (!problem.isEmpty())
        throw AppError(
            QStringLiteral("The marked range cannot be added to the cut list.\n") +
            problem.replace(QStringLiteral("Range %1 ").arg(cutList->ranges().size() + 1),
                            QStringLiteral("The marked range ")));
    ShowCutListPanel(true);
}

void TMainForm::btnRemoveRangeClick() {
    cutList->removeRow(cutList->selected());
}

void TMainForm::btnRangeUpClick() {
    if (cutList->selected() > 0)
        cutList->moveRow(cutList->selected(), cutList->selected() - 1);
}

void TMainForm::btnRangeDownClick() {
    if (cutList->selected() >= 0)
        cutList->moveRow(cutList->selected(), cutList->selected() + 1);
}

void TMainForm::tbtnCutListClick() {
    ShowCutListPanel(tbtnCutList->isChecked());
}

void TMainForm::ShowCutListPanel(bool shown) {
    tbtnCutList->setChecked(shown);
    if (panCutList->isHidden() != shown)
        return;
    const int change = shown ? kCutListPanelWidth : -kCutListPanelWidth;
    const QSize least = minimumSize();
    panCutList->setVisible(shown);
    setMinimumSize(least.width() + change, least.height());
    if (!isMaximized() && !isFullScreen())
        resize(qMax(width() + change, minimumWidth()), height());
}

void TMainForm::KeepCurrentCutList() {
    if (m_showingCutList || m_openSource.isEmpty() || !cutList)
        return;
    KeepCutList(m_context.cutListsFolder(),
                VideoIdentity{QFileInfo(m_openSource).absoluteFilePath(), m_openVideoSize,
                              m_openVideoModifiedMs},
                CutListContent{cutList->ranges(), chosenMode(cmbCutListMode)});
}

void TMainForm::TakeCutListOf(const QString& path) {
    const VideoIdentity video = IdentifyVideo(path);
    m_openVideoSize = video.size;
    m_openVideoModifiedMs = video.modifiedMs;
    const double length = double(filterGraph->Duration()) / 1000.0;
    {
        // Nothing is kept for the video until the user changes its list.
        const bool showing = std::exchange(m_showingCutList, true);
        cutList->reset({}, 0, length);
        m_showingCutList = showing;
    }
    const std::optional<CutListContent> kept = KeptCutList(m_context.cutListsFolder(), video);
    if (!kept || !CutRangesProblem(kept->ranges, length).isEmpty())
        return;
    if (!askYesNo(this, QStringLiteral("Cut List"),
                  QStringLiteral("A cut list of %1 range(s) was kept for this video when it was "
                                 "open before.\nDo you want to use it again?")
                      .arg(kept->ranges.size())))
        return;
    const bool showing = std::exchange(m_showingCutList, true);
    cmbCutListMode->setCurrentIndex(kept->mode == CutListMode::Remove ? 1 : 0);
    cutList->reset(kept->ranges, 0, length);
    m_showingCutList = showing;
    ShowCutListState();
    ShowCutListPanel(true);
}

void TMainForm::btnImportCutListClick() {
    if (!SourceLoaded || JobState != JobIdle)
        return;
    const std::optional<QString> path = seams().pickOpenFile(this, kCutListFilter);
    if (!path || path->isEmpty())
        return;
    const CutListReading reading =
        ReadCutListFile(*path,
                        VideoIdentity{QFileInfo(m_openSource).absoluteFilePath(), m_openVideoSize,
                                      m_openVideoModifiedMs},
                        double(filterGraph->Duration()) / 1000.0);
    if (!reading.ok())
        throw AppError(QStringLiteral("The cut list %1 was not read:\n%2")
                           .arg(QFileInfo(*path).fileName(), reading.problem));
    if (reading.modeGiven)
        cmbCutListMode->setCurrentIndex(reading.content.mode == CutListMode::Remove ? 1 : 0);
    cutList->replaceRanges(reading.content.ranges);
    ShowCutListPanel(true);
}

void TMainForm::btnExportCutListClick() {
    if (cutList->ranges().isEmpty())
        return;
    const std::optional<QString> path =
        seams().pickSaveFile(this, QFileInfo(m_openSource).absolutePath(),
                             QStringLiteral("CSV (*.csv);;JSON (*.json)"), QStringLiteral("csv"));
    if (!path || path->isEmpty())
        return;
    const CutListContent content{cutList->ranges(), chosenMode(cmbCutListMode)};
    ReplaceFileContents(
        *path, path->endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                   ? CutListJson(content, VideoIdentity{QFileInfo(m_openSource).absoluteFilePath(),
                                                        m_openVideoSize, m_openVideoModifiedMs})
                   : CutListCsv(content.ranges));
}

} // namespace segmora
