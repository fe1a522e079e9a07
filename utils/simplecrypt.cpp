#include "utils/simplecrypt.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtDebug>

namespace {

constexpr int ChecksumSize = 2;
constexpr int HashSize = 20; // SHA-1

} // namespace

SimpleCrypt::SimpleCrypt(quint64 key)
{
    setKey(key);
}

void SimpleCrypt::setKey(quint64 key)
{
    m_key = key;
    m_keyParts.clear();
    for (int i = 0; i < 8; ++i)
        m_keyParts.append(char((key >> (8 * i)) & 0xff));
}

QByteArray SimpleCrypt::encryptToByteArray(const QByteArray &plain)
{
    if (m_keyParts.isEmpty()) {
        qWarning("SimpleCrypt::encryptToByteArray: No key set.");
        m_lastError = ErrorNoKeySet;
        return QByteArray();
    }

    QByteArray bytes = plain;
    char flags = CryptoFlagNone;
    if (m_compressionMode == CompressionAlways) {
        bytes = qCompress(bytes, 9);
        flags |= CryptoFlagCompression;
    } else if (m_compressionMode == CompressionAuto) {
        const QByteArray compressed = qCompress(bytes, 9);
        if (compressed.size() < bytes.size()) {
            bytes = compressed;
            flags |= CryptoFlagCompression;
        }
    }

    QByteArray integrity;
    if (m_protectionMode == ProtectionChecksum) {
        flags |= CryptoFlagChecksum;
        const quint16 sum = qChecksum(bytes.constData(), uint(bytes.size()));
        integrity.append(char(sum >> 8));
        integrity.append(char(sum & 0xff));
    } else if (m_protectionMode == ProtectionHash) {
        flags |= CryptoFlagHash;
        integrity = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
    }

    // The random first byte makes two encryptions of the same text differ throughout, because
    // every following byte is chained to it.
    QByteArray body;
    body.reserve(1 + integrity.size() + bytes.size());
    body.append(char(QRandomGenerator::global()->bounded(256)));
    body.append(integrity);
    body.append(bytes);

    char last = 0;
    for (int i = 0; i < body.size(); ++i) {
        body[i] = char(body.at(i) ^ m_keyParts.at(i % 8) ^ last);
        last = body.at(i);
    }

    QByteArray result;
    result.reserve(2 + body.size());
    result.append(Version);
    result.append(flags);
    result.append(body);
    m_lastError = ErrorNoError;
    return result;
}

QByteArray SimpleCrypt::decryptToByteArray(const QByteArray &cipher)
{
    if (m_keyParts.isEmpty()) {
        qWarning("SimpleCrypt::decryptToByteArray: No key set.");
        m_lastError = ErrorNoKeySet;
        return QByteArray();
    }
    if (cipher.isEmpty()) {
        m_lastError = ErrorNoError;
        return QByteArray();
    }
    if (cipher.at(0) != Version) {
        qWarning("SimpleCrypt::decryptToByteArray: Invalid version or not a cyphertext.");
        m_lastError = ErrorUnknownVersion;
        return QByteArray();
    }
    // A version byte alone has no flags; it decrypts to nothing rather than reading past the end.
    const char flags = cipher.size() > 1 ? cipher.at(1) : char(CryptoFlagNone);
    QByteArray body = cipher.mid(2);

    char last = 0;
    for (int i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        body[i] = char(c ^ m_keyParts.at(i % 8) ^ last);
        last = c;
    }
    body.remove(0, 1); // the random byte

    if (flags & CryptoFlagChecksum) {
        if (body.size() < ChecksumSize) {
            m_lastError = ErrorIntegrityFailed;
            return QByteArray();
        }
        const quint16 stored = quint16((quint8(body.at(0)) << 8) | quint8(body.at(1)));
        body.remove(0, ChecksumSize);
        if (stored != qChecksum(body.constData(), uint(body.size()))) {
            m_lastError = ErrorIntegrityFailed;
            return QByteArray();
        }
    }
    if (flags & CryptoFlagHash) {
        if (body.size() < HashSize) {
            m_lastError = ErrorIntegrityFailed;
            return QByteArray();
        }
        const QByteArray stored = body.left(HashSize);
        body.remove(0, HashSize);
        if (stored != QCryptographicHash::hash(body, QCryptographicHash::Sha1)) {
            m_lastError = ErrorIntegrityFailed;
            return QByteArray();
        }
    }

    if (flags & CryptoFlagCompression)
        body = qUncompress(body);

    m_lastError = ErrorNoError;
    return body;
}

QString SimpleCrypt::encryptToString(const QString &plain)
{
    const QByteArray cipher = encryptToByteArray(plain.toUtf8());
    return QString::fromLatin1(cipher.toBase64());
}

QString SimpleCrypt::decryptToString(const QString &cipher)
{
    const QByteArray plain = decryptToByteArray(QByteArray::fromBase64(cipher.toLatin1()));
    return QString::fromUtf8(plain);
}
