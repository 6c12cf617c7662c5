// The cut list's checks, its inversion, the typed range times, and the list with its history.
#include "job/cut_list.h"

#include "ground/time_text.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace segmora {

namespace {

QString rangeText(const CutRange& range) {
    return SecondsToMarkText(range.start) + QStringLiteral(" to ") + SecondsToMarkText(range.end);
}

} // namespace

QString CutRangesProblem(const QList<CutRange>& ranges, double durationSeconds) {
    for (qsizetype i = 0; i < ranges.size(); ++i) {
        const CutRange& range = ranges[i];
        const QString row = QStringLiteral("Range %1 (%2)").arg(i + 1).arg(rangeText(range));
        if (!std::isfinite(range.start) || !std::isfinite(range.end) || !(range.end > range.start))
            return row + QStringLiteral(" is empty: its end is not after its start.");
        if (range.start < 0)
            return row + QStringLiteral(" begins before the video.");
        if (durationSeconds > 0 && range.end > durationSeconds)
            return row + QStringLiteral(" ends past the end of the video (%1).")
                             .arg(SecondsToMarkText(durationSeconds));
    }
    // In time order, a range overlaps another exactly when it starts before the one before it
    // ends; the later row of the two in the list is the one named.
    std::vector<qsizetype> order(static_cast<std::size_t>(ranges.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return ranges[a].start < ranges[b].start; });
    for (std::size_t k = 1; k < order.size(); ++k) {
        const qsizetype a = std::min(order[k - 1], order[k]);
        const qsizetype b = std::max(order[k - 1], order[k]);
        if (ranges[order[k]].start < ranges[order[k - 1]].end)
            return QStringLiteral("Range %1 (%2) overlaps range %3 (%4).")
                .arg(b + 1)
                .arg(rangeText(ranges[b]))
                .arg(a + 1)
                .arg(rangeText(ranges[a]));
    }
    return QString();
}

QList<CutRange> InvertCutRanges(const QList<CutRange>& ranges, double durationSeconds,
                                double shortestSeconds) {
    QList<CutRange> sorted = ranges;
    std::sort(sorted.begin(), sorted.end(),
              [](const CutRange& a, const CutRange& b) { return a.start < b.start; });
    QList<CutRange> kept;
    double from = 0;
    const auto keep = [&](double to) {
        if (to - from >= shortestSeconds && to > from)
            kept.append(CutRange{from, to});
    };
    for (const CutRange& range : sorted) {
        keep(std::min(range.start, durationSeconds));
        from = std::max(from, range.end);
    }
    keep(durationSeconds);
    return kept;
}

QList<CutRange> RangesToCut(const QList<CutRange>& ranges, CutListMode mode, double durationSeconds,
                            double shortestSeconds) {
    return mode == CutListMode::Keep ? ranges
                                     : InvertCutRanges(ranges, durationSeconds, shortestSeconds);
}

std::optional<double> CutTimeSeconds(const QString& text) {
    // Digits, at most two ":" and one fraction in the last part: the signs, blanks and locale
    // separators the time fields forgive are no part of a range typed on a command line or
    // read from a file.
    static const QRegularExpression shape(QStringLiteral(R"(^(?:\d+:){0,2}\d+(?:\.\d+)?$)"));
    const QString trimmed = text.trimmed();
    if (!shape.match(trimmed).hasMatch())
        return std::nullopt;
    const qsizetype colons = trimmed.count(QLatin1Char(':'));
    const double seconds =
        TimeTextToSeconds(QStringLiteral("0:0:").left(2 * (2 - colons)) + trimmed);
    if (seconds < 0 || !std::isfinite(seconds))
        return std::nullopt;
    return seconds;
}

std::optional<CutRange> ParseRangeText(const QString& text) {
    const QStringList sides = text.split(QLatin1Char('-'));
    if (sides.size() != 2)
        return std::nullopt;
    const std::optional<double> start = CutTimeSeconds(sides[0]);
    const std::optional<double> end = CutTimeSeconds(sides[1]);
    if (!start || !end)
        return std::nullopt;
    return CutRange{*start, *end};
}

CutList::CutList(QObject* parent) : QObject(parent) {}

void CutList::reset(const QList<CutRange>& ranges, double markStart, double markEnd) {
    m_past.clear();
    m_future.clear();
    m_current = CutListState{ranges, -1, markStart, markEnd};
    emit rangesChanged();
    emit changed();
}

void CutList::step(const CutListState& next) {
    if (next == m_current)
        return;
    m_past.push_back(m_current);
    m_future.clear();
    restore(next);
}

void CutList::restore(const CutListState& state) {
    const bool rowsChanged = state.ranges != m_current.ranges;
    m_current = state;
    if (rowsChanged)
        emit rangesChanged();
    emit changed();
}

void CutList::setMarks(double start, double end) {
    CutListState next = m_current;
    next.markStart = start;
    next.markEnd = end;
    if (next.selected >= 0) {
        next.ranges[next.selected].start = start;
        next.ranges[next.selected].end = end;
    }
    step(next);
}

void CutList::clearMarks() {
    step(CutListState{m_current.ranges, -1, 0, 0});
}

QString CutList::addMarkedRange(const QString& label, double durationSeconds) {
    CutListState next = m_current;
    next.ranges.append(CutRange{m_current.markStart, m_current.markEnd, label});
    const QString problem = CutRangesProblem(next.ranges, durationSeconds);
    if (!problem.isEmpty())
        return problem;
    next.selected = -1;
    step(next);
    return QString();
}

void CutList::removeRow(int row) {
    if (row < 0 || row >= m_current.ranges.size())
        return;
    CutListState next = m_current;
    next.ranges.removeAt(row);
    if (next.selected == row)
        next.selected = -1;
    else if (next.selected > row)
        --next.selected;
    step(next);
}

void CutList::moveRow(int row, int to) {
    const int last = int(m_current.ranges.size()) - 1;
    if (row < 0 || row > last)
        return;
    to = std::clamp(to, 0, last);
    CutListState next = m_current;
    next.ranges.move(row, to);
    if (next.selected == row)
        next.selected = to;
    else if (next.selected >= 0) {
        // The rows between the two places each shift by one toward the one moved away.
        if (row < next.selected && next.selected <= to)
            --next.selected;
        else if (to <= next.selected && next.selected < row)
            ++next.selected;
    }
    step(next);
}

void CutList::setLabel(int row, const QString& label) {
    if (row < 0 || row >= m_current.ranges.size())
        return;
    CutListState next = m_current;
    next.ranges[row].label = label;
    step(next);
}

void CutList::replaceRanges(const QList<CutRange>& ranges) {
    CutListState next = m_current;
    next.ranges = ranges;
    next.selected = -1;
    step(next);
}

void CutList::select(int row) {
    if (row < -1 || row >= m_current.ranges.size() || row == m_current.selected)
        return;
    m_current.selected = row;
    if (row >= 0) {
        m_current.markStart = m_current.ranges[row].start;
        m_current.markEnd = m_current.ranges[row].end;
    }
    emit changed();
}

void CutList::undo() {
    if (m_past.empty())
        return;
    m_future.push_back(m_current);
    const CutListState previous = m_past.back();
    m_past.pop_back();
    restore(previous);
}

void CutList::redo() {
    if (m_future.empty())
        return;
    m_past.push_back(m_current);
    const CutListState next = m_future.back();
    m_future.pop_back();
    restore(next);
}

} // namespace segmora
