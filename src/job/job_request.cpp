// The checks of a split request, in the order the user meets them.
#include "job/job_request.h"

#include "converter_contract.h"
#include "ground/time_text.h"
#include "ground/whole_number.h"
#include "job/section_plan.h"

#include <QFileInfo>

namespace segmora {

namespace {

const QString kStartTimeText = QStringLiteral("Please varify the Start Time you selected.");
const QString kStartTimeTitle = QStringLiteral("Invalid Start Time");
const QString kSectionQtyText = QStringLiteral("Please specify a valid section quantity.");
const QString kSectionTitle = QStringLiteral("Invalid Section");
// Sections that differ from a frame by no more than this count as a frame long: a frame rate
// such as 25 gives 0.04 s, which a range of 1 s cut into 25 must still reach.
constexpr double kFrameTolerance = 1e-9;

JobCheckResult failure(int check, const QString& text, const QString& title, JobField focus) {
    JobCheckResult result;
    result.failedCheck = check;
    result.text = text;
    result.title = title;
    result.focus = focus;
    return result;
}

} // namespace

// Checks 7, 8 and 10: the profile, the output folder and the longest clip name of count clips.
static JobCheckResult CheckOutput(const JobRequest& request, int count);
// Check 11 and the output's checks, for a cut list.
static JobCheckResult CheckCutListRequest(const JobRequest& request);

double ShortestSection(const JobRequest& request) {
    return request.frameSeconds > 0 ? request.frameSeconds : kShortestSectionSeconds;
}

bool IsValidSource(const QString& path) {
    if (path.isEmpty())
        return false;
    // QFileInfo calls only a regular file a file; a FIFO, socket or device is "sequential".
    return QFileInfo(path).isFile();
}

bool IsExistingFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir();
}

JobCheckResult CheckJobRequest(const JobRequest& request) {
    if (!IsValidSource(request.sourcePath) || !request.sourceOpens)
        return failure(1, QStringLiteral("Please specify a valid input video file."),
                       QStringLiteral("Invalid File"), JobField::Source);

    if (request.mode == JobMode::CutList)
        return CheckCutListRequest(request);

    const double start = TimeTextToSeconds(request.startText);
    if (start == -1)
        return failure(2, kStartTimeText, kStartTimeTitle, JobField::None);
    if (!(static_cast<double>(request.durationMs) / 1000.0 > start))
        return failure(3, kStartTimeText, kStartTimeTitle, JobField::None);

    const double end = TimeTextToSeconds(request.endText);
    if (end == -1 || !(end > 0))
        return failure(4, QStringLiteral("Please varify the End Time you selected."),
                       QStringLiteral("Invalid End Time"), JobField::None);

    if (!(end - start > 0))
        return failure(5, QStringLiteral("The End Time should be later than the Start Time."),
                       QStringLiteral("Invalid Time"), JobField::None);

    int count = 1;
    if (request.mode == JobMode::Equal) {
        // Leading blanks, an optional sign and decimal digits, within 32 bits.
        const std::optional<int> quantity =
            ParseWholeNumber(request.sectionQtyText, {.leadingBlanks = true});
        if (!quantity || *quantity <= 0)
            return failure(6, kSectionQtyText, kSectionTitle, JobField::SectionQty);
        count = *quantity;
    }

    // Shorter sections would each still come out one whole frame long, overlapping the next.
    const double shortest = ShortestSection(request);
    if (PlannedSectionLength(start, end, count, request.durationMs) + kFrameTolerance < shortest) {
        if (request.mode == JobMode::Equal)
            return failure(9,
                           QStringLiteral("Each section would be shorter than one frame of the "
                                          "video. Please specify a smaller section quantity."),
                           kSectionTitle, JobField::SectionQty);
        return failure(9,
                       QStringLiteral("The marked range is shorter than one frame of the video."),
                       QStringLiteral("Invalid Time"), JobField::None);
    }

    JobCheckResult result = CheckOutput(request, count);
    if (result.passed()) {
        result.start = start;
        result.end = end;
    }
    return result;
}

static JobCheckResult CheckOutput(const JobRequest& request, int count) {
    if (!request.profileFileExists)
        return failure(7, QStringLiteral("Please select a valid output profile."),
                       QStringLiteral("Invalid Output Path"), JobField::Profile);
    if (!request.profileProblem.isEmpty())
        return failure(7, request.profileProblem, QStringLiteral("Invalid Output Profile"),
                       JobField::Profile);

    if (!IsExistingFolder(request.outputFolderText))
        return failure(8, QStringLiteral("Please specify a valid output path."),
                       QStringLiteral("Invalid Output Path"), JobField::OutputFolder);

    // A clip's name grows with its section number; the last is the longest.
    const QString lastClip =
        QFileInfo(OutputPath(request.outputFolderText, request.sourcePath, count,
                             OutputExtension(request.sourcePath, request.profileExtension,
                                             KeepsSourceContainer(request.profileName))))
            .fileName();
    if (static_cast<std::size_t>(lastClip.toUtf8().size()) > vorkast::contract::kFileNameMax)
        return failure(10,
                       QStringLiteral("The name of the clips is too long for the file system "
                                      "(at most %1 bytes):\n%2")
                           .arg(vorkast::contract::kFileNameMax)
                           .arg(lastClip),
                       QStringLiteral("Invalid File"), JobField::Source);

    JobCheckResult result;
    result.sectionCount = count;
    return result;
}

static JobCheckResult CheckCutListRequest(const JobRequest& request) {
    const QString title = QStringLiteral("Invalid Cut List");
    const double duration = static_cast<double>(request.durationMs) / 1000.0;
    if (request.ranges.isEmpty())
        return failure(11,
                       QStringLiteral("The cut list holds no range. Mark a range and add it to "
                                      "the list first."),
                       title, JobField::CutList);
    const QString problem = CutRangesProblem(request.ranges, duration);
    if (!problem.isEmpty())
        return failure(11, problem, title, JobField::CutList);
    const double shortest = ShortestSection(request);
    for (qsizetype i = 0; i < request.ranges.size(); ++i) {
        if (request.ranges[i].length() + kFrameTolerance < shortest)
            return failure(
                11, QStringLiteral("Range %1 is shorter than one frame of the video.").arg(i + 1),
                title, JobField::CutList);
    }
    if (request.cutListMode == CutListMode::Remove && request.durationMs <= 0)
        return failure(11,
                       QStringLiteral("The length of the video is unknown, so what is left "
                                      "around the ranges is unknown too."),
                       title, JobField::CutList);
    const QList<Section> sections = PlanCutListSections(
        request.ranges, request.cutListMode, request.durationMs, shortest, request.joinRanges);
    if (sections.isEmpty())
        return failure(11, QStringLiteral("Removing these ranges leaves nothing of the video."),
                       title, JobField::CutList);
    return CheckOutput(request, int(sections.size()));
}

} // namespace segmora
