#pragma once

#include "TimeRange.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

// Where the main view is on the road of one recording, and which recording that is: its file
// (the recording's identity), when it was started, and the selection it opened with.
class Stage {
    Q_GADGET

public:
    enum class Kind { idle, recording, analysing, recorded };
    Q_ENUM(Kind)

    Kind kind = Kind::idle;
    QString path;
    // None when unknown: a file named in no list.
    std::optional<QDateTime> date;
    TimeRange range;

    static Stage idle() { return {}; }
    static Stage recording() { return {Kind::recording, {}, {}, {}}; }
    static Stage analysing(QString path, std::optional<QDateTime> date) {
        return {Kind::analysing, std::move(path), std::move(date), {}};
    }
    static Stage recorded(Stage analysed, TimeRange range) {
        analysed.kind = Kind::recorded;
        analysed.range = range;
        return analysed;
    }

    bool is(Kind other) const { return kind == other; }
    // The kind's name, for the log.
    static const char* name(Kind kind);
};
