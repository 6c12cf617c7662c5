// The reference side of the preview benchmark: libmpv with the software render API and no Qt.
//
// Usage: bare_preview FILE WIDTH HEIGHT
// Prints one "key value" line per figure: the first frame after creating the player and
// loading FILE, ten exact seeks (each from the command to the new frame rendered), the CPU time
// of 10 s of playback, and the peak resident memory.
#include <mpv/client.h>
#include <mpv/render.h>

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Wakeups from libmpv's threads only flag work for the main thread, as a real client does.
struct Signal {
    std::mutex mutex;
    std::condition_variable cv;
    bool frame = false;
    bool events = false;
};

struct Player {
    mpv_handle* handle = nullptr;
    mpv_render_context* render = nullptr;
    Signal signal;
    int width, height;
    size_t stride;
    std::unique_ptr<unsigned char, decltype(&std::free)> buffer{nullptr, &std::free};
    long framesRendered = 0;

    Player(int w, int h) : width(w), height(h), stride(size_t((w * 4 + 63) / 64 * 64)) {
        buffer.reset(static_cast<unsigned char*>(std::aligned_alloc(64, stride * size_t(h))));
        handle = mpv_create();
        for (auto [name, value] :
             {std::pair{"config", "no"},
              {"terminal", "no"},
              {"vo", "libmpv"},
              {"ao", "null"},
              {"hwdec", "no"},
              // The same scaling as the component, so the comparison shows the component's cost.
              {"zimg-scaler", "bilinear"},
              {"sws-scaler", "bilinear"},
              {"keep-open", "yes"},
              {"hr-seek", "yes"},
              {"idle", "yes"},
              {"pause", "yes"},
              {"input-default-bindings", "no"},
              {"osc", "no"}})
            mpv_set_option_string(handle, name, value);
        mpv_initialize(handle);
        char api[] = MPV_RENDER_API_TYPE_SW;
        mpv_render_param params[] = {{MPV_RENDER_PARAM_API_TYPE, api},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
        mpv_render_context_create(&render, handle, params);
        mpv_set_wakeup_callback(
            handle,
            [](void* data) {
                auto* s = static_cast<Signal*>(data);
                std::lock_guard lock(s->mutex);
                s->events = true;
                s->cv.notify_one();
            },
            &signal);
        mpv_render_context_set_update_callback(
            render,
            [](void* data) {
                auto* s = static_cast<Signal*>(data);
                std::lock_guard lock(s->mutex);
                s->frame = true;
                s->cv.notify_one();
            },
            &signal);
    }
    ~Player() {
        mpv_render_context_set_update_callback(render, nullptr, nullptr);
        mpv_render_context_free(render);
        mpv_terminate_destroy(handle);
    }

    // Runs the client loop until `until` returns true or timeoutMs passes; renders each frame.
    template <class Until> bool loop(double timeoutMs, Until until) {
        const auto start = Clock::now();
        while (msSince(start) < timeoutMs) {
            bool frame = false, events = false;
            {
                std::unique_lock lock(signal.mutex);
                signal.cv.wait_for(lock, std::chrono::milliseconds(10),
                                   [&] { return signal.frame || signal.events; });
                std::swap(frame, signal.frame);
                std::swap(events, signal.events);
            }
            if (events)
                while (mpv_wait_event(handle, 0)->event_id != MPV_EVENT_NONE) {
                }
            if (frame && (mpv_render_context_update(render) & MPV_RENDER_UPDATE_FRAME)) {
                int size[2] = {width, height};
                char format[] = "bgr0";
                mpv_render_param params[] = {{MPV_RENDER_PARAM_SW_SIZE, size},
                                             {MPV_RENDER_PARAM_SW_FORMAT, format},
                                             {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                                             {MPV_RENDER_PARAM_SW_POINTER, buffer.get()},
                                             {MPV_RENDER_PARAM_INVALID, nullptr}};
                mpv_render_context_render(render, params);
                ++framesRendered;
            }
            if (until())
                return true;
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const char* file = argv[1];
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);

    const auto openStart = Clock::now();
    Player player(width, height);
    const char* load[] = {"loadfile", file, "replace", nullptr};
    mpv_command(player.handle, load);
    const char* unpause[] = {"set", "pause", "no", nullptr};
    mpv_command(player.handle, unpause);
    if (!player.loop(10000, [&] { return player.framesRendered > 0; })) {
        std::fprintf(stderr, "no first frame\n");
        return 1;
    }
    std::printf("first_frame_ms %.1f\n", msSince(openStart));

    // Ten seconds of preview from the first frame on.
    const double cpuBefore = cpuSeconds();
    const long framesBefore = player.framesRendered;
    player.loop(10000, [] { return false; });
    std::printf("play10s_cpu_s %.2f\n", cpuSeconds() - cpuBefore);
    std::printf("play10s_frames %ld\n", player.framesRendered - framesBefore);

    const char* pause[] = {"set", "pause", "yes", nullptr};
    mpv_command(player.handle, pause);
    player.loop(300, [] { return false; });
    const std::vector<std::string> targets = {"1.3",  "7.7",  "3.1", "15.2", "0.5",
                                              "11.9", "18.4", "5.5", "9.0",  "13.3"};
    // Paused, frames come only from the seek: the last one within 800 ms is the sought frame
    // (a seek may show an intermediate frame first).
    for (const std::string& target : targets) {
        const auto start = Clock::now();
        const char* seek[] = {"seek", target.c_str(), "absolute+exact", nullptr};
        mpv_command(player.handle, seek);
        double lastFrameMs = -1;
        const long framesBefore = player.framesRendered;
        long frames = framesBefore;
        player.loop(800, [&] {
            if (player.framesRendered != frames) {
                frames = player.framesRendered;
                lastFrameMs = msSince(start);
            }
            return false;
        });
        std::printf("seek_ms %s %.1f frames %ld\n", target.c_str(), lastFrameMs,
                    player.framesRendered - framesBefore);
    }
    std::printf("peak_rss_mb %.1f\n", double(peakRssKb()) / 1024.0);
    return 0;
}
