// Our side of the preview benchmark: FilterGraph and VideoWindow in a Qt window.
//
// Usage: component_preview FILE WIDTH HEIGHT [SECONDS]
//   (run with QT_QPA_PLATFORM=offscreen or on a display, such as Xvfb)
// With SECONDS, the playback side of the comparison with the mpv program: opens FILE as below,
// plays SECONDS from the first frame painted, prints the frames painted, the frames never
// painted ("missed": rendered and replaced before a paint, or dropped by libmpv), the frames the
// played span should have shown
// ("due", from the source's frame rate) and the renderer, then ends; the CPU time and the peak
// memory of the whole process are taken from outside, as for mpv.
// Without it:
// Prints the same "key value" lines as bare_preview: the first frame painted after activating
// the graph and opening FILE the way the main window does (activate, reset, render, play, show),
// ten exact seeks (from SeekTo to the new frame painted), the CPU time of 10 s of preview, and
// the peak resident memory. Besides, how long the event loop goes without turning while the
// preview plays: the gaps between the ticks of a 2 ms timer over 5 s of playback after the CPU
// figure, as median, 99th percentile and largest gap. With SEGMORA_BENCH_SCAN set, the keyframe
// scan starts right after Play, as the main window starts it, so the first frame shows whether
// the scan delays it. With SEGMORA_BENCH_TIMELINE set, the timeline's scans (sound, thumbnails,
// black frames and scene changes, no cache) start there too, drawn as they arrive into the
// position bar's waveform and thumbnail strips under the picture, as in the main window: the
// times each result arrived after the start ("sound_ready_ms" and so on), the event loop's gaps
// for 30 s (SEGMORA_BENCH_GAP_SECONDS) from the first frame ("scan_loop_gap_ms", as above; with
// SEGMORA_BENCH_TIMELINE=strips the same window without the scans, for comparison), and what
// a paint of both strips costs at the whole source and zoomed 64 times, first and then cached
// ("strip_paint_ms").
#include "media/filter_graph.h"
#include "media/keyframe_index.h"
#include "media/preview_renderer.h"
#include "media/timeline_scan.h"
#include "media/timeline_strips.h"
#include "media/track_bar.h"
#include "media/video_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QVBoxLayout>

#include <sys/resource.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until a frame is painted or timeoutMs passes.
bool waitForFrame(VideoWindow* window, int timeoutMs) {
    QEventLoop loop;
    bool painted = false;
    QObject::connect(window, &VideoWindow::framePainted, &loop, [&] {
        painted = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return painted;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop for ms (or until the loop is quit by whatever arm connects to it) with a
// 2 ms timer and returns the gaps between its ticks, sorted.
std::vector<double> eventLoopGaps(int ms, const std::function<void(QEventLoop&)>& arm = {}) {
    std::vector<double> gaps;
    gaps.reserve(size_t(ms));
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        gaps.push_back(double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
    });
    clock.start();
    ticker.start(2);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (arm)
        arm(loop);
    loop.exec();
    std::sort(gaps.begin(), gaps.end());
    return gaps;
}

// The first paint of both widgets and the median of fifty more, in ms.
std::pair<double, double> paintMs(QWidget* first, QWidget* second) {
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < 51; ++i) {
        clock.start();
        first->repaint();
        second->repaint();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const double once = times.front();
    std::sort(times.begin(), times.end());
    return {once, times[times.size() / 2]};
}

double percentile(const std::vector<double>& sorted, double share) {
    if (sorted.empty())
        return -1;
    return sorted[std::min(sorted.size() - 1, size_t(share * double(sorted.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s FILE WIDTH HEIGHT [SECONDS]\n", argv[0]);
        return 2;
    }
    qputenv("SEGMORA_AUDIO_OUTPUT", "null");
    // As the program reads it; the bench forces either renderer with it.
    if (const auto renderer =
            segmora::ParsePreviewRenderer(qEnvironmentVariable("SEGMORA_PREVIEW_RENDERER")))
        segmora::SetPreviewRenderer(*renderer);
    const QString file = QString::fromLocal8Bit(argv[1]);
    QWidget host;
    host.resize(QString(argv[2]).toInt(), QString(argv[3]).toInt());
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* window = new VideoWindow(&host);
    layout->addWidget(window);
    const bool timelineBench = qEnvironmentVariableIsSet("SEGMORA_BENCH_TIMELINE");
    FilterGraph graph;
    // The main window's timeline: the position bar and the strips along it.
    auto* bar = new TDSTrackBar(&host);
    bar->setFixedHeight(13);
    bar->SetFrequency(60);
    bar->SetThumbLength(8);
    bar->SetFilterGraph(&graph);
    auto* thumbnails =
        new segmora::TimelineStrip(segmora::TimelineStrip::Kind::Thumbnails, bar, &host);
    thumbnails->setFixedHeight(30);
    auto* waveform = new segmora::TimelineStrip(segmora::TimelineStrip::Kind::Waveform, bar, &host);
    waveform->setFixedHeight(18);
    layout->addWidget(bar);
    layout->addWidget(thumbnails);
    layout->addWidget(waveform);
    bar->setVisible(timelineBench);
    thumbnails->setVisible(timelineBench);
    waveform->setVisible(timelineBench);
    host.show();
    graph.SetVideoWindow(window);

    // The main window is up and painted before a source is opened.
    runFor(300);

    QElapsedTimer clock;
    clock.start();
    graph.SetActive(true);
    const double activated = double(clock.nsecsElapsed()) / 1e6;
    graph.ResetGraph();
    graph.RenderFile(file);
    const double loaded = double(clock.nsecsElapsed()) / 1e6;
    graph.Play();
    window->setVisible(true);
    segmora::KeyframeIndex keyframes;
    if (qEnvironmentVariableIsSet("SEGMORA_BENCH_SCAN"))
        keyframes.Open(file);
    segmora::TimelineScans timeline;
    QElapsedTimer scanClock;
    double soundReady = -1, thumbnailsReady = -1, contentReady = -1;
    const bool scanning = timelineBench && qgetenv("SEGMORA_BENCH_TIMELINE") != "strips";
    if (timelineBench) {
        bar->SetMin(0);
        bar->SetMax(int(graph.Duration() / qMax<qint64>(1, bar->TimerInterval())));
        QObject::connect(&timeline, &segmora::TimelineScans::soundReady, [&] {
            soundReady = double(scanClock.nsecsElapsed()) / 1e6;
            waveform->SetSound(timeline.Sound());
        });
        QObject::connect(&timeline, &segmora::TimelineScans::thumbnailsReady, [&] {
            if (thumbnailsReady < 0)
                thumbnailsReady = double(scanClock.nsecsElapsed()) / 1e6;
            thumbnails->SetPictures(timeline.Pictures());
        });
        QObject::connect(&timeline, &segmora::TimelineScans::contentReady,
                         [&] { contentReady = double(scanClock.nsecsElapsed()) / 1e6; });
        scanClock.start();
        if (scanning)
            timeline.Open(file, double(graph.Duration()) / 1000.0, QString());
    }
    if (!waitForFrame(window, 10000)) {
        std::fprintf(stderr, "no first frame\n");
        return 1;
    }
    if (timelineBench) {
        // The user's thread while the scans run: a fixed stretch from the first frame, the
        // same with the scans and without them (SEGMORA_BENCH_TIMELINE=strips).
        const int gapMs = qEnvironmentVariableIntValue("SEGMORA_BENCH_GAP_SECONDS") > 0
                              ? qEnvironmentVariableIntValue("SEGMORA_BENCH_GAP_SECONDS") * 1000
                              : 30000;
        const std::vector<double> gaps = eventLoopGaps(gapMs);
        std::printf("scan_loop_gap_ms median %.1f p99 %.1f max %.1f ticks %zu\n",
                    percentile(gaps, 0.5), percentile(gaps, 0.99), gaps.empty() ? -1 : gaps.back(),
                    gaps.size());
        if (scanning) {
            if (contentReady < 0)
                eventLoopGaps(180000, [&](QEventLoop& loop) {
                    QObject::connect(&timeline, &segmora::TimelineScans::contentReady, &loop,
                                     &QEventLoop::quit);
                });
            std::printf("sound_ready_ms %.0f\nthumbnails_ready_ms %.0f\ncontent_ready_ms %.0f\n",
                        soundReady, thumbnailsReady, contentReady);
            const auto whole = paintMs(thumbnails, waveform);
            bar->ZoomBy(64, double(graph.Duration()) / 2000.0);
            const auto zoomed = paintMs(thumbnails, waveform);
            bar->ZoomWhole();
            std::printf("strip_paint_ms whole first %.2f then %.2f zoomed first %.2f then %.2f\n",
                        whole.first, whole.second, zoomed.first, zoomed.second);
        }
    }
    if (argc == 5) {
        const double from = graph.ExactPosition();
        const quint64 painted = window->framesPainted();
        const quint64 missed = window->framesMissed() + quint64(graph.DroppedFrames());
        runFor(QString(argv[4]).toInt() * 1000);
        const double played = graph.ExactPosition() - from;
        std::printf("painted %llu\nmissed %llu\ndue %.0f\nrenderer %s\n",
                    static_cast<unsigned long long>(window->framesPainted() - painted),
                    static_cast<unsigned long long>(window->framesMissed() +
                                                    quint64(graph.DroppedFrames()) - missed),
                    played * graph.FrameRate(), window->usesOpenGL() ? "opengl" : "software");
        return 0;
    }
    std::printf("first_frame_ms %.1f\n", double(clock.nsecsElapsed()) / 1e6);
    std::printf("activated_ms %.1f\nloaded_ms %.1f\n", activated, loaded);

    const double cpuBefore = cpuSeconds();
    const quint64 framesBefore = window->framesPainted();
    runFor(10000);
    std::printf("play10s_cpu_s %.2f\n", cpuSeconds() - cpuBefore);
    std::printf("play10s_frames %llu\n",
                static_cast<unsigned long long>(window->framesPainted() - framesBefore));

    const quint64 framesBeforeGaps = window->framesPainted();
    const std::vector<double> gaps = eventLoopGaps(5000);
    std::printf("loop_gap_ms median %.1f p99 %.1f max %.1f ticks %zu frames %llu\n",
                percentile(gaps, 0.5), percentile(gaps, 0.99), gaps.empty() ? -1 : gaps.back(),
                gaps.size(),
                static_cast<unsigned long long>(window->framesPainted() - framesBeforeGaps));

    graph.Pause();
    runFor(300);
    // Paused, frames come only from the seek: the last one within 800 ms is the sought frame
    // (a seek may show an intermediate frame first).
    for (qint64 target : {1300, 7700, 3100, 15200, 500, 11900, 18400, 5500, 9000, 13300}) {
        double lastFrameMs = -1;
        const quint64 framesBefore = window->framesPainted();
        const QMetaObject::Connection counting =
            QObject::connect(window, &VideoWindow::framePainted,
                             [&] { lastFrameMs = double(clock.nsecsElapsed()) / 1e6; });
        clock.restart();
        graph.SeekTo(target);
        runFor(800);
        QObject::disconnect(counting);
        std::printf("seek_ms %.1f %.1f frames %llu\n", double(target) / 1000.0, lastFrameMs,
                    static_cast<unsigned long long>(window->framesPainted() - framesBefore));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
