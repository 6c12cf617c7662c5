// TMainForm: the main window with its whole control inventory and the handlers of its events.
//
// The controls are the program's state: the split job reads the fields directly, the Settings
// dialog writes the output folder and the profile selection. Every control is a public member
// named as the control, carrying that name as its object name, so behaviour files and tests
// reach it directly.
//
// The behaviour lives in several files, each owning one group of handlers:
//   app/main_form.cpp            creation, layout, tool bar, profiles, Browse, show and close
//   app/main_form_source.cpp     source intake, playback buttons, position display, drops
//   app/main_form_marking.cpp    range marking and the time fields
//   app/main_form_timeline.cpp   the strips along the bar, zoom, jumps, lossless starts, snapshot
//   app/main_form_cut_list.cpp   the cut list's column, undo and redo, import, export, keeping
//   app/main_form_job.cpp        Start, the running look, progress timer, Cancel, close query
//
// Every handler is connected through segmora::guarded: an error ends the handler, is shown in
// the error box and the window carries on. Handlers called directly (tests, other forms) are
// plain functions that may raise.
// Threading: UI thread only.
#pragma once

#include "ground/program_context.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class FilterGraph;
class TDSTrackBar;
class VideoWindow;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QAction;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace segmora {

class CircularPictureButton;
class CutList;
class PictureButton;
class JobController;
class KeyframeIndex;
class TimelineScans;
class TimelineStrip;
enum class MarkingKey;
struct SplitJobResult;
class TAboutForm;
class TCountDownForm;
class TSettingForm;
class TSizeForm;
class TopSettingForm;

// Job states (JobState).
enum JobStateCode : int { JobIdle = 0, JobRunning = 1, JobCancelRequested = 2 };

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate. commandLineArgument is the first program argument, already made
    // absolute (empty when none); it is taken in at the end of the creation.
    explicit TMainForm(const ProgramContext& context, const QString& commandLineArgument = {},
                       QWidget* parent = nullptr);
    ~TMainForm() override;

    // The client area's default size, which is also the least that shows every control.
    static constexpr int kClientWidth = 772;
    static constexpr int kClientHeight = 410;

    // The open dialog's filter in its original "description|patterns|..." form.
    static QString OpenDialogFilterText(const QStringList& extensions);
    // The same filter in Qt's form ("description (patterns);;..."); each pattern also appears
    // in upper case, so CLIP.MOV is shown as well as clip.mov.
    static QString QtFilterFromFilterText(const QString& filterText);
    // The extensions a source is opened by, in the open dialog's order: ".avi", ".mpg",
    // ".mpeg", ".mp4", ".wmv", ".mov", ".vob", ".asf", then the containers phones, recorders
    // and downloads bring: ".mkv", ".webm", ".ts", ".m2ts", ".mts", ".m4v", ".3gp", ".flv".
    static QStringList DefaultSupportedExtensions();
    // The version text of a preferences file: Main/Version as written, "1.8" when the file or
    // the key is missing.
    static QString ReadVersionText(const QString& preferencesPath);

    // The other windows, created after this one at start-up and set by the application object
    // right after their creation (null until then; handlers check).
    TSettingForm* settingForm = nullptr;
    TCountDownForm* countDownForm = nullptr;
    TAboutForm* aboutForm = nullptr;
    TopSettingForm* opSettingForm = nullptr;
    TSizeForm* sizeForm = nullptr;

    // Application-wide values, fixed once the window is created.
    const ProgramContext& context() const { return m_context; }
    QString ProgramFolder() const { return m_context.programFolder(); }
    QString ConverterPath() const { return m_context.converterPath(); }
    QString HelpFilePath() const { return m_context.helpPath(); }
    const QString& VersionText() const { return m_versionText; }
    const QStringList& SupportedExtensions() const { return m_supportedExtensions; }
    // OpenDialog1's filter: the original text, and the Qt form handed to the open dialog.
    const QString& OpenDialogFilter() const { return m_openDialogFilter; }
    const QString& OpenDialogQtFilter() const { return m_openDialogQtFilter; }

    // State read and written by the behaviour files.
    bool SourceLoaded = false;
    int JobState = JobIdle;
    int ElapsedSeconds = 0;
    // The job RunSplitJob started, until the window has shown its end; null while idle.
    JobController* RunningJob() const { return m_runningJob; }
    // True while OpenSource waits for the player to load a file.
    bool OpeningSource() const { return m_sourcesOpening > 0; }
    // The video the preview holds (empty when none): what Source shows once confirmed.
    QString OpenSourcePath() const;

    // The media graph of the preview (owned by the window).
    FilterGraph* filterGraph = nullptr;
    // The keyframes of the open source, found in the background (owned by the window).
    KeyframeIndex* keyframeIndex = nullptr;
    // The sound and pictures of the open source for the strips (owned by the window).
    TimelineScans* timelineScans = nullptr;

    // panLeft: preview and range marking.
    QWidget* panLeft = nullptr;
    QLabel* imgScreen = nullptr;
    QLabel* imgBanner = nullptr;
    VideoWindow* videoWindow = nullptr; // object name "VideoWindow"
    QLabel* labLeft = nullptr;
    QLabel* labMiddle = nullptr;
    QLabel* labRight = nullptr;
    TDSTrackBar* tkbProgress = nullptr;
    QLabel* labCurrent = nullptr;
    QLabel* labStart = nullptr;
    QLabel* labEnd = nullptr;
    PictureButton* imgPlay = nullptr;
    PictureButton* imgPause = nullptr;
    PictureButton* imgStop = nullptr;
    PictureButton* imgSelStart = nullptr;
    PictureButton* imgSelEnd = nullptr;
    PictureButton* imgErase = nullptr;
    // The strips along the bar and the snapshot button, between the preview and the time
    // labels; hidden until a source is open.
    QWidget* panTimeline = nullptr;
    TimelineStrip* stripThumbnails = nullptr;
    TimelineStrip* stripWaveform = nullptr;
    QToolButton* btnSnapshot = nullptr;

    // panRight: commands, output settings, progress.
    QWidget* panRight = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* tbtnOpen = nullptr;
    QToolButton* tbtnSettings = nullptr;
    QToolButton* tbtnAbout = nullptr;
    QToolButton* tbtnHelp = nullptr;
    QToolButton* tbtnCutList = nullptr; // shows and hides panCutList
    QLabel* Label2 = nullptr;
    QLineEdit* edtSource = nullptr;
    QGroupBox* gpbOutput = nullptr;
    QRadioButton* rdbStartEnd = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* edtStart = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* edtEnd = nullptr;
    QRadioButton* rdbEqual = nullptr;
    QLineEdit* edtSectionQty = nullptr;
    QLabel* Label7 = nullptr;
    QRadioButton* rdbCutList = nullptr;  // a clip per range of the cut list
    QComboBox* cmbCutListMode = nullptr; // keep these ranges / remove these ranges
    QLabel* labLength = nullptr;
    QLabel* Label10 = nullptr;
    QComboBox* cmbProfile = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* edtOutputDir = nullptr;
    QPushButton* bbtnBrowse = nullptr;
    QWidget* panProgress = nullptr;
    QLabel* labProcessing = nullptr;
    QLabel* Label1 = nullptr;
    QProgressBar* pgbCurrent = nullptr;
    QLabel* labCurProgress = nullptr;
    QLabel* Label6 = nullptr;
    QProgressBar* pgbTotal = nullptr;
    QLabel* labTotalProgress = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* labElapsed = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* labRemaining = nullptr;
    QCheckBox* chkPreview = nullptr;
    CircularPictureButton* imgStart = nullptr;
    CircularPictureButton* imgCancel = nullptr;
    QLabel* imgRightBottom = nullptr;

    // panCutList: the cut list, a column of its own right of panRight, shown on demand.
    QWidget* panCutList = nullptr;
    QLabel* labCutList = nullptr;
    QTableWidget* grdCutList = nullptr;
    QPushButton* btnAddRange = nullptr;
    QPushButton* btnRemoveRange = nullptr;
    QPushButton* btnRangeUp = nullptr;
    QPushButton* btnRangeDown = nullptr;
    QToolButton* btnUndo = nullptr;
    QToolButton* btnRedo = nullptr;
    QPushButton* btnImportCutList = nullptr;
    QPushButton* btnExportCutList = nullptr;
    // The ranges written as one file joining them (a chapter each) rather than a clip each.
    QCheckBox* chkJoinRanges = nullptr;
    // Undo and redo of the marks and the list (Ctrl+Z, Ctrl+Shift+Z), the buttons' actions.
    QAction* actUndo = nullptr;
    QAction* actRedo = nullptr;
    // The list itself: its rows, the marks and their history (owned by the window).
    CutList* cutList = nullptr;

    QTimer* tmrProcess = nullptr;
    QTimer* tmrPreview = nullptr;

    // ---- app/main_form.cpp ----
    // The selected profile into the editor's grids (nothing when no profile file exists).
    // Connected to the user's choice only (activated), never to programmatic index changes.
    void cmbProfileChange();
    void tbtnSettingsClick();
    void tbtnAboutClick();
    void tbtnHelpClick();
    void bbtnBrowseClick();
    // Shows the profile editor.
    void BitBtn1Click();
    // The first showing: cmbProfileChange once.
    void FormShow();
    // Saves the preferences and ends the program.
    void FormClose();
    // Pointer over a background control: both round buttons back to their normal picture.
    void imgRightBottomMouseMove();

    // ---- media/main_form_source.cpp ----
    // The start-up step that takes in the command-line argument.
    void TakeCommandLine(const QString& argument);
    // Opens path as the source. When it cannot be played the error is raised after Source, the
    // output folder and the preview are back on the video open before (or empty).
    void OpenSource(const QString& path);
    // Enter in Source, or the focus leaving it: a path the user changed is opened as Open does;
    // an unchanged or empty one puts the open video back in the field.
    void edtSourceExit();
    void edtSourceKeyPress();
    // The source Start cuts: the open video. A path typed into Source and not confirmed is
    // dropped from the field first.
    QString SourceToCut();
    void tbtnOpenClick();
    void imgPlayClick();
    void imgPauseClick();
    void imgStopClick();
    // After each refresh of the position bar.
    void tkbProgressTimer();
    // While the thumb is dragged, the time it stands for (milliseconds).
    void tkbProgressScrub(qint64 thumbPos);
    void tmrPreviewTimer();
    // The files dropped on the window, in the order the desktop reports them.
    void FilesDropped(const QStringList& paths);

    // ---- media/main_form_marking.cpp ----
    void SetMarkStart(double seconds);
    // The whole source as the range (Start 00:00:00, End its length), as a new source has it.
    void MarkWholeSource();
    // The marks at these times on the bar, in the fields and their labels, recording nothing;
    // no labels for an empty range at 0 (as after Remove the selection).
    void ShowMarks(double start, double end);
    // Puts the mark labels under their marks on the bar as it stands now (also after a resize).
    void PlaceMarkLabels();
    void SetMarkEnd(double seconds);
    void imgSelStartClick();
    void imgSelEndClick();
    void imgEraseClick();
    void edtStartExit();
    void edtEndExit();
    // Enter in the field (Return or keypad Enter).
    void edtStartKeyPress();
    void edtEndKeyPress();
    // A mouse click in the section count.
    void edtSectionQtyClick();
    // The preview's keys (Space, I, O, Left, Right, Home, End, ",", "."; Shift+I, Shift+O,
    // Ctrl+Left, Ctrl+Right), acting while no text field or list has the focus and no job
    // runs; called once at creation.
    void InstallMarkingKeys();
    // The thumb and the position label to the frame shown at seconds; not while a job runs or
    // while the thumb is held.
    void FollowPicture(double seconds);
    // Forgets the previous source's keyframes and starts finding those of path.
    void StartKeyframeIndex(const QString& path);

    // ---- app/main_form_timeline.cpp ----
    // Drops the previous source's strips and starts scanning path (the cache first).
    void StartTimelineScans(const QString& path);
    // The time labels under the bar: the start, middle and end of the view (of the source at
    // zoom 1).
    void ShowViewTimes();
    // Where each clip of a lossless cut really starts, on the bar and in Start Time's tool tip,
    // when the profile keeps the source's settings and its video is cut at keyframes.
    void ShowCutLandings();
    // Saves the frame on screen as PNG beside the video, named after it and the frame's time;
    // returns the file's path. Raises AppError when it cannot be written.
    QString SaveSnapshot();
    void btnSnapshotClick();
    // The timeline's keys: zoom, the jumps to scene changes, black frames and silences, the
    // snapshot. Returns whether the key was one of them.
    bool PressTimelineKey(MarkingKey key);
    // ---- app/main_form_cut_list.cpp ----
    // The marked range as a new row (button and key A); a range the list cannot take is
    // refused with the row it clashes with named.
    void btnAddRangeClick();
    // Removes the selected row.
    void btnRemoveRangeClick();
    void btnRangeUpClick();
    void btnRangeDownClick();
    void btnImportCutListClick();
    void btnExportCutListClick();
    void tbtnCutListClick();
    // Shows or hides the cut list's column; the window grows or shrinks by its width.
    void ShowCutListPanel(bool shown);
    // The list a newly opened video starts with: the one kept for it, when the user takes it
    // back, else none; the history starts afresh with the whole video marked.
    void TakeCutListOf(const QString& path);
    // The marks as they stand now into the list's history (and the selected row).
    void RecordMarks();
    // The list's state into the table, the bar's segments, the marks and the undo buttons.
    void ShowCutListState();

    // ---- job/main_form_job.cpp ----
    // Called for a click inside the Start circle (or a keyboard/accessible press).
    void imgStartClick();
    // Checks the request and starts the job; returns at once. The window follows the job
    // through its signals and shows its end from the event loop.
    void RunSplitJob(const QString& profileArguments);
    void EnterJobState();
    void LeaveJobState();
    void tmrProcessTimer();
    void imgCancelClick();
    // Whether the window may close now. During a job, Yes to the question stops the job and
    // refuses this close; the window closes itself once the job has stopped.
    void FormCloseQuery(bool& canClose);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate(const QString& commandLineArgument);
    // Whether Source holds something other than what the program put there: typed by the user
    // (or set by assistive technology while a video is open).
    bool sourceEdited() const;
    // After a refused open: the open video back in the preview, paused at position.
    void ReopenPreviousSource(double position);
    // The remembered size and place (pulled back on screen), or the default size centred on the
    // primary screen.
    void RestoreWindowPlacement();
    // Keeps them for the next run; raises AppError when the file refuses.
    void SaveWindowPlacement() const;
    // The banner and the video window inside the screen picture, after it moved or resized.
    void PlaceScreenContents();
    // The available areas of the screens, the primary one first.
    static QList<QRect> AvailableScreenAreas();
    void createLeftPanel();
    void createTimelinePanel();
    void InstallTimeline();
    void createRightPanel();
    void createToolBar();
    void createOutputGroup();
    void createProgressPanel();
    void createCutListPanel();
    void connectCutList();
    // Writes the list for the open video beside the settings (nothing when none is open).
    void KeepCurrentCutList();
    void connectHandlers();
    void fillProfileList();
    // Takes a drag or drop of local files as a copy or a link, never a move, and refuses it
    // while a job holds the window; returns whether it was taken.
    bool acceptFileDrop(QDropEvent* event);
    // The job's end, shown once it has been delivered: the result, the completion step, or the
    // close agreed meanwhile.
    void ShowSplitJobEnd(JobController* job);
    void ShowSplitJobResult(const SplitJobResult& result);

    ProgramContext m_context;
    QString m_versionText;
    QStringList m_supportedExtensions;
    QString m_openDialogFilter;
    QString m_openDialogQtFilter;
    bool m_shownOnce = false;
    JobController* m_runningJob = nullptr;
    int m_sourcesOpening = 0; // OpenSource calls waiting for their file, nested ones included
    QString m_openSource;     // the file the preview holds; empty when none
    QString m_refusedSource;  // the file the player refused last; never cut
    bool m_closingDuringJob = false; // closing was agreed while a job ran
    bool m_closeAfterJobEnd = false; // a close came between the job's end and its showing
    bool m_showingCutList = false;   // the list's state is going into the widgets
    qint64 m_openVideoSize = -1;     // the open video's size and time when it was opened
    qint64 m_openVideoModifiedMs = 0;
};

} // namespace segmora
