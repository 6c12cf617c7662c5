// Reading the converter's progress reports out of its output, and the arithmetic of the
// progress bars and the remaining-time estimate.
//
// Threading: any thread; pure functions and a plain value class.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace segmora {

// The progress time after one chunk of converter output. The chunk is read up to its first zero
// byte; the candidate starts after the first "time" and one separator character (at the fifth
// character when there is no "time") and ends before its first blank; with no blank there is no
// candidate. A candidate that reads as a "." decimal number greater than current and below
// 1 000 000 000 becomes the new progress time; anything else leaves current as it was. Only
// the first report of a chunk counts; nothing is kept from one chunk to the next.
double NextProgressTime(QByteArrayView chunk, double current);

// The section's percentage for a progress time, halves to even and held within 0..100 like a
// progress bar; previousPercent when the section has no length.
int SectionPercent(double progressTime, double sectionLength, int previousPercent);

// The job's percentage: round((sectionPercent + (index - 1) * 100) / count), halves to even,
// held within 0..100. index counts from 1; count is at least 1.
int TotalPercent(int sectionPercent, int index, int count);

// The estimated seconds left when elapsedSeconds have gone by at totalPercent: the rest at the
// average speed so far, halves to even; 0 while nothing is done yet.
long long RemainingSeconds(long long elapsedSeconds, int totalPercent);

// The texts of the elapsed and remaining labels after a tick of the job's one-second timer.
struct JobTimeTexts {
    QString elapsed;
    QString remaining;
};
JobTimeTexts ProcessTimerTexts(long long elapsedSeconds, int totalPercent);

// The progress of a running job as its bars show it, fed chunk by chunk.
class JobProgress {
public:
    explicit JobProgress(int sectionCount) : m_count(sectionCount < 1 ? 1 : sectionCount) {}

    // A new section begins: index from 1 and its length in seconds.
    void beginSection(int index, double length);
    // One chunk of output; updates both percentages whether or not it held a new report.
    void addChunk(QByteArrayView chunk);
    // The section has ended: its bar drops to 0 while the total keeps its value.
    void endSection();

    double progressTime() const { return m_time; }
    int currentPercent() const { return m_current; }
    int totalPercent() const { return m_total; }

private:
    int m_count;
    int m_index = 1;
    double m_length = 0;
    double m_time = 0;
    int m_current = 0;
    int m_total = 0;
};

} // namespace segmora
