#include "PulseConnection.h"

#include <QCoreApplication>
#include <vector>

namespace {

struct MainloopDeleter {
    void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
};
struct ContextDeleter {
    void operator()(pa_context* context) const { pa_context_unref(context); }
};

} // namespace

struct PulseConnection::State {
    std::unique_ptr<pa_threaded_mainloop, MainloopDeleter> mainloop;
    std::unique_ptr<pa_context, ContextDeleter> context;
    bool loopRunning = false;
    bool wasReady = false;
    QString serverDescription;
    std::function<void()> connectionLost;
    struct Listener {
        int id;
        pa_subscription_mask_t mask;
        ChangeListener notify;
    };
    std::vector<Listener> listeners;
    int lastListenerId = 0;

    // The server sends what the union of the masks asks for; each listener hears its own part.
    void subscribe() {
        unsigned mask = PA_SUBSCRIPTION_MASK_NULL;
        for (const Listener& listener : listeners)
            mask |= listener.mask;
        if (pa_operation* operation = pa_context_subscribe(
                context.get(), static_cast<pa_subscription_mask_t>(mask), nullptr, nullptr))
            pa_operation_unref(operation);
    }

    static void onChange(pa_context*, pa_subscription_event_type_t type, uint32_t index,
                         void* userdata) {
        auto* self = static_cast<State*>(userdata);
        const unsigned facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        // A listener may stop listening from its own notice: walk a copy.
        const std::vector<Listener> listeners = self->listeners;
        for (const Listener& listener : listeners)
            if (listener.mask & (1u << facility))
                listener.notify(type, index);
    }

    static void onContextState(pa_context* context, void* userdata) {
        auto* self = static_cast<State*>(userdata);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY)
            self->wasReady = true;
        if (!PA_CONTEXT_IS_GOOD(state) && self->wasReady && self->connectionLost)
            self->connectionLost();
        pa_threaded_mainloop_signal(self->mainloop.get(), 0);
    }

    static void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
        auto* flags = static_cast<std::pair<State*, bool>*>(userdata);
        flags->second = true;
        pa_threaded_mainloop_signal(flags->first->mainloop.get(), 0);
    }
};

PulseConnection::PulseConnection() : state_(std::make_unique<State>()) {}

Result<std::unique_ptr<PulseConnection>, PulseConnection::ConnectFailure>
PulseConnection::connect(const QString& clientName, std::chrono::milliseconds timeout) {
    auto fail = [](const QString& reason, int code = PA_OK) {
        // A server that is there but won't let us in is told apart from one that isn't there.
        return ConnectFailure{Failure::because(reason),
                              code == PA_ERR_ACCESS || code == PA_ERR_AUTHKEY};
    };
    std::unique_ptr<PulseConnection> connection(new PulseConnection);
    State& s = *connection->state_;

    s.mainloop.reset(pa_threaded_mainloop_new());
    if (!s.mainloop)
        return fail(QCoreApplication::translate("PulseConnection",
                                                "Couldn't create the sound-server event loop."));
    s.context.reset(pa_context_new(pa_threaded_mainloop_get_api(s.mainloop.get()),
                                   clientName.toUtf8().constData()));
    if (!s.context)
        return fail(QCoreApplication::translate("PulseConnection",
                                                "Couldn't create a sound-server context."));
    pa_context_set_state_callback(s.context.get(), &State::onContextState, &s);

    // A desktop tool must not start a sound server of its own behind the user's back.
    if (pa_context_connect(s.context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        const int code = pa_context_errno(s.context.get());
        return fail(pulseErrorText(code), code);
    }
    if (pa_threaded_mainloop_start(s.mainloop.get()) < 0)
        return fail(QCoreApplication::translate("PulseConnection",
                                                "Couldn't start the sound-server event loop."));
    s.loopRunning = true;

    Lock lock(s.mainloop.get());
    const bool ready = connection->waitUntil(
        [&s] { return pa_context_get_state(s.context.get()) == PA_CONTEXT_READY; }, timeout);
    if (!ready) {
        const int code = pa_context_errno(s.context.get());
        return fail(code != PA_OK ? pulseErrorText(code) : noAnswerText(), code);
    }
    s.serverDescription = connection->queryServerDescription();
    return connection;
}

std::optional<PulseConnection::ConnectFailure>
PulseConnection::reconnectIfLost(std::unique_ptr<PulseConnection>& connection,
                                 const QLoggingCategory& category,
                                 std::chrono::milliseconds timeout) {
    if (connection) {
        Lock lock(connection->mainloop());
        if (connection->isConnected())
            return std::nullopt;
        qCInfo(category).noquote()
            << "Sound server connection lost:" << connection->lastErrorText();
    }
    connection.reset();
    Result<std::unique_ptr<PulseConnection>, ConnectFailure> made =
        connect(QString::fromUtf8(defaultClientName), timeout);
    if (!made) {
        qCWarning(category).noquote()
            << "Couldn't connect to the sound server:" << made.failure().message();
        return made.failure();
    }
    connection = std::move(made).value();
    qCInfo(category).noquote() << "Connected to the sound server:"
                               << connection->serverDescription();
    return std::nullopt;
}

QString PulseConnection::noAnswerText() {
    return QCoreApplication::translate("PulseConnection", "The sound server didn't answer.");
}

PulseConnection::~PulseConnection() {
    State& s = *state_;
    if (s.context && s.loopRunning) {
        Lock lock(s.mainloop.get());
        s.connectionLost = nullptr;
        pa_context_set_state_callback(s.context.get(), nullptr, nullptr);
        pa_context_disconnect(s.context.get());
    }
    // Stop the loop thread before the objects it runs on go away.
    if (s.loopRunning)
        pa_threaded_mainloop_stop(s.mainloop.get());
    if (s.context && !s.loopRunning)
        pa_context_disconnect(s.context.get());
    s.context.reset();
    s.mainloop.reset();
}

pa_threaded_mainloop* PulseConnection::mainloop() const {
    return state_->mainloop.get();
}

pa_context* PulseConnection::context() const {
    return state_->context.get();
}

bool PulseConnection::isConnected() const {
    return pa_context_get_state(state_->context.get()) == PA_CONTEXT_READY;
}

bool PulseConnection::waitUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
    State& s = *state_;
    if (done())
        return true;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(s.mainloop.get());
    std::pair<State*, bool> expired{&s, false};
    const pa_usec_t deadline =
        pa_rtclock_now() + static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC;
    pa_time_event* timer =
        pa_context_rttime_new(s.context.get(), deadline, &State::onTimeout, &expired);
    bool satisfied = false;
    for (;;) {
        if (done()) {
            satisfied = true;
            break;
        }
        const pa_context_state_t state = pa_context_get_state(s.context.get());
        const bool stillConnecting = PA_CONTEXT_IS_GOOD(state);
        if (expired.second || !stillConnecting)
            break;
        pa_threaded_mainloop_wait(s.mainloop.get());
    }
    if (timer)
        api->time_free(timer);
    return satisfied;
}

bool PulseConnection::waitFor(pa_operation* operation, std::chrono::milliseconds timeout) {
    if (!operation)
        return false;
    const bool finished = waitUntil(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, timeout);
    if (!finished)
        pa_operation_cancel(operation);
    const bool succeeded = finished && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return succeeded;
}

void PulseConnection::signal() {
    pa_threaded_mainloop_signal(state_->mainloop.get(), 0);
}

QString PulseConnection::lastErrorText() const {
    return pulseErrorText(pa_context_errno(state_->context.get()));
}

QString PulseConnection::failureText() const {
    return isConnected() ? noAnswerText() : lastErrorText();
}

QString PulseConnection::serverDescription() const {
    return state_->serverDescription;
}

QString PulseConnection::queryServerDescription() {
    return ask<QString, pa_server_info>(
               [this](pa_server_info_cb_t callback, void* userdata) {
                   return pa_context_get_server_info(context(), callback, userdata);
               },
               [](QString& description, const pa_server_info& info) {
                   description = QStringLiteral("%1 %2").arg(
                       QString::fromUtf8(info.server_name ? info.server_name : "?"),
                       QString::fromUtf8(info.server_version ? info.server_version : "?"));
               })
        .value_or(QString());
}

Result<QString> PulseConnection::defaultSinkName() {
    const auto sink = ask<std::optional<QString>, pa_server_info>(
        [this](pa_server_info_cb_t callback, void* userdata) {
            return pa_context_get_server_info(context(), callback, userdata);
        },
        [](std::optional<QString>& name, const pa_server_info& info) {
            if (info.default_sink_name && *info.default_sink_name)
                name = QString::fromUtf8(info.default_sink_name);
        });
    if (!sink)
        return Failure::because(failureText());
    if (!*sink)
        return Failure::because(QCoreApplication::translate(
            "PulseConnection", "The sound server has no default output."));
    return **sink;
}

void PulseConnection::setConnectionLostHandler(std::function<void()> handler) {
    state_->connectionLost = std::move(handler);
}

int PulseConnection::listenForChanges(pa_subscription_mask_t mask, ChangeListener listener) {
    if (state_->listeners.empty())
        pa_context_set_subscribe_callback(state_->context.get(), &State::onChange, state_.get());
    const int id = ++state_->lastListenerId;
    state_->listeners.push_back({id, mask, std::move(listener)});
    state_->subscribe();
    return id;
}

void PulseConnection::stopListening(int id) {
    std::erase_if(state_->listeners, [id](const State::Listener& l) { return l.id == id; });
    if (state_->listeners.empty())
        pa_context_set_subscribe_callback(state_->context.get(), nullptr, nullptr);
    state_->subscribe();
}

QString pulseErrorText(int error) {
    const char* text = pa_strerror(error);
    return text ? QString::fromUtf8(text) : QString::number(error);
}
