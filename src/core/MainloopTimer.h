#pragma once

#include <chrono>
#include <functional>
#include <pulse/pulseaudio.h>

// A repeating timer on a sound-server connection's mainloop thread: `onTick` runs there, with
// the mainloop lock held, every `interval`. Made and destroyed with the lock held.
class MainloopTimer {
public:
    MainloopTimer(pa_context* context, pa_mainloop_api* api, std::chrono::microseconds interval,
                  std::function<void()> onTick);
    ~MainloopTimer();
    MainloopTimer(const MainloopTimer&) = delete;
    MainloopTimer& operator=(const MainloopTimer&) = delete;

private:
    static void fire(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata);

    pa_context* context_;
    pa_mainloop_api* api_;
    pa_usec_t interval_;
    std::function<void()> onTick_;
    pa_time_event* event_ = nullptr;
};
