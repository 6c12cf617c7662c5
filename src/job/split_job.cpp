// Running the sections of a split through the converter.
#include "job/split_job.h"

#include "ground/product.h"
#include "job/converter_command.h"
#include "job/converter_process.h"

#include <QFileInfo>
#include <csignal>
#include <cstring>

namespace segmora {

SplitJobPlan MakeSplitJobPlan(const JobRequest& request, const JobCheckResult& checked,
                              const QString& converterPath, const QString& profileArguments,
                              const QString& profileExtension, bool overwriteExisting) {
    SplitJobPlan plan;
    plan.converterPath = converterPath;
    plan.sourcePath = request.sourcePath;
    plan.profileArguments = profileArguments;
    plan.mode = request.mode;
    plan.sectionCount = checked.sectionCount;
    plan.sections =
        PlanSections(checked.start, checked.end, checked.sectionCount, request.durationMs);
    plan.outputFolder = request.outputFolderText;
    plan.outputExtension = OutputExtension(request.sourcePath, profileExtension,
                                           request.profileName == kSourceSettingsProfileName);
    plan.overwriteExisting = overwriteExisting;
    return plan;
}

QString ConverterFailureText(int exitCode, int signal, const QString& lastLine) {
    QString detail = lastLine;
    if (signal != 0) {
        const char* name = sigabbrev_np(signal);
        detail =
            QStringLiteral("The converter was stopped by signal %1%2.")
                .arg(signal)
                .arg(name ? QStringLiteral(" (SIG%1)").arg(QString::fromLatin1(name)) : QString());
    } else if (detail.isEmpty()) {
        detail = QStringLiteral("The converter ended with exit code %1.").arg(exitCode);
    }
    return QStringLiteral("Splitting failed.\n") + detail;
}

SplitJob::SplitJob(SplitJobPlan plan, QObject* parent)
    : QObject(parent), m_plan(std::move(plan)), m_progress(m_plan.sectionCount) {}

SplitJob::~SplitJob() = default;

QString SplitJob::ProcessingText(const SplitJobPlan& plan, int index) {
    if (plan.mode == JobMode::StartEnd)
        return QStringLiteral("Splitting: ") + QFileInfo(plan.sourcePath).fileName();
    return QStringLiteral("Splitting: Section ") + QString::number(index);
}

void SplitJob::requestCancel() {
    m_cancelRequested = true;
    if (m_process)
        m_process->terminate();
}

void SplitJob::cancelBeforeExit() {
    m_cancelRequested = true;
    if (m_process)
        m_process->endNow();
}

SplitJobResult SplitJob::run() {
    m_running = true;
    struct RunningFlag {
        bool& flag;
        ~RunningFlag() { flag = false; }
    } runningFlag{m_running};

    auto ended = [](SplitJobEnd end, int section, QString message = QString()) {
        return SplitJobResult{end, std::move(message), section};
    };

    for (const Section& section : m_plan.sections) {
        if (m_cancelRequested)
            return ended(SplitJobEnd::Cancelled, section.index);

        const QString output = OutputPath(m_plan.outputFolder, m_plan.sourcePath, section.index,
                                          m_plan.outputExtension);
        const QFileInfo existing(output);
        if (existing.exists() && !existing.isDir() && !m_plan.overwriteExisting) {
            const bool replace = confirmOverwrite && confirmOverwrite(output);
            if (m_cancelRequested)
                return ended(SplitJobEnd::Cancelled, section.index);
            if (!replace) {
                if (m_plan.mode == JobMode::Equal)
                    continue;
                return ended(SplitJobEnd::OverwriteRefused, section.index);
            }
        }

        const ConverterCall call{m_plan.sourcePath, section.start, section.length,
                                 m_plan.profileArguments, output};
        emit sectionStarted(section.index, ProcessingText(m_plan, section.index), output,
                            ConverterCommandText(call));
        if (m_cancelRequested)
            return ended(SplitJobEnd::Cancelled, section.index);

        m_progress.beginSection(section.index, section.length);
        ConverterProcess process;
        process.setPartFile(PartFilePath(output));
        connect(&process, &ConverterProcess::chunkRead, this, [this](const QByteArray& chunk) {
            m_progress.addChunk(chunk);
            emit progressChanged(m_progress.currentPercent(), m_progress.totalPercent());
        });
        if (!process.start(m_plan.converterPath, ConverterArguments(call)))
            return ended(SplitJobEnd::StartFailed, section.index,
                         QStringLiteral("Error. Please re-install ") + kProductName);

        m_process = &process;
        emit converterStarted(process.processId());
        const ConverterProcess::Result result = process.runToEnd();
        m_process = nullptr;

        m_progress.endSection();
        emit sectionEnded(section.index);

        switch (result.outcome) {
        case ConverterProcess::Outcome::Succeeded:
            if (m_cancelRequested)
                return ended(SplitJobEnd::Cancelled, section.index);
            break;
        case ConverterProcess::Outcome::Terminated:
            return ended(SplitJobEnd::Cancelled, section.index);
        default:
            return ended(SplitJobEnd::Failed, section.index,
                         ConverterFailureText(result.exitCode, result.signal, result.lastLine));
        }
    }
    return ended(SplitJobEnd::Completed, 0);
}

} // namespace segmora
