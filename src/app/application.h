// The application object: the start options, the program folder and the six windows.
#pragma once

#include "ground/program_context.h"
#include "media/preview_renderer.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace segmora {

class TAboutForm;
class TCountDownForm;
class TMainForm;
class TSettingForm;
class TSizeForm;
class TopSettingForm;

// What the command line asks for.
//
//   segmora [--program-folder DIR | --installed] [VIDEO]
//
// --program-folder DIR (or --program-folder=DIR) runs on another program folder (Profiles/,
// Preferences.ini, the help page and the converter); without it the environment variable
// SEGMORA_PROGRAM_FOLDER is used when set and not empty, else the executable's folder.
// --installed runs in installed mode whatever the executable's folder (the environment
// variable is then not used). VIDEO is a video file or a ".tmp" list file whose first line
// names one; only the first is used. "--" ends the options, so a file name may begin with "-".
// -h and --help print the usage, --version the product and version. --screenshot FILE saves a
// picture of the main window once shown and ends the program (used to make the picture in the
// README).
struct StartOptions {
    QString programFolder; // empty: the default
    bool forceInstalled = false;
    QString source; // absolute; empty when none was given
    QString screenshotPath;
    PreviewRenderer previewRenderer = PreviewRenderer::Auto;
    bool showUsage = false;
    bool showVersion = false;
    QString error; // not empty: the command line cannot be used
};

// Reads the arguments (without the program name); relative paths are made absolute against
// currentFolder, the folder the program was started in, which the program never changes.
// The environment's SEGMORA_PROGRAM_FOLDER and SEGMORA_PREVIEW_RENDERER are passed in; an option
// beats its variable.
StartOptions ParseStartOptions(const QStringList& arguments, const QString& currentFolder,
                               const QString& programFolderFromEnvironment = {},
                               const QString& previewRendererFromEnvironment = {});

// The usage text for --help and for a wrong command line.
QString StartUsage();
// The text --version prints: the product name and the version text of the shipped
// preferences, as the About box shows them.
QString VersionLine(const ProgramContext& context);

// Creates the windows once, in this order: MainForm, SettingForm, CountDownForm, AboutForm,
// opSettingForm, SizeForm; none is created later and all live until this object goes.
// Needs a QApplication. The program ends through seams().endProgram() when the main window
// closes (the QApplication must not quit on its last window closing).
class Application {
public:
    // sourceArgument: the first program argument, already absolute; empty when none.
    explicit Application(const ProgramContext& context, const QString& sourceArgument = {});
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    const ProgramContext& context() const { return m_context; }

    TMainForm* mainForm() const { return m_mainForm.get(); }
    TSettingForm* settingForm() const { return m_settingForm.get(); }
    TCountDownForm* countDownForm() const { return m_countDownForm; }
    TAboutForm* aboutForm() const { return m_aboutForm.get(); }
    TopSettingForm* opSettingForm() const { return m_opSettingForm; }
    TSizeForm* sizeForm() const { return m_sizeForm.get(); }

    // Object names of the windows in the order they were created.
    const QStringList& creationOrder() const { return m_creationOrder; }

    // Shows the main window; its first showing loads the selected profile.
    void show();
    // Saves a picture of the shown main window as PNG; false when it cannot be written.
    bool saveScreenshot(const QString& path) const;

private:
    ProgramContext m_context;
    QStringList m_creationOrder;
    // Declared first, so it goes last: the windows below point into it.
    std::unique_ptr<TMainForm> m_mainForm;
    std::unique_ptr<TSettingForm> m_settingForm;
    TCountDownForm* m_countDownForm = nullptr; // a child of the main window
    std::unique_ptr<TAboutForm> m_aboutForm;
    TopSettingForm* m_opSettingForm = nullptr; // a child of the main window
    std::unique_ptr<TSizeForm> m_sizeForm;
};

} // namespace segmora
