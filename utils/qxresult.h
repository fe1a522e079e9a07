// The result of an operation that can fail. An empty handle means success; an error carries a
// code, a message a user can act on, and optionally the inner error that caused it. Copies share
// the error data.
#pragma once

#include <QExplicitlySharedDataPointer>
#include <QMetaType>
#include <QSharedData>
#include <QString>

class QDebug;
class QxErrorData;

class QxResult
{
public:
    // Success.
    QxResult() = default;
    // true: success; false: an error with code 1 and no message.
    QxResult(bool success);
    // An error with code 1.
    explicit QxResult(const QString &message, const QxResult &cause = QxResult());
    // Without it a string literal would convert to bool and make a message-less error.
    explicit QxResult(const char *message, const QxResult &cause = QxResult())
        : QxResult(QString::fromUtf8(message), cause)
    {}
    QxResult(int code, const QString &message, const QxResult &cause = QxResult());

    static QxResult success() { return QxResult(); }
    static QxResult failure() { return QxResult(false); }

    bool isSuccess() const { return !d; }
    bool isError() const { return d; }

    // Code of the outermost error; 0 on success.
    int code() const;
    // Text of the outermost error; empty on success.
    QString message() const;
    // The inner error; success when there is none.
    QxResult cause() const;
    // The messages of the outermost error and of each inner cause in turn.
    QString toString(const QString &separator = QStringLiteral("\n")) const;

    bool operator==(const QxResult &other) const { return d == other.d; }
    bool operator!=(const QxResult &other) const { return d != other.d; }

private:
    QExplicitlySharedDataPointer<QxErrorData> d;
};

// Shared error data; a subclass may carry more.
class QxErrorData : public QSharedData
{
public:
    QxErrorData() = default;
    QxErrorData(int code, const QString &message, const QxResult &cause)
        : code(code)
        , message(message)
        , cause(cause)
    {}
    virtual ~QxErrorData() = default;

    int code = 1;
    QString message;
    QxResult cause; // success when there is no inner error
};

// "(success)" or "(error:" and the messages of the cause chain on indented lines, then ")".
QDebug operator<<(QDebug debug, const QxResult &result);

Q_DECLARE_METATYPE(QxResult)

// Registers the type under the name "QxResult" for variants and queued signals; idempotent.
void registerQxResultMetaType();
