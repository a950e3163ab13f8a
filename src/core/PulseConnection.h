#pragma once

#include "Failure.h"

#include <QLoggingCategory>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <pulse/pulseaudio.h>

// The one owner of a sound-server connection: a libpulse threaded mainloop and its context.
// Capture and playback both stand on it. Every wait has a timeout and ends early when the
// server goes away, so no caller can hang on a dead server.
class PulseConnection {
public:
    // Holds the mainloop lock for its lifetime; every libpulse call outside the mainloop
    // thread must be made under it.
    class Lock {
    public:
        explicit Lock(pa_threaded_mainloop* loop) : loop_(loop) {
            pa_threaded_mainloop_lock(loop_);
        }
        ~Lock() { pa_threaded_mainloop_unlock(loop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    static constexpr std::chrono::milliseconds defaultTimeout{5000};
    static constexpr const char* defaultClientName = "Sonabrix";

    // Why no connection could be made: libpulse's reason, and whether the server was there and
    // turned us away (access refused, a bad cookie) rather than not answering at all.
    struct ConnectFailure : Failure {
        bool accessRefused = false;
    };

    // Connects to the server named by the environment (PULSE_SERVER) or the user's default.
    // Never spawns a server.
    static Result<std::unique_ptr<PulseConnection>, ConnectFailure>
    connect(const QString& clientName, std::chrono::milliseconds timeout = defaultTimeout);

    // Keeps `connection` usable: leaves it alone while it is connected, otherwise replaces it
    // with a new connection named defaultClientName (null when the server can't be reached).
    // Whatever stood on the lost connection must be released before. The outcome is logged in
    // `category`. Nothing when `connection` is usable afterwards.
    static std::optional<ConnectFailure>
    reconnectIfLost(std::unique_ptr<PulseConnection>& connection, const QLoggingCategory& category,
                    std::chrono::milliseconds timeout = defaultTimeout);

    // The text for a server that didn't answer in time.
    static QString noAnswerText();

    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_threaded_mainloop* mainloop() const;
    pa_context* context() const;

    // With the lock held: true while the context is connected and usable.
    bool isConnected() const;

    // With the lock held: waits on the mainloop until `done` is true. Returns false when the
    // timeout passes or the connection is lost first. Callbacks wake it through `signal()`.
    bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // With the lock held: waits for `operation` to finish and releases it. False on timeout or
    // lost connection (the operation is cancelled then).
    bool waitFor(pa_operation* operation, std::chrono::milliseconds timeout = defaultTimeout);

    // With the lock held: asks the server and waits, up to `timeout`, for its answer. `request`
    // makes the libpulse call (such as pa_context_get_server_info) with the callback and userdata
    // it is given; `read(answer, info)` takes what is wanted out of the server's reply. Nothing
    // when the server didn't answer in time or the connection was lost.
    template <typename Answer, typename Info, typename Request, typename Read>
    std::optional<Answer> ask(Request request, Read read,
                              std::chrono::milliseconds timeout = defaultTimeout) {
        return askFor<Answer, Info, false>(std::move(request), std::move(read), timeout);
    }

    // The same for a request answered by a list (such as pa_context_get_sink_info_list): `read`
    // takes each item in turn.
    template <typename Answer, typename Info, typename Request, typename Read>
    std::optional<Answer> askList(Request request, Read read,
                                  std::chrono::milliseconds timeout = defaultTimeout) {
        return askFor<Answer, Info, true>(std::move(request), std::move(read), timeout);
    }

    // From a libpulse callback (mainloop thread): wakes every waiter.
    void signal();

    // With the lock held: the context's last error as text.
    QString lastErrorText() const;

    // With the lock held: why a request failed, as text: the context's error when the
    // connection is gone, otherwise that the server didn't answer.
    QString failureText() const;

    // The server's name and version as it announced them when the connection was made.
    QString serverDescription() const;

    // With the lock held: the name of the server's default output (sink), or why there is none.
    Result<QString> defaultSinkName();

    // Called on the mainloop thread, with the lock held, when an established connection is
    // lost (the server quit or crashed). Keep it thin: flag, signal, post to the main thread.
    void setConnectionLostHandler(std::function<void()> handler);

    // The server's change notices (pa_context_subscribe) for several listeners on the one
    // context, each for the facilities in its mask. Called on the mainloop thread, with the lock
    // held; listen and stop listening with the lock held. Returns the id to stop listening with.
    using ChangeListener = std::function<void(pa_subscription_event_type_t type, uint32_t index)>;
    int listenForChanges(pa_subscription_mask_t mask, ChangeListener listener);
    void stopListening(int id);

private:
    template <typename Answer, typename Info, typename Read> struct Asking {
        PulseConnection* connection;
        Answer answer;
        Read read;

        static void onReply(pa_context*, const Info* info, void* userdata) {
            auto* self = static_cast<Asking*>(userdata);
            if (info)
                self->read(self->answer, *info);
            self->connection->signal();
        }
        static void onItem(pa_context*, const Info* info, int last, void* userdata) {
            auto* self = static_cast<Asking*>(userdata);
            if (last == 0 && info)
                return self->read(self->answer, *info);
            self->connection->signal();
        }
    };

    template <typename Answer, typename Info, bool isList, typename Request, typename Read>
    std::optional<Answer> askFor(Request request, Read read, std::chrono::milliseconds timeout) {
        using Reply = Asking<Answer, Info, Read>;
        Reply asking{this, {}, std::move(read)};
        pa_operation* operation = nullptr;
        if constexpr (isList)
            operation = request(&Reply::onItem, &asking);
        else
            operation = request(&Reply::onReply, &asking);
        if (!waitFor(operation, timeout))
            return std::nullopt;
        return std::move(asking.answer);
    }

    PulseConnection();
    // With the lock held.
    QString queryServerDescription();
    struct State;
    std::unique_ptr<State> state_;
};

// A string libpulse handed over (names, descriptions), empty where it gave none.
inline QString pulseString(const char* utf8) {
    return QString::fromUtf8(utf8 ? utf8 : "");
}

// Human-readable text for a libpulse error code.
QString pulseErrorText(int error);
