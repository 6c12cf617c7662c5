// The preview's media graph on libmpv: player life cycle, loading a file and playback control.
#include "media/filter_graph.h"

#include "ground/app_error.h"
#include "media/video_window.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <cmath>
#include <memory>
#include <mpv/client.h>
#include <optional>

namespace {

struct HandleDeleter {
    void operator()(mpv_handle* handle) const { mpv_terminate_destroy(handle); }
};
using HandlePtr = std::unique_ptr<mpv_handle, HandleDeleter>;

constexpr int kLoadTimeoutMs = 10000;
// reply_userdata of the observed time-pos (eof-reached is observed with 0).
constexpr uint64_t kTimePosReply = 1;

// Seconds from libmpv to whole milliseconds, truncated. Going through whole microseconds first
// keeps a length such as 2.01 s (not exact in binary) from becoming 2009 ms.
qint64 secondsToMs(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return std::llround(seconds * 1e6) / 1000;
}

// A property in seconds as whole milliseconds; 0 when libmpv does not know it.
qint64 millisecondsProperty(mpv_handle* handle, const char* name) {
    double seconds = 0;
    if (mpv_get_property(handle, name, MPV_FORMAT_DOUBLE, &seconds) < 0)
        return 0;
    return secondsToMs(seconds);
}

// Whether libmpv did what was asked; a refusal is logged with what was asked.
bool accepted(int status, const char* what) {
    if (status >= 0)
        return true;
    qWarning("libmpv refused %s: %s", what, mpv_error_string(status));
    return false;
}

void setPause(mpv_handle* handle, bool paused) {
    accepted(mpv_set_property_string(handle, "pause", paused ? "yes" : "no"),
             paused ? "to pause" : "to play");
}

// Unloads the current file; the player stays idle.
void stopFile(mpv_handle* handle) {
    const char* command[] = {"stop", nullptr};
    accepted(mpv_command(handle, command), "to unload the file");
}

// The result of a command, freed with it.
struct NodeResult {
    mpv_node node{};
    NodeResult() { node.format = MPV_FORMAT_NONE; }
    ~NodeResult() { mpv_free_node_contents(&node); }
    NodeResult(const NodeResult&) = delete;
    NodeResult& operator=(const NodeResult&) = delete;
    // The "playlist_entry_id" of a loadfile result; -1 when absent.
    int64_t entryId() const {
        if (node.format != MPV_FORMAT_NODE_MAP)
            return -1;
        for (int i = 0; i < node.u.list->num; ++i) {
            if (qstrcmp(node.u.list->keys[i], "playlist_entry_id") == 0 &&
                node.u.list->values[i].format == MPV_FORMAT_INT64)
                return node.u.list->values[i].u.int64;
        }
        return -1;
    }
};

QString quoted(const QString& path) {
    return QStringLiteral("\"%1\"").arg(path);
}

// The reason a file cannot be opened, found before libmpv is asked; empty when none.
QString precheck(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty())
        return QStringLiteral("No file was named to open.");
    if (!info.exists())
        return QStringLiteral("The file %1 was not found.").arg(quoted(path));
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a video file.").arg(quoted(path));
    if (!info.isFile())
        return QStringLiteral("%1 is not a regular file.").arg(quoted(path));
    if (info.size() == 0)
        return QStringLiteral("The file %1 is empty.").arg(quoted(path));
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        return QStringLiteral("The file %1 cannot be read.").arg(quoted(path));
    return {};
}

// The filter that stands a picture stored on its side upright, from the clockwise turn the file
// asks for (libmpv's "demux-rotation"); empty for none. libmpv's software renderer cannot turn
// a picture itself: a quarter turn aborts the whole process and a half turn is ignored, so
// libmpv is told to leave the rotation alone ("video-rotate" "no") and the turn is done here.
QByteArray uprightFilter(int64_t clockwiseDegrees) {
    switch ((clockwiseDegrees % 360 + 360) % 360) {
    case 90:
        return QByteArrayLiteral("lavfi-transpose=dir=clock");
    case 180:
        return QByteArrayLiteral("lavfi-hflip,lavfi-vflip");
    case 270:
        return QByteArrayLiteral("lavfi-transpose=dir=cclock");
    default:
        return {};
    }
}

QString loadFailure(const QString& path, int error) {
    switch (error) {
    case MPV_ERROR_UNKNOWN_FORMAT:
        return QStringLiteral("The file %1 is not a video that can be played: its format is "
                              "not recognised or the file is damaged.")
            .arg(quoted(path));
    case MPV_ERROR_NOTHING_TO_PLAY:
        return QStringLiteral("The file %1 holds no picture or sound that can be played.")
            .arg(quoted(path));
    default:
        return QStringLiteral("The file %1 could not be opened (%2).")
            .arg(quoted(path), QString::fromUtf8(mpv_error_string(error)));
    }
}

// MPEG program and transport streams are found by their times, and the search can land past the
// keyframe before the time asked for, after which the exact seek can only show a later frame.
// Starting the search earlier costs decoding a little more and lands before the time.
void tuneExactSeeks(mpv_handle* handle) {
    char* format = mpv_get_property_string(handle, "file-format");
    const bool searchedByTime = format && qstrncmp(format, "mpeg", 4) == 0;
    mpv_free(format);
    accepted(
        mpv_set_property_string(handle, "hr-seek-demuxer-offset", searchedByTime ? "1.5" : "0"),
        "to tune exact seeks");
}

} // namespace

// A load started by OpenFile and not yet settled.
struct PendingLoad {
    QString path;
    int64_t entry = -1;   // libmpv's playlist entry id of the load
    bool started = false; // its start event was seen
};

struct FilterGraph::Impl {
    HandlePtr handle;
    QPointer<VideoWindow> window;
    bool loaded = false;
    std::optional<PendingLoad> pending;
    quint64 openSerial = 0; // counts OpenFile calls: a queued failure of an older one is dropped
    QTimer* loadTimeout = nullptr;
    QList<QEventLoop*> waitLoops; // the loops of RenderFile calls waiting, innermost last

    QByteArray filter;   // the "vf" set for the loaded file's rotation
    bool openGL = false; // the window draws with libmpv's OpenGL renderer

    // Sets the video filter when it differs from the one in place (a change rebuilds the chain).
    void setFilter(const QByteArray& wanted) {
        if (wanted == filter || !handle)
            return;
        if (mpv_set_property_string(handle.get(), "vf", wanted.constData()) >= 0)
            filter = wanted;
    }
    // Turns the loaded file's picture upright, for the software renderer.
    void standUpright() {
        if (openGL)
            return;
        int64_t degrees = 0;
        if (mpv_get_property(handle.get(), "current-tracks/video/demux-rotation", MPV_FORMAT_INT64,
                             &degrees) < 0)
            degrees = 0;
        setFilter(uprightFilter(degrees));
    }
};

FilterGraph::FilterGraph(QObject* parent) : QObject(parent), d(std::make_unique<Impl>()) {
    d->loadTimeout = new QTimer(this);
    d->loadTimeout->setSingleShot(true);
    d->loadTimeout->setInterval(kLoadTimeoutMs);
    connect(d->loadTimeout, &QTimer::timeout, this, [this] {
        if (!d->pending || !d->handle)
            return;
        const QString path = d->pending->path;
        stopFile(d->handle.get());
        settleLoad(QStringLiteral("The file %1 took too long to open.").arg(quoted(path)));
    });
}

FilterGraph::~FilterGraph() {
    SetActive(false);
}

bool FilterGraph::Active() const {
    return d->handle != nullptr;
}

void FilterGraph::SetActive(bool active) {
    if (active == Active())
        return;
    if (!active) {
        emit activationChanged(false);
        giveUpLoad();
        mpv_handle* handle = d->handle.get();
        // After this no callback of libmpv can reach a half-destroyed object.
        mpv_set_wakeup_callback(handle, nullptr, nullptr);
        if (d->window)
            d->window->attachPlayer(nullptr);
        d->handle.reset();
        d->loaded = false;
        d->filter.clear();
        return;
    }

    HandlePtr handle(mpv_create());
    if (!handle)
        throw segmora::AppError(QStringLiteral("The video player could not be started."));
    mpv_handle* h = handle.get();
    const QByteArray audioOutput = qgetenv("SEGMORA_AUDIO_OUTPUT");
    // libmpv's OpenGL renderer may take pictures straight from the graphics card's decoder and
    // turns a picture stored on its side itself.
    d->openGL = d->window && d->window->usesOpenGL();
    const std::pair<const char*, const char*> options[] = {
        {"config", "no"},
        {"terminal", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"osc", "no"},
        {"load-scripts", "no"},
        {"ytdl", "no"},
        {"resume-playback", "no"},
        {"sub-auto", "no"},
        {"audio-file-auto", "no"},
        // Without a widget to draw in, the picture is decoded and dropped.
        {"vo", d->window ? "libmpv" : "null"},
        {"hwdec", d->openGL ? "auto-safe" : "no"},
        // With the software renderer, a rotated source (every phone video shot upright) is
        // turned by a filter instead: the renderer would abort the process on it (see
        // uprightFilter).
        {"video-rotate", d->openGL ? "0" : "no"},
        {"keep-open", "yes"},
        {"hr-seek", "yes"},
        {"idle", "yes"},
        {"pause", "yes"},
        {"audio-fallback-to-null", "yes"},
    };
    for (const auto& [name, value] : options) {
        const QByteArray what = QByteArray("the option ") + name + '=' + value;
        if (!accepted(mpv_set_option_string(h, name, value), what.constData()))
            throw segmora::AppError(QStringLiteral("The video player could not be started."));
    }
    // The preview is small: bilinear scaling looks the same there at a fraction of the CPU. A
    // libmpv built without one of the scalers previews all the same.
    accepted(mpv_set_option_string(h, "zimg-scaler", "bilinear"), "the option zimg-scaler");
    accepted(mpv_set_option_string(h, "sws-scaler", "bilinear"), "the option sws-scaler");
    // A wrong name only costs the sound.
    if (!audioOutput.isEmpty())
        accepted(mpv_set_option_string(h, "ao", audioOutput.constData()),
                 QByteArray("the audio output " + audioOutput).constData());
    if (!accepted(mpv_initialize(h), "to start"))
        throw segmora::AppError(QStringLiteral("The video player could not be started."));

    // Without this the end of the file would go unnoticed and Play there would do nothing.
    if (!accepted(mpv_observe_property(h, 0, "eof-reached", MPV_FORMAT_FLAG),
                  "to report the end of the file"))
        throw segmora::AppError(QStringLiteral("The video player could not be started."));
    // Without this the position label would only follow the picture at the next refresh.
    accepted(mpv_observe_property(h, kTimePosReply, "time-pos", MPV_FORMAT_DOUBLE),
             "to report the time of the frame shown");
    accepted(mpv_request_log_messages(h, "error"), "to report its errors");
    d->handle = std::move(handle);
    if (d->window) {
        try {
            d->window->attachPlayer(h);
        } catch (...) {
            d->handle.reset();
            throw;
        }
    }
    // Called on a libmpv thread: only posts; the events are read on the UI thread.
    mpv_set_wakeup_callback(
        h,
        [](void* self) {
            QMetaObject::invokeMethod(
                static_cast<FilterGraph*>(self),
                [graph = static_cast<FilterGraph*>(self)] { graph->drainEvents(); },
                Qt::QueuedConnection);
        },
        this);
    emit activationChanged(true);
}

void FilterGraph::SetVideoWindow(VideoWindow* window) {
    if (d->window == window)
        return;
    if (d->window && d->handle)
        d->window->attachPlayer(nullptr);
    d->window = window;
    if (d->handle) {
        accepted(mpv_set_property_string(d->handle.get(), "vo", d->window ? "libmpv" : "null"),
                 "to change the video output");
        if (d->window)
            d->window->attachPlayer(d->handle.get());
    }
}

VideoWindow* FilterGraph::videoWindow() const {
    return d->window;
}

void FilterGraph::ResetGraph() {
    if (!d->handle)
        return;
    giveUpLoad();
    Stop();
    stopFile(d->handle.get());
    d->loaded = false;
}

void FilterGraph::OpenFile(const QString& path) {
    if (!d->handle)
        return;
    giveUpLoad();
    ++d->openSerial;
    mpv_handle* h = d->handle.get();
    d->loaded = false;
    if (const QString reason = precheck(path); !reason.isEmpty()) {
        stopFile(h);
        failLater(reason);
        return;
    }

    // An absolute path: a relative name could otherwise read as a protocol or an option.
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    setPause(h, true);
    // The previous file's turn must not apply to this one.
    d->setFilter({});
    const char* command[] = {"loadfile", file.constData(), "replace", nullptr};
    NodeResult result;
    if (int error = mpv_command_ret(h, command, &result.node); error < 0) {
        failLater(loadFailure(path, error));
        return;
    }
    // Events of an earlier file (its end after a stop or a replace, a late start) carry other
    // playlist entry ids.
    d->pending = PendingLoad{path, result.entryId(), false};
    d->loadTimeout->start();
}

void FilterGraph::RenderFile(const QString& path) {
    if (!d->handle)
        return;
    OpenFile(path);
    const quint64 serial = d->openSerial;
    QPointer<FilterGraph> self(this);
    QEventLoop loop;
    bool opened = false;
    std::optional<QString> failure;
    connect(this, &FilterGraph::fileOpened, &loop, [&] {
        opened = d->openSerial == serial;
        loop.quit();
    });
    connect(this, &FilterGraph::openFailed, &loop, [&](const QString& reason) {
        if (d->openSerial == serial)
            failure = reason;
        loop.quit();
    });
    d->waitLoops.append(&loop);
    while (true) {
        loop.exec();
        if (!self || !d->handle) {
            if (self)
                d->waitLoops.removeOne(&loop);
            throw segmora::AppError(QStringLiteral("The video player has shut down."));
        }
        if (opened || failure || d->openSerial != serial || !d->pending)
            break;
        // Woken for a load further in (a file opened meanwhile): this one still runs.
    }
    d->waitLoops.removeOne(&loop);
    if (failure)
        throw segmora::AppError(*failure);
}

bool FilterGraph::Play() {
    emit controlNotification(0);
    if (!d->handle)
        return false;
    // At the end the last frame stays shown; Play then starts over, as a viewer expects.
    int atEnd = 0;
    if (HasMedia() &&
        mpv_get_property(d->handle.get(), "eof-reached", MPV_FORMAT_FLAG, &atEnd) >= 0 && atEnd)
        SeekTo(0);
    setPause(d->handle.get(), false);
    return true;
}

bool FilterGraph::Pause() {
    emit controlNotification(1);
    if (!d->handle)
        return false;
    setPause(d->handle.get(), true);
    return true;
}

bool FilterGraph::Stop() {
    emit controlNotification(2);
    if (!d->handle)
        return false;
    setPause(d->handle.get(), true);
    SeekTo(0);
    return true;
}

bool FilterGraph::HasMedia() const {
    return d->handle && d->loaded;
}

qint64 FilterGraph::Duration() const {
    return HasMedia() ? millisecondsProperty(d->handle.get(), "duration") : 0;
}

qint64 FilterGraph::CurrentPosition() const {
    return HasMedia() ? millisecondsProperty(d->handle.get(), "time-pos") : 0;
}

double FilterGraph::FrameRate() const {
    if (!HasMedia())
        return 0;
    for (const char* name : {"container-fps", "estimated-vf-fps"}) {
        double rate = 0;
        if (mpv_get_property(d->handle.get(), name, MPV_FORMAT_DOUBLE, &rate) >= 0 &&
            std::isfinite(rate) && rate > 0)
            return rate;
    }
    return 0;
}

qint64 FilterGraph::DroppedFrames() const {
    if (!HasMedia())
        return 0;
    qint64 dropped = 0;
    for (const char* name : {"frame-drop-count", "decoder-frame-drop-count"}) {
        int64_t count = 0;
        if (mpv_get_property(d->handle.get(), name, MPV_FORMAT_INT64, &count) >= 0)
            dropped += count;
    }
    return dropped;
}

bool FilterGraph::IsPlaying() const {
    if (!HasMedia())
        return false;
    int paused = 1;
    return accepted(mpv_get_property(d->handle.get(), "pause", MPV_FORMAT_FLAG, &paused),
                    "to tell whether it plays") &&
           !paused;
}

void FilterGraph::SeekTo(qint64 milliseconds) {
    if (!HasMedia())
        return;
    // "." whatever the locale: libmpv parses the C form.
    const QByteArray seconds =
        QByteArray::number(double(qMax<qint64>(0, milliseconds)) / 1000.0, 'f', 3);
    const char* command[] = {"seek", seconds.constData(), "absolute+exact", nullptr};
    accepted(mpv_command(d->handle.get(), command), "to seek");
}

void FilterGraph::SeekToKeyframe(qint64 milliseconds) {
    if (!HasMedia())
        return;
    const QByteArray seconds =
        QByteArray::number(double(qMax<qint64>(0, milliseconds)) / 1000.0, 'f', 3);
    const char* command[] = {"seek", seconds.constData(), "absolute+keyframes", nullptr};
    accepted(mpv_command(d->handle.get(), command), "to seek");
}

void FilterGraph::drainEvents() {
    // A slot connected to a signal below may deactivate or destroy the graph.
    const QPointer<FilterGraph> self(this);
    while (self && d->handle) {
        const mpv_event* event = mpv_wait_event(d->handle.get(), 0);
        switch (event->event_id) {
        case MPV_EVENT_NONE:
            return;
        case MPV_EVENT_LOG_MESSAGE: {
            const auto* message = static_cast<const mpv_event_log_message*>(event->data);
            qWarning("libmpv %s (%s): %s", message->level, message->prefix,
                     qPrintable(QString::fromUtf8(message->text).trimmed()));
            break;
        }
        case MPV_EVENT_START_FILE:
            if (d->pending &&
                static_cast<const mpv_event_start_file*>(event->data)->playlist_entry_id ==
                    d->pending->entry)
                d->pending->started = true;
            break;
        case MPV_EVENT_FILE_LOADED:
            if (d->pending && d->pending->started) {
                d->standUpright();
                tuneExactSeeks(d->handle.get());
                d->loaded = true;
                settleLoad(QString());
            }
            break;
        case MPV_EVENT_END_FILE: {
            const auto* end = static_cast<const mpv_event_end_file*>(event->data);
            if (d->pending && end->playlist_entry_id == d->pending->entry) {
                settleLoad(loadFailure(d->pending->path, end->reason == MPV_END_FILE_REASON_ERROR
                                                             ? end->error
                                                             : MPV_ERROR_LOADING_FAILED));
            } else if (end->reason == MPV_END_FILE_REASON_ERROR) {
                d->loaded = false;
            }
            break;
        }
        case MPV_EVENT_PROPERTY_CHANGE: {
            if (event->reply_userdata == kTimePosReply) {
                notePosition(event->data);
                break;
            }
            // eof-reached is observed: keep-open shows the last frame at the end.
            const auto* property = static_cast<const mpv_event_property*>(event->data);
            if (property->format == MPV_FORMAT_FLAG && *static_cast<int*>(property->data))
                emit endOfMedia();
            break;
        }
        case MPV_EVENT_SHUTDOWN:
            if (d->pending)
                settleLoad(QStringLiteral("The video player has shut down."));
            break;
        default:
            break;
        }
    }
}

void FilterGraph::notePosition(const void* property) {
    const auto* change = static_cast<const mpv_event_property*>(property);
    if (change->format == MPV_FORMAT_DOUBLE && HasMedia())
        emit positionChanged(*static_cast<const double*>(change->data));
}

double FilterGraph::ExactPosition() const {
    double seconds = 0;
    if (!HasMedia() ||
        mpv_get_property(d->handle.get(), "time-pos", MPV_FORMAT_DOUBLE, &seconds) < 0 ||
        !std::isfinite(seconds))
        return 0;
    return qMax(0.0, seconds);
}

bool FilterGraph::Seeking() const {
    int seeking = 0;
    return HasMedia() &&
           mpv_get_property(d->handle.get(), "seeking", MPV_FORMAT_FLAG, &seeking) >= 0 && seeking;
}

void FilterGraph::SeekToSeconds(double seconds) {
    if (!HasMedia())
        return;
    // Microseconds: finer than any frame, and "." whatever the locale.
    const QByteArray target = QByteArray::number(qMax(0.0, seconds), 'f', 6);
    const char* command[] = {"seek", target.constData(), "absolute+exact", nullptr};
    accepted(mpv_command(d->handle.get(), command), "to seek");
}

void FilterGraph::StepFrame(bool forward) {
    if (!HasMedia())
        return;
    if (IsPlaying())
        Pause();
    const char* command[] = {forward ? "frame-step" : "frame-back-step", nullptr};
    accepted(mpv_command(d->handle.get(), command), "to step a frame");
}

void FilterGraph::SeekKeyframe(bool forward) {
    if (!HasMedia())
        return;
    // A keyframe seek by a hair goes to the keyframe at or before (after) that place; the hair
    // keeps a frame that is itself a keyframe from being found again.
    const char* command[] = {"seek", forward ? "0.01" : "-0.01", "relative+keyframes", nullptr};
    accepted(mpv_command(d->handle.get(), command), "to seek");
}

QImage FilterGraph::GrabFrame() const {
    if (!HasMedia())
        return {};
    const char* command[] = {"screenshot-raw", "video", nullptr};
    NodeResult result;
    if (mpv_command_ret(d->handle.get(), command, &result.node) < 0 ||
        result.node.format != MPV_FORMAT_NODE_MAP)
        return {};
    qint64 width = 0;
    qint64 height = 0;
    qint64 stride = 0;
    const mpv_byte_array* data = nullptr;
    QByteArray format;
    const mpv_node_list* map = result.node.u.list;
    for (int i = 0; i < map->num; ++i) {
        const char* key = map->keys[i];
        const mpv_node& value = map->values[i];
        if (value.format == MPV_FORMAT_INT64 && qstrcmp(key, "w") == 0)
            width = value.u.int64;
        else if (value.format == MPV_FORMAT_INT64 && qstrcmp(key, "h") == 0)
            height = value.u.int64;
        else if (value.format == MPV_FORMAT_INT64 && qstrcmp(key, "stride") == 0)
            stride = value.u.int64;
        else if (value.format == MPV_FORMAT_STRING && qstrcmp(key, "format") == 0)
            format = value.u.string;
        else if (value.format == MPV_FORMAT_BYTE_ARRAY && qstrcmp(key, "data") == 0)
            data = value.u.ba;
    }
    // libmpv hands the picture over as bgr0: 32 bits per pixel, what QImage calls RGB32.
    if (!data || format != "bgr0" || width <= 0 || height <= 0 || stride < width * 4 ||
        qint64(data->size) < stride * height)
        return {};
    QImage frame = QImage(static_cast<const uchar*>(data->data), int(width), int(height),
                          int(stride), QImage::Format_RGB32)
                       .copy();
    MakeOpaque(frame);
    return frame;
}

void FilterGraph::settleLoad(const QString& failure) {
    d->pending.reset();
    d->loadTimeout->stop();
    if (failure.isEmpty())
        emit fileOpened();
    else
        emit openFailed(failure);
}

void FilterGraph::giveUpLoad() {
    d->loadTimeout->stop();
    d->pending.reset();
    ++d->openSerial; // a failure still queued for it is dropped
    // The waiting RenderFile calls look again: theirs may have been the load given up.
    for (QEventLoop* loop : std::as_const(d->waitLoops))
        loop->quit();
}

void FilterGraph::failLater(const QString& reason) {
    // From the event loop, as every outcome of a load.
    QMetaObject::invokeMethod(
        this,
        [this, serial = d->openSerial, reason] {
            if (serial == d->openSerial)
                settleLoad(reason);
        },
        Qt::QueuedConnection);
}
