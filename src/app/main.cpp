// Program start: the application object, the program folder, the windows, the message loop.
#include "app/application.h"
#include "app/desktop_seams.h"
#include "ground/product.h"
#include "ground/program_context.h"
#include "ground/seams.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

// --help is answered before the application object exists, so it works without a display.
bool asksForUsage(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--help") == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (asksForUsage(argc, argv)) {
        std::fputs(qPrintable(segmora::StartUsage()), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // libmpv needs the C numeric locale; Qt has just set the user's one.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(segmora::kProductName);
    // The program ends when the main window closes, through the end-program seam, after the
    // preferences are saved; dialogs closing never end it.
    QApplication::setQuitOnLastWindowClosed(false);
    segmora::InstallDesktopSeams();

    const segmora::StartOptions options =
        segmora::ParseStartOptions(QApplication::arguments().mid(1), QDir::currentPath(),
                                   qEnvironmentVariable("SEGMORA_PROGRAM_FOLDER"));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(options.error),
                     qPrintable(segmora::StartUsage()));
        return 2;
    }
    if (options.showUsage) {
        std::fputs(qPrintable(segmora::StartUsage()), stdout);
        return 0;
    }

    const segmora::ProgramContext context =
        options.programFolder.isEmpty() ? segmora::ProgramContext::fromExecutable()
                                        : segmora::ProgramContext::forFolder(options.programFolder);
    segmora::Application application(context, options.source);
    application.show();

    int result = 0;
    if (!options.screenshotPath.isEmpty()) {
        // Give the window a moment to lay itself out and paint once.
        QTimer::singleShot(800, [&] {
            if (!application.saveScreenshot(options.screenshotPath))
                result = 1;
            QCoreApplication::quit();
        });
    }
    const int loopResult = QApplication::exec();
    return result != 0 ? result : loopResult;
}
