// What the timeline shows of a source besides its keyframes: the loudness of its sound, small
// pictures of its keyframes, and the places people cut at (silences, black frames, scene
// changes), each found by reading the file with the FFmpeg libraries.
//
// Threading: the scans are plain functions for any thread; each reads the file on its own and
// shares nothing. TimelineScans (UI thread) runs them on threads of their own, see below.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace segmora {

// A stretch of the source, in seconds from its start as the player counts.
struct TimeSpan {
    double from = 0;
    double to = 0;
    bool operator==(const TimeSpan& other) const = default;
};

// The sound's loudness, read straight from the decoded samples of every channel.
struct SoundScan {
    static constexpr int kBucketsPerSecond = 100;
    // The loudest sample of each hundredth of a second, 0..1; empty without sound.
    QVector<float> peaks;
    // The stretches quieter than kSilenceLevel for at least kSilenceSeconds.
    QVector<TimeSpan> silences;
    bool complete = false; // the whole file was read (not stopped, not cut short)
};

struct Thumbnail {
    double seconds = 0;
    QImage picture;
};

// The picture: what the source's video is, its keyframes in small, and its black frames and
// scene changes (the latter come in a second pass over every keyframe).
struct PictureScan {
    // libavcodec's name of the video codec and whether its every frame is a keyframe; empty
    // without a picture.
    QString codecName;
    bool intraOnly = false;
    // Keyframes scaled to kThumbnailHeight, sorted by time, at least a little apart.
    QVector<Thumbnail> thumbnails;
    bool thumbnailsComplete = false;
    // Runs of frames that are (nearly) black, from the first black frame's time to the time of
    // the first frame after them.
    QVector<TimeSpan> blackFrames;
    // The times of frames that look nothing like the frame before them.
    QVector<double> sceneChanges;
    bool contentComplete = false;
};

inline constexpr int kThumbnailHeight = 36;
// Quieter than this (the peak of each hundredth of a second, of full scale) counts as silent:
// about -46 dB, below room noise in a recording and far below speech.
inline constexpr float kSilenceLevel = 0.005f;
inline constexpr double kSilenceSeconds = 0.5;

// The silences in a row of peaks (kBucketsPerSecond a second).
QVector<TimeSpan> FindSilences(const QVector<float>& peaks);

// How one small grey picture (kContentWidth x kContentHeight, one byte a pixel) reads: whether
// it is black, and how unlike the picture before it is (mean difference per pixel, 0..255).
inline constexpr int kContentWidth = 64;
inline constexpr int kContentHeight = 36;
bool IsBlackPicture(const uchar* grey);
double PictureDifference(const uchar* grey, const uchar* before);
// A difference this large is a scene change.
inline constexpr double kSceneChangeDifference = 30;

// Reads the file's best sound stream. stop, when set, ends the reading early.
SoundScan ScanSound(const QString& path, const std::atomic<bool>* stop = nullptr);
// Thumbnails of the file's best video stream: for each stretch of spacingSeconds, the keyframe
// at or before its middle (as the strip shows them), sought and decoded alone, so the cost
// follows the number of stretches, not the length. A source that cannot be sought is read
// through instead, decoding keyframes no closer than spacingSeconds.
void ScanThumbnails(const QString& path, double spacingSeconds, PictureScan& scan,
                    const std::atomic<bool>* stop = nullptr);
// The black frames and scene changes of the best video stream, and the thumbnails of its
// keyframes no closer than thumbnailSpacing added to those in scan. Every keyframe is decoded,
// small (no loop filter, reduced where the decoder can), and compared with the keyframe before
// it; only where two keyframes differ are the pictures between them decoded, without those no
// other picture refers to, to find the frame of the change. So a change lands on its frame, or
// a frame or two after it in sources with B-frames, and a black stretch or a cut that begins
// and ends between two keyframes whose pictures look alike goes unseen.
void ScanPictureContent(const QString& path, double thumbnailSpacing, PictureScan& scan,
                        const std::atomic<bool>* stop = nullptr);

// The thumbnails' spacing for a source this long: first for the whole bar (about a hundred),
// then for the zoomed views (about a thousand); a second apart at least.
double BarThumbnailSpacing(double lengthSeconds);
double ZoomThumbnailSpacing(double lengthSeconds);

// Of sorted times, the last one before seconds or the first one after it, with the keyframe
// keys' tolerance; -1 when there is none. The spans count by their starts.
double PreviousTime(const QVector<double>& times, double seconds);
double NextTime(const QVector<double>& times, double seconds);
QVector<double> SpanStarts(const QVector<TimeSpan>& spans);

// The scan results of a source, kept between runs: a file per source in folder named after the
// source's path, size and time of change, so an edited video is scanned again.
QString TimelineCachePath(const QString& folder, const QString& source);
// Whether the file held a complete result; a damaged or foreign file reads as nothing.
bool ReadSoundCache(const QString& path, SoundScan& sound);
bool ReadPictureCache(const QString& path, PictureScan& pictures);
// Written whole or not at all; false when it cannot be written (the scan is then only kept
// while the source stays open).
bool WriteSoundCache(const QString& path, const SoundScan& sound);
bool WritePictureCache(const QString& path, const PictureScan& pictures);

// The scans of the open source. Open starts two threads at a low priority, one for the sound
// and one for the pictures, each first looking in the cache folder; results are only posted
// back and arrive as signals, the thumbnails before the black frames and scene changes. Open
// and Abandon stop running scans without waiting for them and drop what they found; a result
// posted by a stopped scan is ignored. Threading: the object lives on the UI thread and is used
// there.
class TimelineScans : public QObject {
    Q_OBJECT
public:
    explicit TimelineScans(QObject* parent = nullptr);
    ~TimelineScans() override;
    TimelineScans(const TimelineScans&) = delete;
    TimelineScans& operator=(const TimelineScans&) = delete;

    // cacheFolder may be empty: nothing is then read or kept. lengthSeconds spaces the
    // thumbnails: about a hundred over the whole bar first (thumbnailsReady), then about a
    // thousand for the zoomed views with the content (contentReady).
    void Open(const QString& path, double lengthSeconds, const QString& cacheFolder);
    void Abandon();

    const QString& Source() const { return m_source; }
    std::shared_ptr<const SoundScan> Sound() const { return m_sound; }
    std::shared_ptr<const PictureScan> Pictures() const { return m_pictures; }
    bool Scanning() const;

signals:
    void soundReady();
    // The thumbnails and the codec are known (the content may still be on its way).
    void thumbnailsReady();
    // The black frames and the scene changes are known too.
    void contentReady();

private:
    // Stops the running scans; waits for them only with wait (the destructor).
    void stopThreads(bool wait);
    void takeSound(quint64 generation, std::shared_ptr<const SoundScan> sound);
    void takePictures(quint64 generation, std::shared_ptr<const PictureScan> pictures);

    std::thread m_soundThread;
    std::thread m_pictureThread;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::shared_ptr<std::atomic<int>> m_running;
    // Threads of earlier sources, told to stop and not yet ended; running counts both threads
    // of a source down as they end.
    struct Stopped {
        std::thread thread;
        std::shared_ptr<std::atomic<int>> running;
    };
    std::vector<Stopped> m_stopped;
    quint64 m_generation = 0;
    QString m_source;
    std::shared_ptr<const SoundScan> m_sound;
    std::shared_ptr<const PictureScan> m_pictures;
};

} // namespace segmora
