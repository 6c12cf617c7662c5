// The main window's remembered size and place.
#include "ground/window_placement.h"

#include "ground/ini_file.h"

#include <limits>

namespace segmora {
namespace {

const QString kX = QStringLiteral("X");
const QString kY = QStringLiteral("Y");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kMaximized = QStringLiteral("Maximized");

qint64 overlapArea(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

} // namespace

std::optional<WindowPlacement> ReadWindowPlacement(const ProgramContext& context) {
    const IniSnapshot ini = IniFile(context.preferencesPath()).snapshot();
    // A value that cannot be a coordinate marks the whole placement as missing.
    constexpr int kMissing = std::numeric_limits<int>::min();
    const int x = ini.readInteger(kWindowSection, kX, kMissing);
    const int y = ini.readInteger(kWindowSection, kY, kMissing);
    const int width = ini.readInteger(kWindowSection, kWidth, kMissing);
    const int height = ini.readInteger(kWindowSection, kHeight, kMissing);
    if (x == kMissing || y == kMissing || width <= 0 || height <= 0)
        return std::nullopt;
    return WindowPlacement{QRect(x, y, width, height),
                           ini.readBool(kWindowSection, kMaximized, false)};
}

void WriteWindowPlacement(const ProgramContext& context, const WindowPlacement& placement) {
    const IniFile ini(context.preferencesPath());
    ini.writeInteger(kWindowSection, kX, placement.rect.x());
    ini.writeInteger(kWindowSection, kY, placement.rect.y());
    ini.writeInteger(kWindowSection, kWidth, placement.rect.width());
    ini.writeInteger(kWindowSection, kHeight, placement.rect.height());
    ini.writeBool(kWindowSection, kMaximized, placement.maximized);
}

QRect PullOntoScreen(const QRect& saved, const QList<QRect>& screens) {
    if (screens.isEmpty())
        return saved;
    for (const QRect& screen : screens) {
        if (screen.contains(saved))
            return saved;
    }
    QRect target = screens.first();
    qint64 best = 0;
    for (const QRect& screen : screens) {
        const qint64 area = overlapArea(saved, screen);
        if (area > best) {
            best = area;
            target = screen;
        }
    }
    QRect pulled(saved.topLeft(), saved.size().boundedTo(target.size()));
    pulled.moveLeft(qBound(target.left(), pulled.left(), target.right() - pulled.width() + 1));
    pulled.moveTop(qBound(target.top(), pulled.top(), target.bottom() - pulled.height() + 1));
    return pulled;
}

} // namespace segmora
