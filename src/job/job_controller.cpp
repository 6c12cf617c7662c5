// Running a split's sections through the converter, up to a pool's number at once.
#include "job/job_controller.h"

#include "clip_check_report.h"
#include "converter_contract.h"
#include "cut_notice.h"
#include "exit_status.h"
#include "ground/product.h"
#include "ground/rounding.h"
#include "job/converter_command.h"
#include "job/converter_process.h"
#include "job/progress_parser.h"

#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>
#include <optional>
#include <vector>

namespace segmora {

struct JobController::Run {
    int position = 0; // in the plan's sections
    Section section;
    QString outputPath;
    ConverterProcess* process = nullptr; // child of the controller
    double progressTime = 0;
    double lastReport = -1; // the latest report of any value: a short clip's real length
    int percent = 0;
    double keyframeLead = -1; // the converter fell back to a keyframe cut: seconds before start
    QStringList leftOut;      // streams the converter said it left out
    std::optional<vorkast::clipcheck::Figures> check; // the converter's check of the clip
};

namespace {

// The value of the last progress report in a chunk, or -1 when it holds none.
double lastReportIn(const QByteArray& chunk) {
    const qsizetype at = chunk.lastIndexOf(QByteArrayView("time"));
    if (at < 0)
        return -1;
    const double value = NextProgressTime(QByteArrayView(chunk).sliced(at), -1);
    return value;
}

} // namespace

JobController::JobController(SplitJobPlan plan, QObject* parent)
    : QObject(parent), m_plan(std::move(plan)) {}

JobController::~JobController() {
    for (const auto& run : m_runs)
        delete run->process; // ends and reaps it; no signal reaches us any more
    m_runs.clear();
}

void JobController::setState(State state) {
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void JobController::start() {
    if (m_started)
        return;
    m_started = true;
    if (!m_slots)
        m_slots = &m_ownSlots;
    connect(m_slots, &ConverterSlots::freed, this, &JobController::pump, Qt::QueuedConnection);
    m_percent = QList<int>(m_plan.sections.size(), 0);
    m_replace = QList<bool>(m_plan.sections.size(), false);
    m_elapsed = 0;
    setState(State::Running);
    QMetaObject::invokeMethod(this, &JobController::pump, Qt::QueuedConnection);
}

void JobController::hold() {
    ++m_holds;
}

void JobController::release() {
    if (m_holds > 0 && --m_holds == 0)
        QMetaObject::invokeMethod(this, &JobController::pump, Qt::QueuedConnection);
}

void JobController::tick() {
    if (!isRunning())
        return;
    ++m_elapsed;
    emitTimes();
}

void JobController::emitTimes() {
    const JobTimeTexts texts = ProcessTimerTexts(m_elapsed, m_total);
    emit timesChanged(texts.elapsed, texts.remaining);
}

bool JobController::allThrough() const {
    return m_runs.empty() && (m_stopping || m_next >= m_plan.sections.size());
}

void JobController::pump() {
    if (!m_started || m_ended || m_pumping || m_holds > 0 || m_state == State::CancelRequested)
        return;
    m_pumping = true;
    while (!m_stopping && m_next < m_plan.sections.size()) {
        const int position = m_next;
        const Section& section = m_plan.sections[position];
        const QString output = OutputPath(m_plan.outputFolder, m_plan.sourcePath, section.index,
                                          m_plan.outputExtension);
        const QFileInfo existing(output);
        if (existing.exists() && !existing.isDir() && !m_plan.overwriteExisting &&
            !m_replace[position]) {
            // The answer is remembered, so a section waiting for a slot is not asked twice, and
            // an answer "to all" stands for every later section of this job.
            bool replace = m_overwriteAll == OverwriteAnswer::YesToAll;
            if (m_overwriteAll != OverwriteAnswer::YesToAll &&
                m_overwriteAll != OverwriteAnswer::NoToAll) {
                const OverwriteAnswer answer =
                    confirmOverwrite ? confirmOverwrite(output) : OverwriteAnswer::No;
                if (answer == OverwriteAnswer::YesToAll || answer == OverwriteAnswer::NoToAll)
                    m_overwriteAll = answer;
                replace = answer == OverwriteAnswer::Yes || answer == OverwriteAnswer::YesToAll;
            }
            if (m_ended || m_state == State::CancelRequested) {
                m_pumping = false;
                return;
            }
            if (!replace) {
                // One clip among several is skipped; the one clip of a marked range ends the job.
                if (m_plan.mode != JobMode::StartEnd) {
                    m_percent[position] = 100;
                    m_result.skipped.append(section.index);
                    ++m_next;
                    emit sectionSkipped(section.index, output);
                    continue;
                }
                m_stopping = true;
                m_stopEnd = SplitJobEnd::OverwriteRefused;
                m_stopSection = section.index;
                break;
            }
            m_replace[position] = true;
        }
        if (!m_slots->tryTake())
            break;
        ++m_next;
        if (!startSection(position))
            m_slots->giveBack();
        if (m_ended) {
            m_pumping = false;
            return;
        }
    }
    m_pumping = false;
    if (m_holds == 0 && allThrough()) {
        if (m_stopping)
            end(m_stopEnd, m_stopSection, m_result.failures.value(0).message);
        else if (!m_result.failures.isEmpty())
            end(SplitJobEnd::Failed, m_result.failures.first().index,
                m_result.failures.first().message);
        else
            end(SplitJobEnd::Completed, 0);
    }
}

bool JobController::startSection(int position) {
    const Section& section = m_plan.sections[position];
    const QString output =
        OutputPath(m_plan.outputFolder, m_plan.sourcePath, section.index, m_plan.outputExtension);
    // Equal sections follow one another: each but the last tells its converter so.
    const bool followed = m_plan.mode == JobMode::Equal && position + 1 < m_plan.sections.size();
    const ConverterCall call{
        m_plan.sourcePath,  section.start, section.length, m_plan.profileArguments, output,
        m_plan.profileName, followed,      section.joined};
    emit sectionStarted(section.index, ProcessingText(m_plan, section.index), output,
                        ConverterCommandText(call));
    if (m_ended || m_state == State::CancelRequested)
        return false;

    auto run = std::make_unique<Run>();
    run->position = position;
    run->section = section;
    run->outputPath = output;
    run->process = new ConverterProcess(this);
    run->process->setOutputFile(output);
    Run* const current = run.get();
    connect(run->process, &ConverterProcess::chunkRead, this,
            [this, current](const QByteArray& chunk) { onChunk(current, chunk); });
    connect(run->process, &ConverterProcess::messageLine, this, [current](const QString& line) {
        if (const auto lead = vorkast::notice::parseKeyframeCut(line.toStdString()))
            current->keyframeLead = *lead;
        else if (const auto stream = vorkast::notice::parseLeftOut(line.toStdString()))
            current->leftOut.append(QString::fromStdString(*stream));
        else if (auto figures = vorkast::clipcheck::parseLine(line.toStdString()))
            current->check = std::move(*figures);
    });
    connect(run->process, &ConverterProcess::finished, this,
            [this, current] { onConverterFinished(current); });
    if (!run->process->start(m_plan.converterPath, ConverterArguments(call))) {
        delete run->process;
        const QString message = QStringLiteral("Error. Please re-install ") + kProductName;
        m_result.failures.append({section.index, message});
        m_percent[position] = 100;
        emit sectionFailed(section.index, message);
        if (!m_continueAfterFailure) {
            m_stopping = true;
            m_stopEnd = SplitJobEnd::StartFailed;
            m_stopSection = section.index;
        }
        return false;
    }
    const qint64 pid = run->process->processId();
    m_runs.push_back(std::move(run));
    emit converterStarted(section.index, pid);
    return true;
}

void JobController::onChunk(Run* run, const QByteArray& chunk) {
    if (m_ended)
        return;
    run->progressTime = NextProgressTime(chunk, run->progressTime);
    const double report = lastReportIn(chunk);
    if (report >= 0)
        run->lastReport = report;
    run->percent = SectionPercent(run->progressTime, run->section.length, run->percent);
    m_percent[run->position] = run->percent;
    const int before = m_total;
    recomputeTotal();
    emit progressChanged(run->section.index, run->percent, m_total);
    // The estimate is a tick old; at the end it would still name a second left.
    if (m_total == 100 && before != 100 && m_elapsed > 0)
        emitTimes();
}

void JobController::recomputeTotal() {
    const int count = std::max(1, m_plan.sectionCount);
    double sum = 0;
    for (const int percent : std::as_const(m_percent))
        sum += percent;
    m_total = static_cast<int>(std::clamp<long long>(RoundHalfEven(sum / count), 0, 100));
}

void JobController::onConverterFinished(Run* run) {
    const auto found = std::find_if(m_runs.begin(), m_runs.end(),
                                    [run](const auto& held) { return held.get() == run; });
    if (found == m_runs.end())
        return;
    const std::unique_ptr<Run> ended = std::move(*found);
    m_runs.erase(found);
    const ConverterProcess::Result result = ended->process->result();
    ended->process->deleteLater();
    m_percent[ended->position] = 100;
    m_slots->giveBack();

    const int index = ended->section.index;
    emit sectionEnded(index);

    const bool shortClip = result.outcome == ConverterProcess::Outcome::Failed &&
                           result.exitCode == vorkast::exit_status::shortClip;
    // A clip that failed its check is listed like a short one; it was made only if kept.
    const bool checkFailed = result.outcome == ConverterProcess::Outcome::Failed &&
                             result.exitCode == vorkast::exit_status::checkFailed && ended->check &&
                             !ended->check->passed;
    const bool keptFailing = checkFailed && ended->check->kept;
    if (ended->check) {
        const auto byIndex = [](const CheckedClip& a, const CheckedClip& b) {
            return a.index < b.index;
        };
        const CheckedClip checked{index, ended->outputPath, *ended->check};
        m_result.checks.insert(
            std::upper_bound(m_result.checks.begin(), m_result.checks.end(), checked, byIndex),
            checked);
        if (checkFailed)
            m_result.failedChecks.insert(std::upper_bound(m_result.failedChecks.begin(),
                                                          m_result.failedChecks.end(), checked,
                                                          byIndex),
                                         checked);
    }
    if (ended->keyframeLead >= 0 &&
        (result.outcome == ConverterProcess::Outcome::Succeeded || shortClip || keptFailing)) {
        m_result.keyframeCuts.append({index, ended->outputPath, ended->keyframeLead});
        m_result.keyframeCutsAsked = !AsksExactCut(m_plan.profileArguments);
        std::sort(m_result.keyframeCuts.begin(), m_result.keyframeCuts.end(),
                  [](const KeyframeCut& a, const KeyframeCut& b) { return a.index < b.index; });
    }
    if (result.outcome == ConverterProcess::Outcome::Succeeded || shortClip || keptFailing) {
        m_result.made.insert(std::lower_bound(m_result.made.begin(), m_result.made.end(), index),
                             index);
        for (const QString& stream : std::as_const(ended->leftOut))
            m_result.leftOut.append({index, ended->outputPath, stream});
        std::stable_sort(
            m_result.leftOut.begin(), m_result.leftOut.end(),
            [](const LeftOutStream& a, const LeftOutStream& b) { return a.index < b.index; });
    }
    if (result.outcome == ConverterProcess::Outcome::Succeeded || keptFailing) {
        emit sectionMade(index, ended->outputPath, ended->section.length);
    } else if (checkFailed) {
        // Not made, listed after the completion message; the job goes on.
    } else if (shortClip) {
        const double made = ended->lastReport >= 0 ? ended->lastReport : ended->progressTime;
        m_result.shortClips.append({index, ended->outputPath, ended->section.length, made});
        std::sort(m_result.shortClips.begin(), m_result.shortClips.end(),
                  [](const ShortClip& a, const ShortClip& b) { return a.index < b.index; });
        emit sectionMade(index, ended->outputPath, made);
    } else if (result.outcome != ConverterProcess::Outcome::Terminated) {
        const QString message = ConverterFailureText(result.exitCode, result.signal,
                                                     result.lastLine, ended->outputPath);
        m_result.failures.append({index, message});
        emit sectionFailed(index, message);
        if (!m_continueAfterFailure && !m_stopping) {
            m_stopping = true;
            m_stopEnd = SplitJobEnd::Failed;
            m_stopSection = index;
            // A failed section ends the job: sections running beside it are ended too.
            stopAll();
        }
    }
    if (m_state == State::CancelRequested) {
        // Cancelled: the job ends once the last of its converters has.
        if (m_runs.empty())
            end(SplitJobEnd::Cancelled, m_cancelSection);
        return;
    }
    QMetaObject::invokeMethod(this, &JobController::pump, Qt::QueuedConnection);
}

void JobController::stopAll() {
    // Each converter gets SIGTERM and its grace period (a timer) before SIGKILL; its run ends
    // through onConverterFinished() once it has been reaped and its part file removed.
    // A converter found already gone ends its run inside terminate(), so the list is copied;
    // an ended run's process is only deleted later.
    std::vector<ConverterProcess*> processes;
    for (const auto& run : m_runs)
        processes.push_back(run->process);
    for (ConverterProcess* process : processes)
        process->terminate();
}

void JobController::cancel() {
    if (!m_started || m_ended || m_state == State::CancelRequested)
        return;
    if (m_runs.empty() && !m_stopping && m_next >= m_plan.sections.size()) {
        // The last converter had already ended: every clip is complete.
        end(m_result.failures.isEmpty() ? SplitJobEnd::Completed : SplitJobEnd::Failed,
            m_result.failures.isEmpty() ? 0 : m_result.failures.first().index,
            m_result.failures.value(0).message);
        return;
    }
    int section = 0;
    for (const auto& run : m_runs)
        section = section == 0 ? run->section.index : std::min(section, run->section.index);
    if (section == 0 && m_next < m_plan.sections.size())
        section = m_plan.sections[m_next].index;
    m_cancelSection = section;
    setState(State::CancelRequested);
    stopAll();
    if (m_runs.empty())
        end(SplitJobEnd::Cancelled, section);
}

void JobController::end(SplitJobEnd how, int section, const QString& message) {
    if (m_ended)
        return;
    m_ended = true;
    disconnect(m_slots, &ConverterSlots::freed, this, &JobController::pump);
    m_result.end = how;
    m_result.section = section;
    m_result.message =
        (how == SplitJobEnd::Failed || how == SplitJobEnd::StartFailed) ? message : QString();
    if (how == SplitJobEnd::Completed)
        setState(State::Completing);
    emit finished(m_result);
    setState(State::Idle);
}

} // namespace segmora
