#include "Failure.h"

#include <QCoreApplication>

QString Failure::message() const {
    if (reason.isEmpty())
        return operation;
    if (operation.isEmpty())
        return reason;
    const QChar last = operation.back();
    if (last == u'.' || last == u'!' || last == u'?' || last == u'…')
        return operation + u' ' +
               QCoreApplication::translate("Failure", "The reason given: %1").arg(reason);
    return operation + QStringLiteral(": ") + reason;
}
