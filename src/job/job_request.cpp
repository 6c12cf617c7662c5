// The checks of a split request, in the order the user meets them.
#include "job/job_request.h"

#include "ground/time_text.h"

#include <QFileInfo>
#include <limits>

namespace segmora {

namespace {

const QString kStartTimeText = QStringLiteral("Please varify the Start Time you selected.");
const QString kStartTimeTitle = QStringLiteral("Invalid Start Time");

JobCheckResult failure(int check, const QString& text, const QString& title, JobField focus) {
    JobCheckResult result;
    result.failedCheck = check;
    result.text = text;
    result.title = title;
    result.focus = focus;
    return result;
}

} // namespace

bool IsValidSource(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool IsExistingFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir();
}

bool ParseSectionQuantity(const QString& text, int* value) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return false;
    // Accumulated as a magnitude in 64 bits so that -2147483648 is still in range.
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        magnitude = magnitude * 10 + (c.unicode() - '0');
        if (magnitude > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int>::max())
        return false;
    if (value)
        *value = static_cast<int>(signedValue);
    return true;
}

JobCheckResult CheckJobRequest(const JobRequest& request) {
    if (!IsValidSource(request.sourcePath))
        return failure(1, QStringLiteral("Please specify a valid input video file."),
                       QStringLiteral("Invalid File"), JobField::Source);

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
    if (request.mode == JobMode::Equal && !ParseSectionQuantity(request.sectionQtyText, &count))
        return failure(6, QStringLiteral("Please specify a valid section quantity."),
                       QStringLiteral("Invalid Section"), JobField::SectionQty);

    if (!request.profileFileExists)
        return failure(7, QStringLiteral("Please select a valid output profile."),
                       QStringLiteral("Invalid Output Path"), JobField::Profile);

    if (!IsExistingFolder(request.outputFolderText))
        return failure(8, QStringLiteral("Please specify a valid output path."),
                       QStringLiteral("Invalid Output Path"), JobField::OutputFolder);

    JobCheckResult result;
    result.start = start;
    result.end = end;
    result.sectionCount = count;
    return result;
}

} // namespace segmora
