// The keyframe scan against reading the file once.
//
// Usage: keyframe_scan FILE
// Prints "read_ms" (the file read once in 1 MiB blocks, as `cat > /dev/null` does), "scan_ms"
// (the background scan's work: open, stream information, every packet of the picture) and
// "keyframes" (how many were found).
#include "media/keyframe_index.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: keyframe_scan FILE\n");
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    std::vector<char> block(1 << 20);
    while (file.read(block.data(), qint64(block.size())) > 0) {
    }
    std::printf("read_ms %.1f\n", double(clock.nsecsElapsed()) / 1e6);
    clock.restart();
    const QVector<double> keyframes = segmora::ScanKeyframes(path);
    std::printf("scan_ms %.1f\nkeyframes %lld\n", double(clock.nsecsElapsed()) / 1e6,
                static_cast<long long>(keyframes.size()));
    return 0;
}
