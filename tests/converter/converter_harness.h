// Running the built vorkast and looking inside what it wrote, for the converter's tests.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace vorkast::test {

QString programPath();
QString fixture(const QString& name);

struct Run {
    int exitCode = -1;
    bool finished = false;  // ended on its own within the time limit
    QString errorText;      // all of standard error
    QList<double> reports;  // the "time=" values in order
    QStringList otherLines; // every non-empty line that is not a report or the clip's check
    QString checkLine;      // "vorkast: check passed [...]" or "... check failed: ...", if any
    QString lastLine() const { return otherLines.isEmpty() ? QString() : otherLines.last(); }
    // Empty when the report contract holds: every report reads "time=S.SS " with "." and two
    // decimals, values never fall, and no other line holds the word "time".
    QString contractBreach() const;
};

// Runs vorkast with args; extraEnv as NAME=VALUE pairs.
Run runVorkast(const QStringList& args, int timeoutMs = 60000, const QStringList& extraEnv = {});

// The clip check finds three kinds of clip at fault today (each a row of test_clip_check's
// knownFaultsAreFound, reported): keyframe copies of AVI's packed B-frames into MP4 or MOV,
// which start a picture early; chirp_mpeg2's program streams encoded again, a picture early;
// chirp_mpeg4.avi encoded again into MP4, its sound a picture ahead. Runs making one turn the check
// off
// ({"-check", "off"}) so the tests of everything else about them go on; {} for any other.
QStringList checkOffForKnownFault(const QString& sourceName, const QStringList& args,
                                  const QString& output);

// What the ffmpeg tool's decoder complains about while reading the whole clip; empty when
// every picture and sound frame decodes cleanly (the tool stops at the first error).
QString decoderErrors(const QString& path);

struct StreamInfo {
    QString type; // video, audio, subtitle, data
    QString codec;
    int width = 0, height = 0;
    double displayAspect = 0; // width/height as displayed, 0 if unknown
    int sampleRate = 0, channels = 0;
    QString language;
    QString title;       // the "title" tag, or in the QuickTime family the handler's name
    int disposition = 0; // AV_DISPOSITION_* flags
    QString fileName;    // an attachment's
    // Pictures: format and colour description as libavutil names them ("bt2020", "arib-std-b67",
    // "tv"), the rotation players apply, and whether HDR mastering and light levels are stated.
    QString pixelFormat, primaries, transfer, matrix, range;
    double rotation = 0;
    bool masteringDisplay = false, lightLevel = false;
};
struct ChapterInfo {
    double start = 0, end = 0;
    QString title;
};
struct ProbeInfo {
    bool opened = false;
    double duration = 0;
    QString title;
    QString creationTime;
    QList<StreamInfo> streams;
    QList<ChapterInfo> chapters;
    QStringList codecs(const QString& type) const;
};
ProbeInfo probe(const QString& path);

// A subtitle line with text, in seconds from the clip's first picture. mov_text fills the
// pauses between lines with empty ones, which are left out.
struct SubtitleLine {
    double from = 0, to = 0;
};
QList<SubtitleLine> subtitleLines(const QString& path);

// A decoded picture, reduced to 64x48 grey, with its time from the file's start in seconds.
struct Picture {
    double time = 0;
    std::vector<std::uint8_t> luma;
    double mean() const;
};
// Decodes the best video stream; at most maxFrames pictures (-1: all).
std::vector<Picture> decodePictures(const QString& path, int maxFrames = -1);
double psnr(const Picture& a, const Picture& b);
// The index a generated source paints into each picture as a barcode of 16 blocks (4 by 4, bit
// b in block b row by row, white when set); survives scaling and lossy encoding.
int barcode(const Picture& picture);
std::vector<int> barcodes(const QString& path);

// The best audio stream decoded to mono; sampleRate is filled in; first sample at time startTime
// (seconds from the file's start).
struct Sound {
    int sampleRate = 0;
    double startTime = 0;
    std::vector<float> samples;
    double seconds() const { return sampleRate ? double(samples.size()) / sampleRate : 0; }
    // Time of the first sample louder than level, or -1.
    double firstLoud(float level) const;
    double rms() const; // loudness as root mean square
};
Sound decodeSound(const QString& path);

} // namespace vorkast::test
