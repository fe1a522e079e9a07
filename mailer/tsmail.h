// One e-mail and the outcome of its last send attempt. Unlike the program's other values, copies
// share one record on purpose: the sending thread writes the result into the record, and whoever
// handed the mail over reads it through their own copy once the mailer reports it sent.
#pragma once

#include "utils/qxresult.h"

#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QMetaType>
#include <QString>
#include <QStringList>

class TsMailData;

class TsMail
{
public:
    // An empty mail with a record of its own.
    TsMail();
    // A mail to one recipient.
    TsMail(const QString &to, const QString &subject);
    TsMail(const TsMail &other);
    TsMail &operator=(const TsMail &other);
    ~TsMail();

    QStringList to() const;
    void setTo(const QStringList &addresses);
    QStringList cc() const;
    void setCc(const QStringList &addresses);
    QStringList bcc() const;
    void setBcc(const QStringList &addresses);
    QString subject() const;
    void setSubject(const QString &subject);
    QString body() const;
    void setBody(const QString &body);

    // When the last send attempt ended; invalid before the first.
    QDateTime sentTime() const;
    void setSentTime(const QDateTime &time);
    // The outcome of the last send attempt; success before the first.
    QxResult result() const;
    void setResult(const QxResult &result);

    // Whether both refer to the same record.
    bool operator==(const TsMail &other) const { return d == other.d; }
    bool operator!=(const TsMail &other) const { return d != other.d; }

private:
    QExplicitlySharedDataPointer<TsMailData> d;
};

Q_DECLARE_METATYPE(TsMail)
