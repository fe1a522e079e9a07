#include "tsmail.h"

class TsMailData : public QSharedData
{
public:
    QStringList to;
    QStringList cc;
    QStringList bcc;
    QString subject;
    QString body;
    QDateTime sentTime;
    QxResult result;
};

TsMail::TsMail()
    : d(new TsMailData)
{}

TsMail::TsMail(const QString &to, const QString &subject)
    : d(new TsMailData)
{
    d->to << to;
    d->subject = subject;
}

TsMail::TsMail(const TsMail &other) = default;
TsMail &TsMail::operator=(const TsMail &other) = default;
TsMail::~TsMail() = default;

QStringList TsMail::to() const
{
    return d->to;
}

void TsMail::setTo(const QStringList &addresses)
{
    d->to = addresses;
}

QStringList TsMail::cc() const
{
    return d->cc;
}

void TsMail::setCc(const QStringList &addresses)
{
    d->cc = addresses;
}

QStringList TsMail::bcc() const
{
    return d->bcc;
}

void TsMail::setBcc(const QStringList &addresses)
{
    d->bcc = addresses;
}

QString TsMail::subject() const
{
    return d->subject;
}

void TsMail::setSubject(const QString &subject)
{
    d->subject = subject;
}

QString TsMail::body() const
{
    return d->body;
}

void TsMail::setBody(const QString &body)
{
    d->body = body;
}

QDateTime TsMail::sentTime() const
{
    return d->sentTime;
}

void TsMail::setSentTime(const QDateTime &time)
{
    d->sentTime = time;
}

QxResult TsMail::result() const
{
    return d->result;
}

void TsMail::setResult(const QxResult &result)
{
    d->result = result;
}
