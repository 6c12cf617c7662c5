// `segmora check`: the arguments, the converter's check run on them, and its report.
#include "app/command_line_check.h"

#include "app/command_line_split.h"
#include "clip_check_report.h"
#include "exit_status.h"
#include "ground/program_context.h"
#include "ground/time_text.h"
#include "job/split_job.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>
#include <optional>

namespace segmora {

namespace {

// Seconds of a time given on the command line, or -1.
double timeValue(const QString& text) {
    const double seconds = TimeTextToSeconds(text);
    return seconds >= 0 ? seconds : -1;
}

int usage(const QString& text, bool json) {
    if (json)
        EmitJsonLine({{"event", "usage error"}, {"message", text}});
    PrintCommandLineError(text);
    std::fputs("usage: segmora check CLIP --source SOURCE --start TIME [--end TIME] [--json]\n",
               stderr);
    return kCheckUsage;
}

} // namespace

CheckOptions ParseCheckOptions(const QStringList& arguments) {
    CheckOptions options;
    QString start, end;
    for (qsizetype i = 0; i < arguments.size() && options.error.isEmpty(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&](QString& into) {
            if (i + 1 >= arguments.size())
                options.error = argument + QStringLiteral(" needs a value");
            else
                into = arguments[++i];
        };
        if (argument == QLatin1String("--source"))
            value(options.source);
        else if (argument == QLatin1String("--start"))
            value(start);
        else if (argument == QLatin1String("--end"))
            value(end);
        else if (argument == QLatin1String("--program-folder"))
            value(options.programFolder);
        else if (argument == QLatin1String("--json"))
            options.json = true;
        else if (argument.startsWith(QLatin1String("--")))
            options.error = QStringLiteral("unknown option ") + argument;
        else if (options.clip.isEmpty())
            options.clip = argument;
        else
            options.error = QStringLiteral("one clip at a time: ") + argument;
    }
    if (!options.error.isEmpty())
        return options;
    if (options.clip.isEmpty())
        options.error = QStringLiteral("no clip given");
    else if (options.source.isEmpty())
        options.error = QStringLiteral("no source given (--source SOURCE)");
    else if (start.isEmpty())
        options.error = QStringLiteral("no start given (--start TIME)");
    else if ((options.start = timeValue(start)) < 0)
        options.error = QStringLiteral("--start takes a time like 00:01:02.5, not ") + start;
    else if (!end.isEmpty() && (options.end = timeValue(end)) <= options.start)
        options.error = QStringLiteral("--end takes a time after --start, not ") + end;
    return options;
}

int RunCheck(const QStringList& arguments) {
    const CheckOptions options = ParseCheckOptions(arguments);
    if (!options.error.isEmpty())
        return usage(options.error, arguments.contains(QStringLiteral("--json")));
    const ProgramContext context = CommandLineContext(options.programFolder);

    QStringList call{"-check-clip",  options.clip, "-i",
                     options.source, "-ss",        QString::number(options.start, 'f', 6)};
    if (options.end >= 0)
        call << "-t" << QString::number(options.end - options.start, 'f', 6);
    QProcess converter;
    converter.setStandardInputFile(QProcess::nullDevice());
    converter.start(context.converterPath(), call);
    if (!converter.waitForFinished(-1) || converter.exitStatus() != QProcess::NormalExit) {
        const QString text =
            QStringLiteral("the converter could not run: ") + context.converterPath();
        if (options.json)
            EmitJsonLine({{"event", "failed"}, {"clip", options.clip}, {"message", text}});
        PrintCommandLineError(text);
        return kCheckUsage;
    }
    QString lastLine;
    std::optional<vorkast::clipcheck::Figures> figures;
    for (const QString& line : QString::fromUtf8(converter.readAllStandardError())
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (auto read = vorkast::clipcheck::parseLine(line.toStdString()))
            figures = std::move(*read);
        else
            lastLine = line;
    }
    if (!figures) {
        // The clip or the source cannot be checked: the converter's last line says why.
        QString text = lastLine;
        text.remove(QRegularExpression(QStringLiteral("^vorkast: ")));
        if (options.json)
            EmitJsonLine({{"event", "failed"}, {"clip", options.clip}, {"message", text}});
        PrintCommandLineError(options.clip + QStringLiteral(": ") + text);
        return kCheckUsage;
    }
    if (options.json) {
        QJsonObject event{
            {"event", "clip check"}, {"clip", options.clip}, {"source", options.source}};
        const QJsonObject measured = CheckJson(*figures);
        for (auto it = measured.begin(); it != measured.end(); ++it)
            event.insert(it.key(), it.value());
        EmitJsonLine(event);
    } else if (figures->passed) {
        std::printf("%s: holds\n", qPrintable(options.clip));
    } else {
        for (const std::string& finding : figures->findings)
            std::printf("%s: %s\n", qPrintable(options.clip), finding.c_str());
    }
    return figures->passed ? kCheckHolds : kCheckFindings;
}

} // namespace segmora
