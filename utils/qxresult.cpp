#include "qxresult.h"

#include <QDebug>
#include <QStringList>

QxResult::QxResult(bool success)
{
    if (!success)
        d = new QxErrorData;
}

QxResult::QxResult(const QString &message, const QxResult &cause)
    : d(new QxErrorData(1, message, cause))
{}

QxResult::QxResult(int code, const QString &message, const QxResult &cause)
    : d(new QxErrorData(code, message, cause))
{}

int QxResult::code() const
{
    return d ? d->code : 0;
}

QString QxResult::message() const
{
    return d ? d->message : QString();
}

QxResult QxResult::cause() const
{
    return d ? d->cause : QxResult();
}

QString QxResult::toString(const QString &separator) const
{
    QStringList messages;
    for (QxResult r = *this; r.isError(); r = r.cause())
        messages << r.message();
    return messages.join(separator);
}

QDebug operator<<(QDebug debug, const QxResult &result)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote();
    if (result.isSuccess())
        debug << "(success)";
    else
        debug << "(error:" << result.toString(QStringLiteral("\n\t")) << ")";
    return debug;
}

void registerQxResultMetaType()
{
    qRegisterMetaType<QxResult>("QxResult");
}

// Registered at load time, before any signal could carry one.
Q_CONSTRUCTOR_FUNCTION(registerQxResultMetaType)
