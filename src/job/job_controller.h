// The running split job, owned apart from any window: its state, its elapsed time, the
// converter runs of its sections (one or several at once), cancelling, and how it ended.
// Whoever shows the job (the main window, the command line) listens to its signals.
//
// Threading: UI thread only (the converters are read through the event loop). start() returns
// at once; everything then happens from the event loop and ends with finished(), emitted once.
// cancel() returns at once: each converter gets SIGTERM and a grace period on a timer before
// SIGKILL, and finished() follows once all are reaped and their part files gone. A controller
// may be destroyed at any time; running converters are ended with it at once (SIGKILL).
#pragma once

#include "job/split_job.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace segmora {

class ConverterProcess;

// How many converters may run at once, shared by every controller that is given it: a batch
// of sources runs across one pool. A controller without one runs one converter at a time.
class ConverterSlots : public QObject {
    Q_OBJECT
public:
    explicit ConverterSlots(int count, QObject* parent = nullptr)
        : QObject(parent), m_free(count < 1 ? 1 : count) {}

    bool tryTake() {
        if (m_free == 0)
            return false;
        --m_free;
        return true;
    }
    // A slot given back; waiting controllers try again from the event loop, in the order they
    // were connected.
    void giveBack() {
        ++m_free;
        emit freed();
    }

signals:
    void freed();

private:
    int m_free;
};

class JobController : public QObject {
    Q_OBJECT
public:
    // The window's JobState values for the first three.
    enum class State {
        Idle = 0,            // not started, or ended
        Running = 1,         // sections are being made
        CancelRequested = 2, // converters are being ended; finished() follows
        Completing = 3,      // every section is through; finished() is being delivered
    };
    Q_ENUM(State)

    explicit JobController(SplitJobPlan plan, QObject* parent = nullptr);
    ~JobController() override;

    // The answers to "overwrite this existing clip?". An answer "to all" is kept for the rest of
    // the job: no later section asks again.
    enum class OverwriteAnswer { Yes, No, YesToAll, NoToAll };

    // Asked before a section whose output file already exists (unless the plan overwrites).
    // Unset means No. A dialog shown here may run the event loop; the job holds still meanwhile.
    // No keeps the clip and skips the section in equal mode and ends the job in start/end mode.
    std::function<OverwriteAnswer(const QString& outputPath)> confirmOverwrite;

    // A converter that fails ends the job (the window's rule) unless this is set; then the
    // other sections still run and every failure is listed in the result.
    void setContinueAfterFailure(bool on) { m_continueAfterFailure = on; }
    // The pool this job takes converter slots from; not owned. Set before start().
    void setConverterSlots(ConverterSlots* pool) { m_slots = pool; }

    // Begins the job and returns at once; the first section starts from the event loop.
    // Call once.
    void start();

    // Stops the job and returns at once: no further section starts, every running converter
    // is asked to end (SIGTERM, then SIGKILL after ConverterProcess::kTerminateGraceMs), and
    // once each is reaped and its part file removed, finished() reports Cancelled (at once
    // when none runs). When every section had already gone through (the last converter ended
    // just before), nothing is lost: the job completes instead. Does nothing once the job has
    // ended or is being cancelled.
    void cancel();

    // While held (a question is open over the job) no section starts and the job does not end;
    // running converters go on. Calls nest.
    void hold();
    void release();

    // The one-second tick: counts a second and emits timesChanged(). Called by the owner's
    // timer (or directly by tests); does nothing unless the job is running.
    void tick();

    State state() const { return m_state; }
    bool hasEnded() const { return m_ended; }
    bool isRunning() const { return m_started && !m_ended; }
    long long elapsedSeconds() const { return m_elapsed; }
    int totalPercent() const { return m_total; }
    const SplitJobPlan& plan() const { return m_plan; }
    const SplitJobResult& result() const { return m_result; }

signals:
    void stateChanged(JobController::State state);
    // A section is about to start its converter.
    void sectionStarted(int index, const QString& processingText, const QString& outputPath,
                        const QString& commandText);
    // The section's converter runs (its process id is also its process group).
    void converterStarted(int index, qint64 processId);
    // After every chunk of a converter's output: that section's bar and the job's total (0..100).
    void progressChanged(int index, int currentPercent, int totalPercent);
    // The section's converter has ended, made or not: its bar drops to 0, the total stays.
    void sectionEnded(int index);
    // The section's clip is complete (madeSeconds below its length: a short clip).
    void sectionMade(int index, const QString& outputPath, double madeSeconds);
    // The section's existing clip was kept (overwrite refused).
    void sectionSkipped(int index, const QString& outputPath);
    void sectionFailed(int index, const QString& message);
    // Elapsed time and the remaining estimate, as time texts, after every tick (and once more
    // when the total reaches 100 %, so the estimate does not keep a stale second).
    void timesChanged(const QString& elapsed, const QString& remaining);
    // The job has ended; result() says how. Emitted once, never from inside start().
    void finished(const segmora::SplitJobResult& result);

private:
    struct Run;

    void setState(State state);
    void pump();
    bool startSection(int position);
    void onChunk(Run* run, const QByteArray& chunk);
    void onConverterFinished(Run* run);
    void recomputeTotal();
    bool allThrough() const;
    void end(SplitJobEnd how, int section, const QString& message = QString());
    void stopAll();
    void emitTimes();

    SplitJobPlan m_plan;
    State m_state = State::Idle;
    ConverterSlots m_ownSlots{1};
    ConverterSlots* m_slots = nullptr;
    std::vector<std::unique_ptr<Run>> m_runs; // converters running now
    QList<int> m_percent;                     // per section position: its bar, 100 when through
    QList<bool> m_replace; // per section position: overwriting its existing clip was agreed
    OverwriteAnswer m_overwriteAll = OverwriteAnswer::No; // YesToAll or NoToAll once given
    int m_next = 0; // position of the next section to consider
    int m_total = 0;
    long long m_elapsed = 0;
    int m_holds = 0;
    bool m_started = false;
    bool m_ended = false;
    bool m_pumping = false;
    bool m_continueAfterFailure = false;
    bool m_stopping = false; // a failure or refusal: no new section, end when the rest are done
    SplitJobEnd m_stopEnd = SplitJobEnd::Completed;
    int m_stopSection = 0;
    int m_cancelSection = 0; // the first section a cancel stopped
    SplitJobResult m_result;
};

} // namespace segmora
