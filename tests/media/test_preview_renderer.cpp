// Which renderer "auto" takes for the preview: OpenGL only where a graphics driver draws it.
#include "media/preview_renderer.h"

#include <QTest>

using segmora::OpenGLSuitsPreview;

class TestPreviewRenderer : public QObject {
    Q_OBJECT
private slots:
    void autoChoice_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QString>("renderer"); // GL_RENDERER; empty: no context
        QTest::addColumn<bool>("openGL");
        QTest::newRow("X with a graphics card")
            << "xcb"
            << "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)" << true;
        QTest::newRow("Wayland with a graphics card")
            << "wayland"
            << "Mesa Intel(R) UHD Graphics 620 (KBL GT2)" << true;
        QTest::newRow("Wayland through EGL") << "wayland-egl"
                                             << "NVIDIA GeForce GTX 1060" << true;
        QTest::newRow("X virtual frame buffer") << "xcb"
                                                << "llvmpipe (LLVM 15.0.6, 256 bits)" << false;
        QTest::newRow("old Mesa software") << "xcb"
                                           << "Software Rasterizer" << false;
        QTest::newRow("softpipe") << "xcb"
                                  << "softpipe" << false;
        QTest::newRow("Windows without a driver") << "windows"
                                                  << "GDI Generic" << false;
        QTest::newRow("remote Windows desktop") << "windows"
                                                << "Microsoft Basic Render Driver" << false;
        QTest::newRow("no OpenGL context") << "xcb"
                                           << "" << false;
        QTest::newRow("offscreen, even with a card") << "offscreen"
                                                     << "NVIDIA GeForce" << false;
        QTest::newRow("minimal") << "minimal"
                                 << "Mesa Intel(R) Iris" << false;
    }
    void autoChoice() {
        QFETCH(QString, platform);
        QFETCH(QString, renderer);
        QTEST(OpenGLSuitsPreview(platform, renderer), "openGL");
    }

    void words_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("renderer"); // -1: refused
        using segmora::PreviewRenderer;
        QTest::newRow("auto") << "auto" << int(PreviewRenderer::Auto);
        QTest::newRow("opengl, spaced and capitalised")
            << " OpenGL " << int(PreviewRenderer::OpenGL);
        QTest::newRow("software") << "software" << int(PreviewRenderer::Software);
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("a part of a word") << "soft" << -1;
        QTest::newRow("gl") << "gl" << -1;
    }
    void words() {
        QFETCH(QString, text);
        QFETCH(int, renderer);
        const std::optional<segmora::PreviewRenderer> parsed = segmora::ParsePreviewRenderer(text);
        QCOMPARE(parsed ? int(*parsed) : -1, renderer);
    }
};

QTEST_MAIN(TestPreviewRenderer)
#include "test_preview_renderer.moc"
