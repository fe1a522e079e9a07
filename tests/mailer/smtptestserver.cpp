#include "smtptestserver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

constexpr int ProcessTimeout = 10000; // ms

// The sender writes Base64 words only.
QString decodeEncodedWords(QString text)
{
    // Folding white space between two encoded words belongs to neither.
    text.replace(QRegularExpression(QStringLiteral("\\?=\\s+=\\?")), QStringLiteral("?==?"));
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([^?]*)\\?="));
    QRegularExpressionMatch m;
    while ((m = word.match(text)).hasMatch())
        text.replace(m.capturedStart(), m.capturedLength(),
                     QString::fromUtf8(QByteArray::fromBase64(m.captured(1).toLatin1())));
    return text;
}

QByteArray decodeQuotedPrintable(const QByteArray &text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.mid(i + 1, 1) == "\n") {
            i += 1; // soft line break
        } else {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        }
    }
    return out;
}

// Splits at the first empty line; header lines unfolded, names lowered.
QMap<QByteArray, QString> readHeaders(const QByteArray &raw, QByteArray *body)
{
    const int end = raw.indexOf("\n\n");
    *body = end < 0 ? QByteArray() : raw.mid(end + 2);
    QMap<QByteArray, QString> headers;
    QByteArray name;
    for (const QByteArray &line : raw.left(end).split('\n')) {
        if (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t') && !name.isEmpty()) {
            headers[name] += QString::fromUtf8(line);
            continue;
        }
        const int colon = line.indexOf(':');
        name = line.left(colon).trimmed().toLower();
        headers[name] = QString::fromUtf8(line.mid(colon + 1).trimmed());
    }
    for (auto it = headers.begin(); it != headers.end(); ++it)
        *it = decodeEncodedWords(*it);
    return headers;
}

} // namespace

ReceivedMail parseMail(const QByteArray &rawInput)
{
    QByteArray raw = rawInput;
    raw.replace("\r\n", "\n");
    ReceivedMail mail;
    mail.raw = rawInput;
    QByteArray body;
    mail.headers = readHeaders(raw, &body);
    const QRegularExpression boundaryPattern(QStringLiteral("boundary=\"?([^\";]+)\"?"));
    const auto boundary = boundaryPattern.match(mail.header("content-type"));
    if (boundary.hasMatch()) {
        const QByteArray delimiter = "--" + boundary.captured(1).toLatin1();
        // The first part after the opening delimiter up to the next delimiter.
        const int start = body.indexOf(delimiter);
        const int next = body.indexOf("\n" + delimiter, start + delimiter.size());
        if (start >= 0 && next > start) {
            const QByteArray part =
                body.mid(start + delimiter.size() + 1, next - start - delimiter.size() - 1);
            QByteArray partBody;
            const auto partHeaders = readHeaders(part, &partBody);
            body = partBody;
            if (partHeaders.value("content-transfer-encoding") == "quoted-printable")
                body = decodeQuotedPrintable(body);
            mail.headers.insert("part-content-type", partHeaders.value("content-type"));
            mail.headers.insert("part-content-disposition",
                                partHeaders.value("content-disposition"));
        }
    }
    mail.body = QString::fromUtf8(body);
    return mail;
}

SmtpTestServer::SmtpTestServer(const Options &options)
{
    QStringList arguments{QStringLiteral(TESSARO_SMTP_SERVER_SCRIPT), QStringLiteral("--maildir"),
                          m_dir.path() + QStringLiteral("/Maildir")};
    if (!options.user.isEmpty())
        arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password")
                  << options.password;
    if (options.startTls || options.smtps)
        arguments << QStringLiteral("--cert") << certificateFile() << QStringLiteral("--key")
                  << keyFile();
    if (options.smtps)
        arguments << QStringLiteral("--smtps");
    for (const QString &address : options.refused)
        arguments << QStringLiteral("--refuse") << address;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // Debian's interpreter, which has aiosmtpd, whatever else comes first on the path.
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    QByteArray output;
    while (m_process.waitForReadyRead(ProcessTimeout)) {
        output += m_process.readAll();
        const auto ready =
            QRegularExpression(QStringLiteral("READY (\\d+)\\n")).match(QString::fromUtf8(output));
        if (ready.hasMatch()) {
            m_port = ready.captured(1).toInt();
            return;
        }
    }
    m_failure = QString::fromUtf8(output + m_process.readAll());
}

SmtpTestServer::~SmtpTestServer()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(ProcessTimeout)) {
        m_process.kill();
        m_process.waitForFinished(ProcessTimeout);
    }
}

QList<ReceivedMail> SmtpTestServer::mails() const
{
    QList<ReceivedMail> result;
    const QDir inbox(m_dir.path() + QStringLiteral("/Maildir/new"));
    for (const QString &name : inbox.entryList(QDir::Files, QDir::Time | QDir::Reversed)) {
        QFile file(inbox.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            result << parseMail(file.readAll());
    }
    return result;
}

namespace {

QString certificateDir()
{
    static QTemporaryDir dir;
    static const bool made = [] {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"),
                       QStringLiteral("-keyout"), dir.filePath(QStringLiteral("key.pem")),
                       QStringLiteral("-out"), dir.filePath(QStringLiteral("cert.pem")),
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
        return openssl.waitForFinished(ProcessTimeout * 3) && openssl.exitCode() == 0;
    }();
    return made ? dir.path() : QString();
}

} // namespace

QString SmtpTestServer::certificateFile()
{
    return certificateDir() + QStringLiteral("/cert.pem");
}

QString SmtpTestServer::keyFile()
{
    return certificateDir() + QStringLiteral("/key.pem");
}
