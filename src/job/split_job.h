// A whole split: the sections of a plan run one after another through the converter, with
// progress, the overwrite rule, cancelling and the way the job ended.
//
// Threading: UI thread only. run() returns when the job has ended; meanwhile it runs the event
// loop (nested), so the window repaints, timers tick and slots such as Cancel run inside it.
// Signals are emitted from inside run(). Do not destroy the job while run() is in progress.
#pragma once

#include "job/job_request.h"
#include "job/progress_parser.h"
#include "job/section_plan.h"

#include <QObject>
#include <QString>
#include <functional>

namespace segmora {

class ConverterProcess;

// Everything a job runs on, fixed when it starts.
struct SplitJobPlan {
    QString converterPath;
    QString sourcePath;
    QString profileArguments;
    JobMode mode = JobMode::StartEnd;
    int sectionCount = 0; // as checked; the total bar divides by it
    QList<Section> sections;
    QString outputFolder;           // a trailing separator is added when missing
    QString outputExtension;        // ".mp4"; the source's own for the source-settings profile
    bool overwriteExisting = false; // the "Overwrite existent output files." preference
};

// The plan of a request that passed its checks. profileExtension is the extension of the
// profile loaded last; the source-settings profile keeps the source's extension instead.
SplitJobPlan MakeSplitJobPlan(const JobRequest& request, const JobCheckResult& checked,
                              const QString& converterPath, const QString& profileArguments,
                              const QString& profileExtension, bool overwriteExisting);

enum class SplitJobEnd {
    Completed,        // every section ran or was skipped: the completion actions follow
    Cancelled,        // requestCancel(): converter ended, no further message
    OverwriteRefused, // start/end mode, overwrite answered No: no further message
    StartFailed,      // the converter could not be started: message() in the plain dialog
    Failed,           // a converter failed or died: message() in an information box
};

struct SplitJobResult {
    SplitJobEnd end = SplitJobEnd::Completed;
    QString message; // StartFailed and Failed only
    int section = 0; // the section that ended the job (StartFailed, Failed, Cancelled, refused)
};

class SplitJob : public QObject {
    Q_OBJECT
public:
    explicit SplitJob(SplitJobPlan plan, QObject* parent = nullptr);
    ~SplitJob() override;

    // Asked before a section whose output file already exists (when overwriting is not set):
    // true to replace it. Unset means No.
    std::function<bool(const QString& outputPath)> confirmOverwrite;

    // Runs the plan to its end. Call once.
    SplitJobResult run();

    // Ends the job: a running converter is asked to end (see ConverterProcess::terminate(); the
    // event loop keeps running meanwhile), then reaped and its temporary file removed, and run()
    // returns Cancelled. Harmless when nothing runs.
    void requestCancel();
    // As requestCancel(), but a running converter is ended, reaped and its temporary file removed
    // before this returns: for a program about to end.
    void cancelBeforeExit();

    bool isRunning() const { return m_running; }
    bool cancelRequested() const { return m_cancelRequested; }
    const SplitJobPlan& plan() const { return m_plan; }
    const JobProgress& progress() const { return m_progress; }

    // "Splitting: " + the source's file name in start/end mode, "Splitting: Section " + index
    // in equal mode.
    static QString ProcessingText(const SplitJobPlan& plan, int index);

signals:
    // A section is about to start its converter.
    void sectionStarted(int index, const QString& processingText, const QString& outputPath,
                        const QString& commandText);
    // The converter of the running section has started (its process id is its group id).
    void converterStarted(qint64 processId);
    // After every chunk of converter output: the two bars' positions (0..100).
    void progressChanged(int currentPercent, int totalPercent);
    // The section's converter has ended: the current bar drops to 0, the total keeps its value.
    void sectionEnded(int index);

private:
    SplitJobPlan m_plan;
    JobProgress m_progress;
    ConverterProcess* m_process = nullptr; // the running section's converter, if any
    bool m_running = false;
    bool m_cancelRequested = false;
};

// The text of the box shown when a converter failed: "Splitting failed." and what went wrong.
QString ConverterFailureText(int exitCode, int signal, const QString& lastLine);

} // namespace segmora
