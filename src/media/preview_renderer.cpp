// Choosing the preview's renderer: the user's choice, else a look at the OpenGL driver.
#include "media/preview_renderer.h"

#include <QDir>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace segmora {
namespace {

PreviewRenderer g_choice = PreviewRenderer::Auto;
std::optional<bool> g_usesOpenGL;

// The GL_RENDERER of a fresh context on the default format; empty when none can be made.
QString probeGlRenderer() {
    QOpenGLContext context;
    if (!context.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return {};
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = name ? QString::fromUtf8(name) : QString();
    context.doneCurrent();
    return renderer;
}

// Whether the machine may have a graphics driver. Where Linux lists no render node there is
// none, and an OpenGL context would only load the CPU rasteriser (some 50 MB of memory, kept
// after the context goes) to say so.
bool mayHaveGraphicsDriver() {
#ifdef Q_OS_LINUX
    return !QDir(QStringLiteral("/dev/dri"))
                .entryList({QStringLiteral("renderD*")}, QDir::System)
                .isEmpty();
#else
    return true;
#endif
}

} // namespace

std::optional<PreviewRenderer> ParsePreviewRenderer(const QString& text) {
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("auto"))
        return PreviewRenderer::Auto;
    if (word == QLatin1String("opengl"))
        return PreviewRenderer::OpenGL;
    if (word == QLatin1String("software"))
        return PreviewRenderer::Software;
    return std::nullopt;
}

bool OpenGLSuitsPreview(const QString& platformName, const QString& glRenderer) {
    // Desktop platforms only: "offscreen", "minimal" or "vnc" have no screen to gain on.
    static const QStringList desktops = {QStringLiteral("xcb"), QStringLiteral("wayland"),
                                         QStringLiteral("windows"), QStringLiteral("cocoa")};
    const QString platform = platformName.section(QLatin1Char('-'), 0, 0).toLower();
    if (!desktops.contains(platform) || glRenderer.trimmed().isEmpty())
        return false;
    // Rasterisers that run on the CPU: libmpv's OpenGL renderer then costs more CPU than its
    // software renderer for the same picture.
    static const QStringList onTheCpu = {QStringLiteral("llvmpipe"),
                                         QStringLiteral("softpipe"),
                                         QStringLiteral("swrast"),
                                         QStringLiteral("software rasterizer"),
                                         QStringLiteral("microsoft basic render"),
                                         QStringLiteral("gdi generic"),
                                         QStringLiteral("swiftshader"),
                                         QStringLiteral("apple software renderer")};
    const QString renderer = glRenderer.toLower();
    for (const QString& cpu : onTheCpu) {
        if (renderer.contains(cpu))
            return false;
    }
    return true;
}

void SetPreviewRenderer(PreviewRenderer choice) {
    g_choice = choice;
}

bool PreviewUsesOpenGL() {
    if (!g_usesOpenGL) {
        switch (g_choice) {
        case PreviewRenderer::OpenGL:
            g_usesOpenGL = true;
            break;
        case PreviewRenderer::Software:
            g_usesOpenGL = false;
            break;
        case PreviewRenderer::Auto: {
            const QString platform = QGuiApplication::platformName();
            // A platform without a desktop, or a machine without a graphics driver, is settled
            // before any context is tried.
            g_usesOpenGL = OpenGLSuitsPreview(platform, QStringLiteral("?")) &&
                           mayHaveGraphicsDriver() &&
                           OpenGLSuitsPreview(platform, probeGlRenderer());
            break;
        }
        }
    }
    return *g_usesOpenGL;
}

} // namespace segmora
