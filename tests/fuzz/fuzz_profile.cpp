// .apf profiles as a user may edit them by hand: loading fills the grids without failing
// badly, the converter arguments come from the loaded parameters only, and saving the grids
// back and loading again gives the same arguments.
#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "profiles/profile_arguments.h"
#include "profiles/profile_file.h"
#include "profiles/value_list_editor.h"

#include "fuzz_support.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

using namespace segmora;

namespace {

struct World {
    QTemporaryDir dir;
    TValueListEditor video;
    TValueListEditor audio;
    TValueListEditor advanced;
    ProfileGrids grids() { return {&video, &audio, &advanced}; }
};

World* world = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(*argc, *argv);
    world = new World;
    SetFileWriterForTesting(fuzz::writeWithoutSync);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = world->dir.filePath(QStringLiteral("fuzz.apf"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate), path);
        FUZZ_CHECK(file.write(content) == content.size(), path);
    }

    QStringList broken;
    const std::vector<ProfileParameter> parameters =
        ReadProfileParameters(IniSnapshot::parse(content), &broken);
    for (const ProfileParameter& p : parameters) {
        FUZZ_CHECK(p.sort >= 1 && p.sort <= 3, p.name);
        if (p.list)
            FUZZ_CHECK(p.index >= 0 && p.index < p.captions.size() &&
                           p.values.size() >= p.captions.size(),
                       p.name);
    }
    const QString extension = ProfileOutputExtension(IniSnapshot::parse(content));
    FUZZ_CHECK(extension.startsWith(QLatin1Char('.')), extension);

    const ProfileGrids grids = world->grids();
    const std::optional<QString> loaded = LoadProfile(path, grids);
    FUZZ_CHECK(loaded && *loaded == extension, path);
    const int rows = grids.video->rowCount() + grids.audio->rowCount() + grids.advanced->rowCount();
    FUZZ_CHECK(rows <= int(parameters.size()), QString::number(rows));
    const QString arguments = BuildProfileArguments(path, grids);

    // Saving what was loaded changes no argument.
    try {
        SaveProfile(path, grids);
    } catch (const AppError& error) {
        FUZZ_CHECK(false, error.message());
    }
    FUZZ_CHECK(LoadProfile(path, grids), path);
    const QString again = BuildProfileArguments(path, grids);
    FUZZ_CHECK(again == arguments, arguments + QStringLiteral(" | ") + again);
    return 0;
}
