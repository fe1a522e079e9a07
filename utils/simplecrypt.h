// Reversible scrambling of short secrets kept in the settings store (the mail-server password).
// It keeps a casual reader from seeing the secret; it is not encryption against an attacker who
// has the program, since the key is compiled in.
//
// Cipher bytes: version (3), flags (bit 0 compressed, bit 1 CRC-16 present, bit 2 SHA-1 present),
// then the body: one random byte, the integrity block, the (possibly compressed) plain bytes, all
// XOR-chained with the key. As text the cipher bytes are Base64.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class SimpleCrypt
{
public:
    enum CompressionMode
    {
        CompressionAuto = 0,
        CompressionAlways = 1,
        CompressionNever = 2
    };
    enum IntegrityProtectionMode
    {
        ProtectionNone = 0,
        ProtectionChecksum = 1,
        ProtectionHash = 2
    };
    enum Error
    {
        ErrorNoError = 0,
        ErrorNoKeySet = 1,
        ErrorUnknownVersion = 2,
        ErrorIntegrityFailed = 3
    };
    enum CryptoFlag
    {
        CryptoFlagNone = 0,
        CryptoFlagCompression = 1,
        CryptoFlagChecksum = 2,
        CryptoFlagHash = 4
    };

    // Without a key every operation fails with ErrorNoKeySet.
    SimpleCrypt() = default;
    explicit SimpleCrypt(quint64 key);

    void setKey(quint64 key);
    bool hasKey() const { return !m_keyParts.isEmpty(); }

    void setCompressionMode(CompressionMode mode) { m_compressionMode = mode; }
    CompressionMode compressionMode() const { return m_compressionMode; }
    void setIntegrityProtectionMode(IntegrityProtectionMode mode) { m_protectionMode = mode; }
    IntegrityProtectionMode integrityProtectionMode() const { return m_protectionMode; }

    // The outcome of the last operation.
    Error lastError() const { return m_lastError; }

    QByteArray encryptToByteArray(const QByteArray &plain);
    QByteArray decryptToByteArray(const QByteArray &cipher);
    // UTF-8 of the text, encrypted, as Base64.
    QString encryptToString(const QString &plain);
    QString decryptToString(const QString &cipher);

    static constexpr char Version = 3;

private:
    quint64 m_key = 0;
    QVector<char> m_keyParts; // byte i of the key, least significant first
    CompressionMode m_compressionMode = CompressionAuto;
    IntegrityProtectionMode m_protectionMode = ProtectionChecksum;
    Error m_lastError = ErrorNoError;
};
