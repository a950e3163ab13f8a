#pragma once

#include <QCoreApplication>
#include <QFuture>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <utility>

// Hands a future's result to `receiver` on its thread, and not at all once it is gone. Qt 6.4's
// QFuture::then(context, …) posts to the context even after it was destroyed, which crashes when
// a view closes while its background work is still running. A result that is already there (or
// that arrives on the receiver's thread) is handled at once, as with a direct connection.
template <typename T, typename Function>
void deliverTo(QObject* receiver, QFuture<T> future, Function&& function) {
    QThread* home = receiver->thread();
    future.then([guard = QPointer<QObject>(receiver), home,
                 function = std::forward<Function>(function)](T result) mutable {
        auto deliver = [guard, function = std::move(function),
                        result = std::move(result)]() mutable {
            if (guard)
                function(std::move(result));
        };
        if (QThread::currentThread() == home)
            deliver();
        else
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(deliver),
                                      Qt::QueuedConnection);
    });
}

// A future that already holds `value`. Qt 6.6 renamed the maker and deprecated the old name.
template <typename T> QFuture<std::decay_t<T>> readyFuture(T&& value) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    return QtFuture::makeReadyValueFuture(std::forward<T>(value));
#else
    return QtFuture::makeReadyFuture(std::forward<T>(value));
#endif
}
