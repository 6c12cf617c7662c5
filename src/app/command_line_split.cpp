// `segmora split` and `segmora profiles`: the batch runner, its three ways of reporting
// (a live line per source on a terminal, plain lines, JSON lines) and the interrupt.
#include "app/command_line_split.h"

#include "app/command_line_check.h"

#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "ground/preferences.h"
#include "ground/product.h"
#include "ground/program_context.h"
#include "ground/time_text.h"
#include "ground/whole_number.h"
#include "job/cut_list_file.h"
#include "job/job_controller.h"
#include "job/job_messages.h"
#include "job/job_request.h"
#include "job/media_probe.h"
#include "job/section_plan.h"
#include "profiles/profile_arguments.h"
#include "profiles/profile_catalogue.h"
#include "profiles/profile_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace segmora {

void PrintCommandLineError(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", "segmora", qPrintable(text));
    std::fflush(stderr);
}

ProgramContext CommandLineContext(const QString& programFolder) {
    const QString folder =
        programFolder.isEmpty() ? qEnvironmentVariable("SEGMORA_PROGRAM_FOLDER") : programFolder;
    return folder.isEmpty() ? ProgramContext::fromExecutable() : ProgramContext::forFolder(folder);
}

void EmitJsonLine(const QJsonObject& object) {
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

namespace {

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// The self-pipe that turns SIGINT/SIGTERM into an event of the loop.
int g_signalPipe[2] = {-1, -1};

extern "C" void onInterrupt(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// A time text for a number of seconds that keeps its fraction ("0:0:12.5").
QString exactTimeText(double seconds) {
    return QStringLiteral("0:0:") + QString::number(seconds, 'f', 3);
}

// The display name the window would start with: the saved name, else the saved list position
// (empty when that lies outside the list, which the checks refuse as no profile).
QString savedProfileName(const ProgramContext& context, const QStringList& names) {
    return names.value(SavedProfileChoice(context, names));
}

// A source argument whose bytes are no UTF-8 is shown with replacement characters, a text that
// names no file. The converter and the probe reach it through a link of that shown name in a
// private folder; the shown text is what every message and event carries.
class SourceLinks {
public:
    // The path to open for the argument shown as text whose bytes are raw.
    QString pathFor(const QString& text, const QByteArray& raw) {
        if (raw.isNull() || QFile::encodeName(text) == raw)
            return text;
        if (!m_folder)
            m_folder = std::make_unique<QTemporaryDir>();
        if (!m_folder->isValid())
            return text;
        QByteArray target = raw;
        if (!target.startsWith('/'))
            target.prepend(QFile::encodeName(QDir::currentPath()) + '/');
        // One sub-folder per source keeps two names that show alike apart.
        const QString folder = m_folder->filePath(QString::number(++m_count));
        const QString link = folder + QLatin1Char('/') + QFileInfo(text).fileName();
        if (!QDir().mkpath(folder) ||
            ::symlink(target.constData(), QFile::encodeName(link).constData()) != 0)
            return text;
        return link;
    }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    int m_count = 0;
};

// The output folder the window would start with for this source: the saved fixed folder, or
// the source's own folder.
QString defaultOutputFolder(const ProgramContext& context, const QString& source) {
    const PreferenceValues saved = ReadPreferenceValues(context, false);
    if (saved.aptotic)
        return saved.outputDir;
    return WithTrailingSeparator(QFileInfo(source).absolutePath());
}

bool isCopyProfile(const QString& profileName, const QString& arguments) {
    return profileName == kSourceSettingsProfileName || arguments.contains(QLatin1String(" copy"));
}

// One source of the batch as it is shown.
struct SourceView {
    QString source;
    QString name; // file name
    std::unique_ptr<JobController> job;
    int sections = 0;
    int section = 0; // the section reported last
    int current = 0;
    int total = 0;
    QString elapsed = QStringLiteral("00:00:00");
    QString remaining = QStringLiteral("00:00:00");
    QString state = QStringLiteral("waiting");
    QString refused; // the existing clip that stopped a start/end job
    bool ok = true;
};

class Batch : public QObject {
public:
    enum class Style { Live, Plain, Json };

    Batch(Style style) : m_style(style) {}

    int run(const SplitOptions& options, const ProgramContext& context,
            const QList<QByteArray>& sourceBytes);

private:
    void plain(const QString& line) {
        if (m_style == Style::Plain) {
            std::fprintf(stdout, "%s\n", qPrintable(line));
            std::fflush(stdout);
        }
    }
    void error(const QString& text) {
        if (m_style == Style::Live)
            clearLive();
        PrintCommandLineError(text);
        if (m_style == Style::Live)
            drawLive();
    }
    void watch(SourceView& view);
    void clearLive();
    void drawLive();
    void maybeFinish();

    Style m_style;
    std::vector<std::unique_ptr<SourceView>> m_views;
    int m_drawn = 0; // live lines on screen
    int m_running = 0;
    bool m_anyFailed = false;
    int m_interrupted = 0;
};

// An event of a cut list's clip also tells the range it cuts: its start, end and label; a clip
// joining ranges tells each of them, and where it begins in the clip.
QJsonObject withRange(const SourceView& view, QJsonObject event, int index) {
    const SplitJobPlan& plan = view.job->plan();
    if (plan.mode != JobMode::CutList)
        return event;
    for (const Section& section : plan.sections) {
        if (section.index != index)
            continue;
        if (section.joined.isEmpty()) {
            event.insert(QStringLiteral("range"),
                         QJsonObject{{"start", section.start},
                                     {"end", section.start + section.length},
                                     {"label", section.label}});
            continue;
        }
        QJsonArray ranges;
        double clipStart = 0;
        for (const CutRange& range : section.joined) {
            ranges.append(QJsonObject{{"start", range.start},
                                      {"end", range.end},
                                      {"label", range.label},
                                      {"clip start", clipStart}});
            clipStart += range.length();
        }
        event.insert(QStringLiteral("ranges"), ranges);
    }
    return event;
}

QString liveLine(const SourceView& view) {
    return QStringLiteral("%1  section %2 of %3  %4%  elapsed %5  remaining %6  %7")
        .arg(view.name)
        .arg(view.section)
        .arg(view.sections)
        .arg(view.total)
        .arg(view.elapsed, view.remaining, view.state);
}

void Batch::clearLive() {
    if (m_drawn == 0)
        return;
    std::fprintf(stdout, "\x1b[%dA", m_drawn);
    for (int i = 0; i < m_drawn; ++i)
        std::fputs("\r\x1b[2K\n", stdout);
    std::fprintf(stdout, "\x1b[%dA", m_drawn);
    m_drawn = 0;
}

void Batch::drawLive() {
    if (m_style != Style::Live)
        return;
    if (m_drawn > 0)
        std::fprintf(stdout, "\x1b[%dA", m_drawn);
    for (const auto& view : m_views)
        std::fprintf(stdout, "\r\x1b[2K%s\n", qPrintable(liveLine(*view)));
    m_drawn = static_cast<int>(m_views.size());
    std::fflush(stdout);
}

void Batch::watch(SourceView& view) {
    JobController* job = view.job.get();
    connect(job, &JobController::sectionStarted, this,
            [this, &view](int index, const QString&, const QString& output) {
                view.section = index;
                view.state = QStringLiteral("running");
                if (m_style == Style::Json)
                    EmitJsonLine(withRange(view,
                                           {{"event", "section started"},
                                            {"source", view.source},
                                            {"section", index},
                                            {"output", output}},
                                           index));
                drawLive();
            });
    connect(job, &JobController::progressChanged, this,
            [this, &view](int index, int current, int total) {
                view.section = index;
                view.current = current;
                view.total = total;
                if (m_style == Style::Json)
                    EmitJsonLine({{"event", "progress"},
                                  {"source", view.source},
                                  {"section", index},
                                  {"section percent", current},
                                  {"percent", total}});
                drawLive();
            });
    connect(job, &JobController::timesChanged, this,
            [this, &view](const QString& elapsed, const QString& remaining) {
                view.elapsed = elapsed;
                view.remaining = remaining;
                drawLive();
            });
    connect(job, &JobController::sectionMade, this,
            [this, &view](int index, const QString& output, double seconds) {
                if (m_style == Style::Json)
                    EmitJsonLine(withRange(view,
                                           {{"event", "section done"},
                                            {"source", view.source},
                                            {"section", index},
                                            {"output", output},
                                            {"seconds", seconds}},
                                           index));
                plain(QStringLiteral("%1: section %2 of %3 done: %4")
                          .arg(view.name)
                          .arg(index)
                          .arg(view.sections)
                          .arg(output));
            });
    connect(job, &JobController::sectionSkipped, this,
            [this, &view](int index, const QString& output) {
                view.ok = false;
                if (m_style == Style::Json)
                    EmitJsonLine({{"event", "failed"},
                                  {"source", view.source},
                                  {"section", index},
                                  {"output", output},
                                  {"message", QStringLiteral("The output file is existent.")}});
            });
    connect(job, &JobController::sectionFailed, this,
            [this, &view](int index, const QString& message) {
                view.ok = false;
                if (m_style == Style::Json)
                    EmitJsonLine({{"event", "failed"},
                                  {"source", view.source},
                                  {"section", index},
                                  {"message", message}});
                error(QStringLiteral("%1: section %2: %3")
                          .arg(view.source)
                          .arg(index)
                          .arg(oneLine(message)));
            });
    connect(job, &JobController::finished, this, [this, &view](const SplitJobResult& result) {
        QString outcome;
        switch (result.end) {
        case SplitJobEnd::Completed:
            outcome = QStringLiteral("completed");
            break;
        case SplitJobEnd::Cancelled:
            outcome = QStringLiteral("cancelled");
            view.ok = false;
            break;
        default:
            outcome = QStringLiteral("failed");
            view.ok = false;
            break;
        }
        // A start/end job whose one clip exists ends before any section: the event says why.
        if (result.end == SplitJobEnd::OverwriteRefused && m_style == Style::Json)
            EmitJsonLine({{"event", "failed"},
                          {"source", view.source},
                          {"section", result.section},
                          {"output", view.refused},
                          {"message", QStringLiteral("The output file is existent.")}});
        // A clip the source ran out under (truncated or damaged while the job ran) is kept but
        // is not what was asked for: the source counts as failed.
        for (const ShortClip& clip : result.shortClips) {
            view.ok = false;
            if (m_style == Style::Json)
                EmitJsonLine({{"event", "short clip"},
                              {"source", view.source},
                              {"section", clip.index},
                              {"output", clip.outputPath},
                              {"seconds", clip.made},
                              {"seconds asked", clip.asked}});
            error(QStringLiteral("%1: %2 is shorter than asked: %3 s of %4 s")
                      .arg(view.source, clip.outputPath, QString::number(clip.made, 'f', 2),
                           QString::number(clip.asked, 'f', 2)));
        }
        // Each clip's check, with its figures; a clip that failed it counts as not made right.
        for (const CheckedClip& clip : result.checks) {
            if (m_style == Style::Json) {
                QJsonObject event{{"event", "clip check"},
                                  {"source", view.source},
                                  {"section", clip.index},
                                  {"output", clip.outputPath}};
                const QJsonObject figures = CheckJson(clip.figures);
                for (auto it = figures.begin(); it != figures.end(); ++it)
                    event.insert(it.key(), it.value());
                EmitJsonLine(event);
            }
            if (clip.figures.passed)
                continue;
            view.ok = false;
            error(QStringLiteral("%1: %2 failed its check (%3); %4")
                      .arg(view.source, clip.outputPath,
                           QString::fromStdString(vorkast::clipcheck::findingsText(clip.figures)),
                           clip.figures.kept ? QStringLiteral("it is kept")
                                             : QStringLiteral("it is not kept")));
        }
        if (!view.ok && result.end == SplitJobEnd::Completed)
            outcome = QStringLiteral("incomplete"); // existing clips kept, clips short or failing
        view.state = outcome;
        if (!view.ok)
            m_anyFailed = true;
        for (const KeyframeCut& cut : result.keyframeCuts) {
            if (m_style == Style::Json)
                EmitJsonLine({{"event", "keyframe cut"},
                              {"source", view.source},
                              {"section", cut.index},
                              {"output", cut.outputPath},
                              {"seconds early", cut.secondsEarly}});
            error((result.keyframeCutsAsked
                       ? QStringLiteral("%1: %2 starts %3 s early, copied from the key frame "
                                        "before its start")
                       : QStringLiteral("%1: %2 could not be cut exactly; it starts %3 s "
                                        "earlier, at the key frame before its start"))
                      .arg(view.source, cut.outputPath, QString::number(cut.secondsEarly, 'f', 2)));
        }
        for (const LeftOutStream& left : result.leftOut) {
            if (m_style == Style::Json)
                EmitJsonLine({{"event", "left out"},
                              {"source", view.source},
                              {"section", left.index},
                              {"output", left.outputPath},
                              {"stream", left.stream}});
            error(QStringLiteral("%1: %2 leaves out the source's %3: its format cannot hold it")
                      .arg(view.source, left.outputPath, left.stream));
        }
        if (m_style == Style::Json)
            EmitJsonLine({{"event", "finished"}, {"source", view.source}, {"outcome", outcome}});
        plain(QStringLiteral("%1: %2").arg(view.name, outcome));
        drawLive();
        --m_running;
        maybeFinish();
    });
}

void Batch::maybeFinish() {
    if (m_running == 0)
        QCoreApplication::exit(0);
}

int Batch::run(const SplitOptions& options, const ProgramContext& context,
               const QList<QByteArray>& sourceBytes) {
    const QStringList names = DisplayNames(LoadProfileCatalogue(context));
    const QString profileName =
        options.profile.isEmpty() ? savedProfileName(context, names) : options.profile;
    const QString profilePath = context.profilePath(profileName);
    const QString profileArguments = BuildSavedProfileArguments(profilePath);
    QString extension = QStringLiteral(".mp4");
    if (QFileInfo(profilePath).isFile())
        extension = ProfileOutputExtension(IniFile(profilePath).snapshot());
    // A copy waits on the disk: a second converter at once measured no faster on one or two
    // cores (bench/split/RESULTS.md), so copies go one at a time unless asked.
    const int jobs = options.jobs > 0 ? options.jobs
                     : isCopyProfile(profileName, profileArguments)
                         ? 1
                         : std::max(1, QThread::idealThreadCount());
    ConverterSlots pool(jobs);

    SourceLinks links;
    for (qsizetype k = 0; k < options.sources.size(); ++k) {
        const QString& source = options.sources[k];
        JobRequest request;
        request.sourcePath = links.pathFor(source, sourceBytes.value(k));
        // The source's length and frame before the checks, as the window has them from the
        // player: a section shorter than a frame is refused here too.
        if (IsValidSource(request.sourcePath)) {
            const MediaFacts facts = ProbeMedia(request.sourcePath);
            request.sourceOpens = facts.opened;
            request.durationMs = facts.durationMs;
            request.frameSeconds = facts.frameSeconds;
        }
        request.startText = options.start;
        request.endText =
            options.end.isEmpty() ? exactTimeText(request.durationMs / 1000.0) : options.end;
        request.mode = options.sections.isNull() ? JobMode::StartEnd : JobMode::Equal;
        if (!options.ranges.isEmpty() || !options.cutsFile.isEmpty()) {
            request.mode = JobMode::CutList;
            request.ranges = options.ranges;
            request.cutListMode = options.remove ? CutListMode::Remove : CutListMode::Keep;
            request.joinRanges = options.join;
            if (!options.cutsFile.isEmpty()) {
                const CutListReading reading =
                    ReadCutListFile(options.cutsFile, IdentifyVideo(request.sourcePath),
                                    static_cast<double>(request.durationMs) / 1000.0);
                if (!reading.ok()) {
                    const QString text = QStringLiteral("%1: %2").arg(
                        QDir::toNativeSeparators(options.cutsFile), oneLine(reading.problem));
                    m_anyFailed = true;
                    if (m_style == Style::Json)
                        EmitJsonLine({{"event", "failed"}, {"source", source}, {"message", text}});
                    PrintCommandLineError(QStringLiteral("%1: %2").arg(source, text));
                    continue;
                }
                request.ranges = reading.content.ranges;
                if (reading.modeGiven && !options.remove)
                    request.cutListMode = reading.content.mode;
            }
        }
        request.sectionQtyText = options.sections;
        request.profileName = profileName;
        request.profileFileExists = QFileInfo(profilePath).isFile();
        request.profileExtension = extension;
        if (request.profileFileExists)
            request.profileProblem = ProfileFileProblem(profilePath);
        request.outputFolderText =
            options.outputDir.isEmpty() ? defaultOutputFolder(context, source) : options.outputDir;
        const JobCheckResult checked = CheckJobRequest(request);
        if (!checked.passed()) {
            m_anyFailed = true;
            if (m_style == Style::Json)
                EmitJsonLine({{"event", "failed"}, {"source", source}, {"message", checked.text}});
            PrintCommandLineError(QStringLiteral("%1: %2").arg(source, checked.text));
            continue;
        }
        auto view = std::make_unique<SourceView>();
        view->source = source;
        view->name = QFileInfo(source).fileName();
        view->job = std::make_unique<JobController>(MakeSplitJobPlan(
            request, checked, context.converterPath(), profileArguments, options.overwrite));
        view->sections = view->job->plan().sectionCount;
        view->job->setConverterSlots(&pool);
        view->job->setContinueAfterFailure(true);
        SourceView* const shown = view.get();
        view->job->confirmOverwrite = [this, shown](const QString& output) {
            error(QStringLiteral("%1: %2 (kept; --overwrite replaces it)")
                      .arg(output, QStringLiteral("The output file is existent.")));
            shown->ok = false;
            shown->refused = output;
            return JobController::OverwriteAnswer::No;
        };
        watch(*view);
        m_views.push_back(std::move(view));
    }
    if (m_views.empty())
        return m_anyFailed ? kSplitSomeFailed : kSplitAllMade;

    // Ctrl+C (and a polite kill) cancel like the window's Cancel: converters ended and reaped,
    // part files removed.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return kSplitSomeFailed;
    QSocketNotifier interrupts(g_signalPipe[0], QSocketNotifier::Read);
    connect(&interrupts, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1)
            m_interrupted = m_interrupted != 0 ? m_interrupted : byte;
        for (const auto& view : m_views)
            view->job->cancel();
    });
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    QTimer clock;
    clock.setInterval(1000);
    connect(&clock, &QTimer::timeout, this, [this] {
        for (const auto& view : m_views)
            view->job->tick();
    });
    clock.start();

    m_running = static_cast<int>(m_views.size());
    for (const auto& view : m_views) {
        if (m_style == Style::Json)
            EmitJsonLine({{"event", "started"},
                          {"source", view->source},
                          {"sections", view->sections},
                          {"jobs", jobs}});
        plain(QStringLiteral("%1: %2 section(s)").arg(view->name).arg(view->sections));
    }
    drawLive();
    for (const auto& view : m_views)
        view->job->start();
    QCoreApplication::exec();

    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    if (m_interrupted != 0) {
        error(QStringLiteral("interrupted; the clips being made were removed"));
        return m_interrupted == SIGINT ? kSplitInterrupted : 128 + m_interrupted;
    }
    return m_anyFailed ? kSplitSomeFailed : kSplitAllMade;
}

int usageError(const QString& text, bool json = false) {
    if (json)
        EmitJsonLine({{"event", "usage error"}, {"message", text}});
    PrintCommandLineError(text);
    std::fputs(qPrintable(QStringLiteral("\n") + SubcommandUsage()), stderr);
    return kSplitUsage;
}

} // namespace

bool IsSubcommand(const char* word) {
    return word && (std::strcmp(word, "split") == 0 || std::strcmp(word, "profiles") == 0 ||
                    std::strcmp(word, "check") == 0);
}

SplitOptions ParseSplitOptions(const QStringList& arguments) {
    SplitOptions options;
    bool onlySources = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (onlySources || !argument.startsWith(QLatin1String("--"))) {
            options.sources.append(argument);
            options.sourceArguments.append(i);
            continue;
        }
        if (argument == QLatin1String("--")) {
            onlySources = true;
            continue;
        }
        // The next option is never taken as a value: "--sections --output-dir o7" lacks the count.
        const auto value = [&](QString* into) {
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"))) {
                options.error = argument + QStringLiteral(" needs a value");
                return false;
            }
            *into = arguments[++i];
            return true;
        };
        // The time parts read no sign, yet "-0:0:5" would pass as 5 s and "0:0:-5" reach the
        // converter as a negative start: a time before the source's beginning is no time here.
        const auto time = [&](QString* into) {
            if (!value(into))
                return false;
            if (into->contains(QLatin1Char('-'))) {
                options.error =
                    argument + QStringLiteral(" needs a time of 0 or later, not ") + *into;
                return false;
            }
            return true;
        };
        if (argument == QLatin1String("--overwrite")) {
            options.overwrite = true;
        } else if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--help")) {
            options.help = true;
        } else if (argument == QLatin1String("--start")) {
            if (!time(&options.start))
                return options;
        } else if (argument == QLatin1String("--end")) {
            if (!time(&options.end))
                return options;
        } else if (argument == QLatin1String("--range")) {
            QString text;
            if (!value(&text))
                return options;
            const std::optional<CutRange> range = ParseRangeText(text);
            if (!range) {
                options.error = QStringLiteral("--range needs START-END (times such as 1:30 or "
                                               "90.5), not ") +
                                text;
                return options;
            }
            options.ranges.append(*range);
        } else if (argument == QLatin1String("--cuts")) {
            if (!value(&options.cutsFile))
                return options;
        } else if (argument == QLatin1String("--remove")) {
            options.remove = true;
        } else if (argument == QLatin1String("--join")) {
            options.join = true;
        } else if (argument == QLatin1String("--sections")) {
            if (!value(&options.sections))
                return options;
        } else if (argument == QLatin1String("--profile")) {
            if (!value(&options.profile))
                return options;
        } else if (argument == QLatin1String("--output-dir")) {
            if (!value(&options.outputDir))
                return options;
        } else if (argument == QLatin1String("--program-folder")) {
            if (!value(&options.programFolder))
                return options;
        } else if (argument == QLatin1String("--jobs")) {
            QString text;
            if (!value(&text))
                return options;
            options.jobs = ParseWholeNumber(text).value_or(0);
            if (options.jobs < 1) {
                options.error = QStringLiteral("--jobs needs a whole number of 1 or more");
                return options;
            }
        } else {
            options.error = QStringLiteral("unknown option ") + argument;
            return options;
        }
    }
    if (options.sources.isEmpty() && !options.help)
        options.error = QStringLiteral("no SOURCE given");
    // A cut list says itself where each clip starts and ends.
    const bool cutList = !options.ranges.isEmpty() || !options.cutsFile.isEmpty();
    if (options.error.isEmpty()) {
        if (!options.ranges.isEmpty() && !options.cutsFile.isEmpty())
            options.error = QStringLiteral("--range and --cuts do not go together");
        else if (cutList && (!options.sections.isNull() || options.end.size() > 0 ||
                             arguments.contains(QStringLiteral("--start"))))
            options.error = QStringLiteral("--range and --cuts do not go with --start, --end or "
                                           "--sections");
        else if (options.remove && !cutList)
            options.error = QStringLiteral("--remove needs --range or --cuts");
        else if (options.join && !cutList)
            options.error = QStringLiteral("--join needs --range or --cuts");
    }
    return options;
}

QString SubcommandUsage() {
    return QStringLiteral(
        "       segmora split SOURCE... [--start TIME] [--end TIME] [--sections N]\n"
        "                     [--profile NAME] [--output-dir DIR] [--overwrite] [--jobs N]\n"
        "                     [--json]\n"
        "       segmora split SOURCE... (--range START-END... | --cuts FILE) [--remove] [--join]\n"
        "                     [--profile NAME] [--output-dir DIR] [--overwrite] [--jobs N]\n"
        "                     [--json]\n"
        "       segmora profiles\n"
        "       segmora check CLIP --source SOURCE --start TIME [--end TIME] [--json]\n"
        "\n"
        "split cuts each SOURCE without the window: from --start (default 00:00:00) to --end\n"
        "(default: the source's end) as one clip, or into N equal sections of a frame or more.\n"
        "With --range (again for each range: --range 1:00-1:30 --range 5:10.5-6:00) or --cuts\n"
        "(a CSV file of start,end,label rows in seconds, or a JSON cut list) each range\n"
        "becomes a clip, _Clip1, _Clip2, ... in the list's order; with --remove the ranges are\n"
        "cut away and each stretch between them becomes a clip. With --join the clips are one\n"
        "file instead, named as a single clip (_Clip1), each range a chapter named by its\n"
        "label, cut exactly at both ends of every range. A list with an empty or\n"
        "overlapping range, a range past the end, or a JSON list of another video is refused\n"
        "with the range named, and nothing is written.\n"
        "TIME is H:M:S with an optional fraction, never negative. --profile takes a name that\n"
        "`segmora profiles` lists (default: the saved choice); --output-dir defaults to the\n"
        "saved output folder rule. Existing clips are kept unless --overwrite is given. --jobs\n"
        "runs up to N converters at once (default: the number of cores; 1 for copying\n"
        "profiles, which wait on the disk). --json prints one JSON object per event: started,\n"
        "section started, progress, section done, failed, short clip, clip check, keyframe cut,\n"
        "finished,\n"
        "usage error; with a cut list, section started and section done carry their \"range\"\n"
        "(start, end and label), a joined clip its \"ranges\" (each with its \"clip start\").\n"
        "Exit status: 0 every clip made, 1 any clip not made or shorter than asked (the source\n"
        "ended early), 2 usage error, 130 interrupted (Ctrl+C; the clips being made are\n"
        "removed).\n");
}

int RunSubcommand(int argc, char* argv[]) {
    // The bytes as given, before the application object may rearrange argv.
    QList<QByteArray> given;
    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        given.append(QByteArray(argv[i]));
        arguments.append(QString::fromLocal8Bit(given.last()));
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProductName);
    const QString command = QString::fromLocal8Bit(argv[1]);

    if (command == QLatin1String("check"))
        return RunCheck(arguments);
    if (command == QLatin1String("profiles")) {
        QString folder;
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            if (arguments[i] == QLatin1String("--program-folder") && i + 1 < arguments.size())
                folder = arguments[++i];
            else
                return usageError(QStringLiteral("unknown argument ") + arguments[i]);
        }
        for (const QString& name : DisplayNames(LoadProfileCatalogue(CommandLineContext(folder))))
            std::printf("%s\n", qPrintable(name));
        return 0;
    }

    const SplitOptions options = ParseSplitOptions(arguments);
    if (options.help) {
        std::fputs(qPrintable(QStringLiteral("Usage:\n") + SubcommandUsage()), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        // The parse stops at the fault, so --json is looked for among all the options.
        const qsizetype end = arguments.indexOf(QStringLiteral("--"));
        return usageError(options.error, arguments.mid(0, end).contains(QStringLiteral("--json")));
    }
    const ProgramContext context = CommandLineContext(options.programFolder);
    const Batch::Style style = options.json              ? Batch::Style::Json
                               : ::isatty(STDOUT_FILENO) ? Batch::Style::Live
                                                         : Batch::Style::Plain;
    // Installed, the first run seeds the user's settings as the window's first start does, so
    // both start from the same saved profile and output folder rule.
    try {
        context.PrepareUserFolders();
    } catch (const AppError& problem) {
        PrintCommandLineError(problem.message());
    }
    // The bytes of each source as given: a name that is no UTF-8 must still open.
    QList<QByteArray> sourceBytes;
    for (const qsizetype index : options.sourceArguments)
        sourceBytes.append(given.value(index));
    Batch batch(style);
    return batch.run(options, context, sourceBytes);
}

} // namespace segmora
