// Start options and the creation of the program's windows.
#include "app/application.h"

#include "app/about_form.h"
#include "app/main_form.h"
#include "app/setting_form.h"
#include "ground/product.h"
#include "job/count_down_form.h"
#include "profiles/profile_editor_form.h"
#include "profiles/size_form.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>

namespace segmora {
namespace {

QString absoluteIn(const QString& currentFolder, const QString& path) {
    if (path.isEmpty())
        return path;
    return QFileInfo(path).isAbsolute() ? path : QDir(currentFolder).absoluteFilePath(path);
}

} // namespace

StartOptions ParseStartOptions(const QStringList& arguments, const QString& currentFolder,
                               const QString& programFolderFromEnvironment,
                               const QString& previewRendererFromEnvironment) {
    StartOptions options;
    QString programFolderOption;
    QString rendererOption;
    bool optionsEnded = false;
    bool sourceTaken = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto valueOf = [&](const QString& name, QString* value) {
            if (argument == name) {
                if (i + 1 >= arguments.size()) {
                    options.error = name + QStringLiteral(" needs a value.");
                    return true;
                }
                *value = arguments[++i];
                return true;
            }
            if (argument.startsWith(name + QLatin1Char('='))) {
                *value = argument.mid(name.size() + 1);
                return true;
            }
            return false;
        };
        // A lone "-" is a file name; anything else that begins with "-" is an option.
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            if (argument == QLatin1String("--")) {
                optionsEnded = true;
            } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                options.showUsage = true;
            } else if (argument == QLatin1String("--version")) {
                options.showVersion = true;
            } else if (argument == QLatin1String("--installed")) {
                options.forceInstalled = true;
            } else if (!valueOf(QStringLiteral("--program-folder"), &programFolderOption) &&
                       !valueOf(QStringLiteral("--screenshot"), &options.screenshotPath) &&
                       !valueOf(QStringLiteral("--preview-renderer"), &rendererOption)) {
                options.error = QStringLiteral("Unknown option: ") + argument;
            }
            if (!options.error.isEmpty())
                return options;
            continue;
        }
        // Further arguments are ignored: one source at a time.
        if (!sourceTaken) {
            options.source = absoluteIn(currentFolder, argument);
            sourceTaken = true;
        }
    }
    const QString rendererText =
        !rendererOption.isEmpty() ? rendererOption : previewRendererFromEnvironment;
    if (!rendererText.isEmpty()) {
        const std::optional<PreviewRenderer> renderer = ParsePreviewRenderer(rendererText);
        if (!renderer) {
            options.error = QStringLiteral("The preview renderer \"%1\" is none of auto, "
                                           "opengl and software.")
                                .arg(rendererText);
            return options;
        }
        options.previewRenderer = *renderer;
    }
    if (options.forceInstalled && !programFolderOption.isEmpty()) {
        options.error = QStringLiteral("--installed and --program-folder exclude each other.");
        return options;
    }
    options.programFolder = options.forceInstalled          ? QString()
                            : programFolderOption.isEmpty() ? programFolderFromEnvironment
                                                            : programFolderOption;
    options.programFolder = absoluteIn(currentFolder, options.programFolder);
    options.screenshotPath = absoluteIn(currentFolder, options.screenshotPath);
    return options;
}

QString StartUsage() {
    return QStringLiteral(
        "Usage: segmora [OPTION]... [--] [VIDEO]\n"
        "\n"
        "Opens VIDEO (or the video named on the first line of a .tmp list file) for splitting.\n"
        "\n"
        "  --program-folder DIR  use DIR as the program folder (Profiles/, Preferences.ini,\n"
        "                        the help page and the converter); also set by the\n"
        "                        environment variable SEGMORA_PROGRAM_FOLDER. Default: the\n"
        "                        folder of the segmora executable.\n"
        "  --installed           keep settings and profiles in the user's folders even when\n"
        "                        the program's folder could be written to\n"
        "  --screenshot FILE     save a picture of the main window as PNG, then end\n"
        "  --preview-renderer auto|opengl|software\n"
        "                        how the preview draws: opengl (libmpv's OpenGL renderer,\n"
        "                        hardware decoding where the driver offers it) or software\n"
        "                        (libmpv's software renderer); also set by the environment\n"
        "                        variable SEGMORA_PREVIEW_RENDERER. Default: auto, opengl\n"
        "                        where a graphics driver draws, software where OpenGL is\n"
        "                        drawn on the CPU or missing (virtual and remote displays).\n"
        "  -h, --help            show this text\n"
        "  --version             show the product name and version\n");
}

QString VersionLine(const ProgramContext& context) {
    return kProductName + QLatin1Char(' ') +
           TMainForm::ReadVersionText(context.shippedPreferencesPath()) + QLatin1Char('\n');
}

Application::Application(const ProgramContext& context, const QString& sourceArgument)
    : m_context(context) {
    m_mainForm = std::make_unique<TMainForm>(m_context, sourceArgument);
    m_creationOrder.append(m_mainForm->objectName());
    TMainForm* main = m_mainForm.get();

    m_settingForm = std::make_unique<TSettingForm>(
        m_context, MainWindowLinks{main, main->cmbProfile, main->edtOutputDir, main->chkPreview});
    m_creationOrder.append(m_settingForm->objectName());

    m_countDownForm =
        new TCountDownForm(main, CountDownHooks{[main] { main->LeaveJobState(); }, {}});
    m_creationOrder.append(m_countDownForm->objectName());

    m_aboutForm = std::make_unique<TAboutForm>(main, main->VersionText());
    m_creationOrder.append(m_aboutForm->objectName());

    // The editor leaves the main window usable, so it may stay a child window of it.
    m_opSettingForm = new TopSettingForm(m_context, main);
    m_opSettingForm->AttachMainProfileList(main->cmbProfile);
    m_creationOrder.append(m_opSettingForm->objectName());

    m_sizeForm = std::make_unique<TSizeForm>();
    m_sizeForm->Attach(main, m_opSettingForm);
    m_opSettingForm->sizeForm = m_sizeForm.get();
    m_creationOrder.append(m_sizeForm->objectName());

    main->settingForm = m_settingForm.get();
    main->countDownForm = m_countDownForm;
    main->aboutForm = m_aboutForm.get();
    main->opSettingForm = m_opSettingForm;
    main->sizeForm = m_sizeForm.get();
}

Application::~Application() {
    // The main window forgets the windows that go before it.
    m_mainForm->settingForm = nullptr;
    m_mainForm->aboutForm = nullptr;
    m_mainForm->sizeForm = nullptr;
}

void Application::show() {
    m_mainForm->show();
}

bool Application::saveScreenshot(const QString& path) const {
    return m_mainForm->grab().save(path, "PNG");
}

} // namespace segmora
