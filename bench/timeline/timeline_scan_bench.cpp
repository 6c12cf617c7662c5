// One of the timeline's scans on a file, timed: "sound", "thumbnails" (spaced as the window
// spaces them for the file's length) or "content" (black frames and scene changes).
//
// Usage: timeline_scan sound|thumbnails|content FILE LENGTH_SECONDS
// Prints "<scan>_ms N", what it found, and "peak_rss_mb N".
#include "media/timeline_scan.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s sound|thumbnails|content FILE LENGTH_SECONDS\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[2]);
    const double length = std::atof(argv[3]);
    QElapsedTimer clock;
    clock.start();
    if (std::strcmp(argv[1], "sound") == 0) {
        const segmora::SoundScan sound = segmora::ScanSound(file);
        std::printf("sound_ms %.0f\nbuckets %lld silences %lld\n", double(clock.elapsed()),
                    static_cast<long long>(sound.peaks.size()),
                    static_cast<long long>(sound.silences.size()));
    } else {
        segmora::PictureScan pictures;
        // The spacings TimelineScans gives a source of this length.
        if (std::strcmp(argv[1], "thumbnails") == 0) {
            segmora::ScanThumbnails(file, segmora::BarThumbnailSpacing(length), pictures);
            std::printf("thumbnails_ms %.0f\nthumbnails %lld\n", double(clock.elapsed()),
                        static_cast<long long>(pictures.thumbnails.size()));
        } else {
            segmora::ScanPictureContent(file, segmora::ZoomThumbnailSpacing(length), pictures);
            std::printf("content_ms %.0f\nblack %lld scene_changes %lld thumbnails %lld\n",
                        double(clock.elapsed()),
                        static_cast<long long>(pictures.blackFrames.size()),
                        static_cast<long long>(pictures.sceneChanges.size()),
                        static_cast<long long>(pictures.thumbnails.size()));
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
