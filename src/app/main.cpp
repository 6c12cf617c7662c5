// Program start: the command line, the program folder, the windows, the message loop.
#include "app/application.h"
#include "app/command_line_split.h"
#include "app/desktop_seams.h"
#include "app/main_form.h"
#include "ground/error_guard.h"
#include "ground/product.h"
#include "ground/program_context.h"
#include "media/preview_renderer.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <clocale>
#include <cstdio>

int main(int argc, char* argv[]) {
    // `segmora split ...` and `segmora profiles` never open a window.
    if (argc > 1 && segmora::IsSubcommand(argv[1]))
        return segmora::RunSubcommand(argc, argv);
    // The command line is read before the application object exists, so the options that only
    // print (and a wrong command line) need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const segmora::StartOptions options = segmora::ParseStartOptions(
        arguments, QDir::currentPath(), qEnvironmentVariable("SEGMORA_PROGRAM_FOLDER"),
        qEnvironmentVariable("SEGMORA_PREVIEW_RENDERER"));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(options.error),
                     qPrintable(segmora::StartUsage()));
        return 2;
    }
    if (options.showUsage) {
        std::fputs(qPrintable(segmora::StartUsage() + segmora::SubcommandUsage()), stdout);
        return 0;
    }
    const segmora::ProgramContext context =
        options.programFolder.isEmpty()
            ? segmora::ProgramContext::fromExecutable(options.forceInstalled)
            : segmora::ProgramContext::forFolder(options.programFolder);
    if (options.showVersion) {
        std::fputs(qPrintable(segmora::VersionLine(context)), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    // libmpv needs the C numeric locale; Qt has just set the user's one.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(segmora::kProductName);
    // The desktop entry the menu and "Open with" know the program by.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.segmora.Segmora"));
    // The program ends when the main window closes, through the end-program seam, after the
    // preferences are saved; dialogs closing never end it.
    QApplication::setQuitOnLastWindowClosed(false);
    segmora::InstallDesktopSeams();
    segmora::SetPreviewRenderer(options.previewRenderer);

    // A user folder that cannot be made is reported; the program goes on with the defaults.
    segmora::guarded(nullptr, [&] { context.PrepareUserFolders(); });
    segmora::Application application(context, options.source);
    application.show();

    int result = 0;
    if (!options.screenshotPath.isEmpty()) {
        // Give the window a moment to lay itself out and paint once.
        QTimer::singleShot(800, [&] {
            if (!application.saveScreenshot(options.screenshotPath))
                result = 1;
            // Ending through the window saves the preferences, as a user's close does.
            if (!application.mainForm()->close())
                QCoreApplication::quit();
        });
    }
    const int loopResult = QApplication::exec();
    return result != 0 ? result : loopResult;
}
