#include "MainloopTimer.h"

MainloopTimer::MainloopTimer(pa_context* context, pa_mainloop_api* api,
                             std::chrono::microseconds interval, std::function<void()> onTick)
    : context_(context), api_(api), interval_(static_cast<pa_usec_t>(interval.count())),
      onTick_(std::move(onTick)),
      event_(pa_context_rttime_new(context, pa_rtclock_now() + interval_, &fire, this)) {}

MainloopTimer::~MainloopTimer() {
    if (event_)
        api_->time_free(event_);
}

void MainloopTimer::fire(pa_mainloop_api*, pa_time_event* event, const struct timeval*,
                         void* userdata) {
    auto* self = static_cast<MainloopTimer*>(userdata);
    // Counted from now: a late turn doesn't bring a burst of catching up.
    pa_context_rttime_restart(self->context_, event, pa_rtclock_now() + self->interval_);
    self->onTick_();
}
