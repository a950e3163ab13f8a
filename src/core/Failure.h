#pragma once

#include <QString>
#include <optional>
#include <utility>
#include <variant>

// Something the user asked for failed, and they are told: what was being done, in the app's
// words ("Couldn't start capture"), and why, in the words the cause came with (libpulse's,
// libsndfile's, FFmpeg's, the system's) or the app's own. Either may be empty.
struct Failure {
    QString operation;
    QString reason;

    // A failure known only by its reason, for a caller to say what it was doing.
    static Failure because(QString reason) { return {QString(), std::move(reason)}; }

    // This failure as the cause of `outerOperation`: what it says becomes the reason.
    Failure within(QString outerOperation) const { return {std::move(outerOperation), message()}; }

    // The text shown: "operation: reason", or, after an operation that is a sentence of its own,
    // the reason as the next one; either part alone when the other is empty.
    QString message() const;

    bool operator==(const Failure&) const = default;
};

// A value, or why there is none. An operation without a value gives std::optional<Failure>:
// nothing when it succeeded.
template <typename T, typename F = Failure> class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(F failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const F& failure() const { return std::get<1>(state_); }

private:
    std::variant<T, F> state_;
};
