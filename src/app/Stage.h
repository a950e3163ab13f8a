#pragma once

#include "Waveform.h"

#include <QString>
#include <variant>

// Where the main view is on the road of one recording.
class Stage {
public:
    struct Idle {};
    struct Recording {};
    struct Analyzing {
        QString path;
    };
    struct Recorded {
        QString path;
        Waveform::Data waveform;
    };

    static Stage idle() { return Stage(Idle{}); }
    static Stage recording() { return Stage(Recording{}); }
    static Stage analyzing(QString path) { return Stage(Analyzing{std::move(path)}); }
    static Stage recorded(QString path, Waveform::Data waveform) {
        return Stage(Recorded{std::move(path), std::move(waveform)});
    }

    // The stage's small integer, by case only: idle 0, recording 1, analysing 2, recorded 3.
    int index() const { return static_cast<int>(value_.index()); }

    template <typename Case> bool is() const { return std::holds_alternative<Case>(value_); }
    template <typename Case> const Case* as() const { return std::get_if<Case>(&value_); }

private:
    using Value = std::variant<Idle, Recording, Analyzing, Recorded>;
    explicit Stage(Value value) : value_(std::move(value)) {}

    Value value_;
};
