#include "OutputFollower.h"

#include "Logging.h"
#include "PulseConnection.h"

OutputFollower::OutputFollower(PulseConnection& connection, CaptureOutput current,
                               ReopenHandler reopen, MovedHandler moved)
    : connection_(connection), current_(std::move(current)), reopen_(std::move(reopen)),
      moved_(std::move(moved)) {
    // The default output is one of the server's own settings: its change is a server event.
    listener_ = connection_.listenForChanges(
        PA_SUBSCRIPTION_MASK_SERVER,
        [this](pa_subscription_event_type_t, uint32_t) { lookUpDefault(); });
    // The default may have changed between the output being chosen and this subscription.
    lookUpDefault();
}

OutputFollower::~OutputFollower() {
    connection_.stopListening(listener_);
    if (inFlight_) {
        pa_operation_cancel(inFlight_);
        pa_operation_unref(inFlight_);
    }
}

void OutputFollower::track(pa_operation* operation) {
    // The one in flight has finished when its callback starts the next.
    if (inFlight_)
        pa_operation_unref(inFlight_);
    inFlight_ = operation;
}

void OutputFollower::lookUpDefault() {
    if (inFlight_ || reopening_) {
        lookAgain_ = true;
        return;
    }
    track(pa_context_get_server_info(connection_.context(), &OutputFollower::onServerInfo, this));
    if (!inFlight_)
        qCWarning(lcCapture).noquote() << "Couldn't ask the sound server for its default output:"
                                       << connection_.lastErrorText();
}

void OutputFollower::done() {
    track(nullptr);
    if (std::exchange(lookAgain_, false))
        lookUpDefault();
}

void OutputFollower::onServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<OutputFollower*>(userdata);
    if (const QString source = info ? pulseString(info->default_source_name) : QString();
        source != self->defaultSource_) {
        if (!self->defaultSource_.isEmpty())
            qCInfo(lcCapture).noquote().nospace()
                << "The default input is now " << source << "; the capture stays on "
                << self->current_.monitorSourceName;
        self->defaultSource_ = source;
    }
    const QString sink = info ? pulseString(info->default_sink_name) : QString();
    if (sink.isEmpty() || sink == self->current_.name)
        return self->done();
    qCInfo(lcCapture).noquote() << "The default output is now" << sink;
    self->target_ = {};
    self->track(pa_context_get_sink_info_by_name(context, sink.toUtf8().constData(),
                                                 &OutputFollower::onSinkInfo, self));
    if (!self->inFlight_)
        self->done();
}

void OutputFollower::onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* userdata) {
    auto* self = static_cast<OutputFollower*>(userdata);
    if (info && last == 0) {
        self->target_ = {pulseString(info->name), pulseString(info->monitor_source_name),
                         pulseString(info->description)};
        return;
    }
    // Gone again, or not a sink we can hear: the recording stays where it is.
    if (last < 0 || self->target_.monitorSourceName.isEmpty()) {
        qCWarning(lcCapture).noquote()
            << "Couldn't follow the default output:" << self->connection_.lastErrorText();
        return self->done();
    }
    // The sink's answer has ended; the reopening is a conversation of its own.
    self->track(nullptr);
    self->reopening_ = true;
    if (!self->reopen_(self->target_))
        self->reopened(false);
}

void OutputFollower::reopened(bool success) {
    if (!reopening_)
        return;
    reopening_ = false;
    if (success) {
        current_ = target_;
        qCInfo(lcCapture).noquote().nospace()
            << "Capture moved to output " << current_.name << " (" << current_.description
            << ") through " << current_.monitorSourceName;
        if (moved_)
            moved_(current_);
    } else {
        qCWarning(lcCapture).noquote()
            << "Couldn't move the capture to" << target_.monitorSourceName << ":"
            << connection_.lastErrorText();
    }
    done();
}
