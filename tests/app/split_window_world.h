// One split-job test's world: its own program folder, fake seams, output folder and the
// program's windows, with helpers to fill in a request, stand in a converter and look at what
// ran.
#pragma once

#include "app/application.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "app/setting_form.h"
#include "fake_converter.h"
#include "fake_seams.h"
#include "job/job_controller.h"
#include "media/filter_graph.h"
#include "media/track_bar.h"
#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>
#include <unistd.h>

namespace segmora::test {

// The lossless profile, whose clips keep the source's container.
inline const QString kLossless = QStringLiteral("Settings of the source file.");

struct SplitWorld {
    TempProgramFolder folder;
    FakeSeams fakes;
    QTemporaryDir out;     // the output folder
    QTemporaryDir sources; // sources copied under special names
    std::unique_ptr<Application> app;
    TMainForm* form = nullptr;

    SplitWorld() {
        // The preview only has to know the source's length: no sound device.
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
        app = std::make_unique<Application>(folder.context());
        form = app->mainForm();
        // No countdown, no desktop and no replacing unless a test asks for it.
        TSettingForm* settings = app->settingForm();
        settings->chkTurnoff->setChecked(false);
        settings->chkExit->setChecked(false);
        settings->chkOpenDir->setChecked(false);
        settings->chkOverwrite->setChecked(false);
        form->show();
    }

    // Presses Start and waits (at most timeoutMs) until the window has shown the job's end;
    // false when it has not by then. A request that fails its checks starts no job.
    bool runJob(int timeoutMs = 60000) {
        form->imgStartClick();
        return QTest::qWaitFor([this] { return form->RunningJob() == nullptr; }, timeoutMs);
    }

    QString converterPath() const { return folder.context().converterPath(); }
    QString outPath(const QString& name) const { return out.filePath(name); }

    // Replaces the converter with a script that first records its arguments, one per line, in
    // run1, run2, ... beside itself, then runs body ($out is the output path).
    void fakeConverter(const QByteArray& body) const {
        const QString path = converterPath();
        QFile::remove(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n"
                   "dir=$(dirname \"$0\")\n"
                   "n=1; while [ -e \"$dir/run$n\" ]; do n=$((n+1)); done\n"
                   "printf '%s\\n' \"$@\" > \"$dir/run$n\"\n"
                   "for out; do :; done\n" +
                   body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The argument vectors the fake converter was started with, in order.
    QList<QStringList> runs() const {
        QList<QStringList> result;
        for (int n = 1;; ++n) {
            QFile file(folder.path() + QStringLiteral("run%1").arg(n));
            if (!file.open(QIODevice::ReadOnly))
                return result;
            QString text = QString::fromUtf8(file.readAll());
            text.chop(1);
            result.append(text.split(QLatin1Char('\n')));
        }
    }

    // A file beside the fake converter; the scripts wait for "go" where a test must act first.
    void touch(const QString& name) const { folder.writeFile(name, QByteArray()); }

    // Fills the request: source (loaded into the preview when it is a video), times, mode
    // (an empty quantity means start/end mode), profile and the output folder.
    void request(const QString& source, const QString& start, const QString& end,
                 const QString& quantity, const QString& profile, bool loadMedia = true) {
        if (loadMedia) {
            form->filterGraph->SetActive(true);
            form->filterGraph->RenderFile(source);
        }
        form->edtSource->setText(source);
        form->edtStart->setText(start);
        form->edtEnd->setText(end);
        (quantity.isNull() ? form->rdbStartEnd : form->rdbEqual)->setChecked(true);
        form->edtSectionQty->setText(quantity);
        form->cmbProfile->setCurrentIndex(form->cmbProfile->findText(profile));
        form->cmbProfileChange();
        form->edtOutputDir->setText(out.path());
    }

    // A copy of a generated fixture under another name.
    QString sourceCopy(const QString& fixtureName, const QString& name) const {
        const QString path = sources.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(fixture(fixtureName), path))
            return QString();
        return path;
    }

    QStringList messageTexts() const {
        QStringList texts;
        for (const MessageRequest& message : fakes.messages)
            texts.append(message.text);
        return texts;
    }

    // The converters this test process has started and not yet reaped (zombies count: a
    // converter must be reaped, not just ended). A script's own forks are not counted.
    QList<pid_t> converterProcesses() const {
        QList<pid_t> pids;
        const QString path = converterPath();
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& entry : entries) {
            bool isPid = false;
            const pid_t pid = entry.toInt(&isPid);
            if (!isPid)
                continue;
            const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
            const qsizetype close = stat.lastIndexOf(')');
            const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
            if (close < 0 || fields.size() < 2 || fields[1].toInt() != ::getpid())
                continue;
            const QList<QByteArray> argv =
                readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0');
            // A script shows its interpreter first; a zombie shows nothing.
            const bool zombie = fields[0] == "Z";
            for (int i = 0; i < qMin<qsizetype>(2, argv.size()); ++i) {
                if (zombie || QString::fromUtf8(argv[i]) == path) {
                    pids.append(pid);
                    break;
                }
            }
        }
        return pids;
    }

    // The temporary files a converter writes before its clip is complete.
    QStringList partFiles() const {
        return QDir(out.path()).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
    }

    // The window's idle look and state.
    void verifyIdle() const {
        QCOMPARE(form->JobState, int(JobIdle));
        QVERIFY(form->RunningJob() == nullptr);
        QVERIFY(!form->imgStart->isHidden());
        QVERIFY(form->imgCancel->isHidden());
        QVERIFY(form->panProgress->isHidden());
        QVERIFY(form->tbtnOpen->isEnabled());
        QVERIFY(form->tbtnSettings->isEnabled());
        QVERIFY(form->tkbProgress->isEnabled());
        QVERIFY(form->imgPlay->isEnabled());
        QVERIFY(!form->tmrProcess->isActive());
        QVERIFY(!form->tmrPreview->isActive());
    }

    // The window's running look.
    void verifyRunningLook() const {
        QVERIFY(form->imgStart->isHidden());
        QVERIFY(!form->imgCancel->isHidden());
        QVERIFY(!form->panProgress->isHidden());
        QVERIFY(!form->tbtnOpen->isEnabled());
        QVERIFY(!form->tbtnSettings->isEnabled());
        const QList<QWidget*> disabled{form->tkbProgress, form->imgPlay,     form->imgPause,
                                       form->imgStop,     form->imgSelStart, form->imgSelEnd,
                                       form->imgErase};
        for (QWidget* control : disabled)
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    }
};

// Calls action once, on the first progress report of the next job that runs (the job is looked
// for from inside its own event loop, so the report is one the window really received).
inline void onFirstProgress(TMainForm* form, std::function<void()> action) {
    auto* poll = new QTimer(form);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, form, [form, poll, action] {
        JobController* job = form->RunningJob();
        if (!job)
            return;
        poll->stop();
        poll->deleteLater();
        auto done = std::make_shared<bool>(false);
        QObject::connect(job, &JobController::progressChanged, form, [done, action](int, int, int) {
            if (*done)
                return;
            *done = true;
            action();
        });
    });
    poll->start();
}

// What ffprobe says about a clip.
struct Probe {
    double duration = -1;
    QString format;     // the reader's name for the container: "matroska,webm", "mpegts", ...
    QStringList codecs; // "video:h264", "audio:aac", ...
    int chapters = 0;
};

inline Probe probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                   QStringLiteral("format=duration,format_name:stream=codec_type,codec_name:"
                                  "chapter=id"),
                   QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path});
    Probe result;
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return result;
    QString name;
    const QStringList lines = QString::fromUtf8(ffprobe.readAllStandardOutput()).split('\n');
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("codec_name=")))
            name = line.mid(11);
        else if (line.startsWith(QLatin1String("codec_type=")))
            result.codecs.append(line.mid(11) + QLatin1Char(':') + name);
        else if (line.startsWith(QLatin1String("duration=")))
            result.duration = line.mid(9).toDouble();
        else if (line.startsWith(QLatin1String("format_name=")))
            result.format = line.mid(12);
        else if (line.startsWith(QLatin1String("id=")))
            ++result.chapters;
    }
    return result;
}

} // namespace segmora::test
