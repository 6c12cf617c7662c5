// Runs one split through the job engine, or writes the same converter command lines as a shell
// script, so run.sh can time the two against each other.
#include "job/converter_command.h"
#include "job/job_controller.h"
#include "job/section_plan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <cstdio>

using namespace segmora;

namespace {

QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 7 ||
        (args[1] != QLatin1String("script") && args[1] != QLatin1String("job"))) {
        std::fprintf(stderr, "usage: split_bench script|job CONVERTER SOURCE SECONDS SECTIONS "
                             "OUTDIR [SCRIPT] [PROFILE ARGUMENTS]\n");
        return 2;
    }
    SplitJobPlan plan;
    plan.converterPath = args[2];
    plan.sourcePath = args[3];
    const double seconds = args[4].toDouble();
    plan.sectionCount = args[5].toInt();
    plan.outputFolder = args[6];
    const QString script = args.value(7);
    plan.profileArguments = args.value(8);
    plan.mode = JobMode::Equal;
    plan.sections = PlanSections(0, seconds, plan.sectionCount, 0);
    plan.outputExtension = OutputExtension(plan.sourcePath, QStringLiteral(".mp4"), true);
    plan.overwriteExisting = true;

    if (args[1] == QLatin1String("script")) {
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        QTextStream out(&file);
        for (const Section& section : plan.sections) {
            const ConverterCall call{plan.sourcePath, section.start, section.length,
                                     plan.profileArguments,
                                     OutputPath(plan.outputFolder, plan.sourcePath, section.index,
                                                plan.outputExtension)};
            out << shellQuoted(plan.converterPath);
            for (const QString& argument : ConverterArguments(call))
                out << ' ' << shellQuoted(argument);
            out << " 2>/dev/null || exit 1\n";
        }
        return 0;
    }

    JobController job(plan);
    QEventLoop waiting;
    QObject::connect(&job, &JobController::finished, &waiting, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    job.start();
    waiting.exec();
    const SplitJobResult result = job.result();
    const qint64 elapsed = clock.nsecsElapsed();
    if (result.end != SplitJobEnd::Completed) {
        std::fprintf(stderr, "job did not complete: %s\n", qPrintable(result.message));
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(elapsed / 1000000));
    return 0;
}
