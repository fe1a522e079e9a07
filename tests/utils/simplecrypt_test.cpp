#include "utils/simplecrypt.h"

#include <QCryptographicHash>
#include <QSet>

#include <gtest/gtest.h>

namespace {

constexpr quint64 Key = 0x0c2ad4a4acb9f023ULL;

TEST(SimpleCrypt, RoundTripsInEveryMode)
{
    const QString secret = QStringLiteral("pässwörd-123 with a longer tail tail tail tail tail");
    for (auto compression : {SimpleCrypt::CompressionAuto, SimpleCrypt::CompressionAlways,
                             SimpleCrypt::CompressionNever}) {
        for (auto protection : {SimpleCrypt::ProtectionNone, SimpleCrypt::ProtectionChecksum,
                                SimpleCrypt::ProtectionHash}) {
            SimpleCrypt crypt(Key);
            crypt.setCompressionMode(compression);
            crypt.setIntegrityProtectionMode(protection);
            const QString cipher = crypt.encryptToString(secret);
            EXPECT_EQ(crypt.lastError(), SimpleCrypt::ErrorNoError);
            EXPECT_NE(cipher, secret);
            EXPECT_EQ(SimpleCrypt(Key).decryptToString(cipher), secret)
                << "compression " << compression << " protection " << protection;
        }
    }
    SimpleCrypt crypt(Key);
    EXPECT_EQ(crypt.decryptToString(crypt.encryptToString(QString())), QString());
}

TEST(SimpleCrypt, LayoutCarriesVersionAndFlags)
{
    SimpleCrypt crypt(Key);
    const QByteArray shortText = crypt.encryptToByteArray("abc");
    ASSERT_EQ(shortText.size(), 2 + 1 + 2 + 3) << "version, flags, random byte, CRC-16, text";
    EXPECT_EQ(shortText.at(0), 3);
    EXPECT_EQ(shortText.at(1), SimpleCrypt::CryptoFlagChecksum) << "a short text is not compressed";

    const QByteArray repetitive(500, 'a');
    const QByteArray compressed = crypt.encryptToByteArray(repetitive);
    EXPECT_EQ(compressed.at(1),
              SimpleCrypt::CryptoFlagChecksum | SimpleCrypt::CryptoFlagCompression);
    EXPECT_LT(compressed.size(), 100);

    crypt.setCompressionMode(SimpleCrypt::CompressionAlways);
    crypt.setIntegrityProtectionMode(SimpleCrypt::ProtectionHash);
    const QByteArray hashed = crypt.encryptToByteArray("abc");
    EXPECT_EQ(hashed.at(1), SimpleCrypt::CryptoFlagHash | SimpleCrypt::CryptoFlagCompression);
    EXPECT_EQ(hashed.size(), 2 + 1 + 20 + qCompress(QByteArray("abc"), 9).size());

    crypt.setCompressionMode(SimpleCrypt::CompressionNever);
    crypt.setIntegrityProtectionMode(SimpleCrypt::ProtectionNone);
    EXPECT_EQ(crypt.encryptToByteArray(repetitive).at(1), SimpleCrypt::CryptoFlagNone);
}

// The body of a cipher text with the key chain undone by hand.
QByteArray unchained(const QByteArray &cipher)
{
    QByteArray body = cipher.mid(2);
    char last = 0;
    for (int i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        body[i] = char(c ^ char((Key >> (8 * (i % 8))) & 0xff) ^ last);
        last = c;
    }
    return body;
}

TEST(SimpleCrypt, BodyIsChainedWithTheKey)
{
    // The plain bytes must appear after the random byte and checksum.
    SimpleCrypt crypt(Key);
    crypt.setCompressionMode(SimpleCrypt::CompressionNever);
    const QByteArray plain("incubator");
    const QByteArray body = unchained(crypt.encryptToByteArray(plain));
    EXPECT_EQ(body.mid(3), plain);
    const quint16 sum = qChecksum(plain.constData(), uint(plain.size()));
    EXPECT_EQ(quint8(body.at(1)), sum >> 8) << "big-endian checksum";
    EXPECT_EQ(quint8(body.at(2)), sum & 0xff);

    // With a hash, the 20 bytes of SHA-1 of the compressed bytes, then the compressed bytes.
    crypt.setCompressionMode(SimpleCrypt::CompressionAlways);
    crypt.setIntegrityProtectionMode(SimpleCrypt::ProtectionHash);
    const QByteArray hashed = unchained(crypt.encryptToByteArray(plain));
    const QByteArray compressed = qCompress(plain, 9);
    EXPECT_EQ(hashed.mid(1, 20), QCryptographicHash::hash(compressed, QCryptographicHash::Sha1));
    EXPECT_EQ(hashed.mid(21), compressed);
}

TEST(SimpleCrypt, SameTextEncryptsDifferently)
{
    SimpleCrypt crypt(Key);
    QSet<QString> ciphers;
    for (int i = 0; i < 8; ++i) {
        const QString cipher = crypt.encryptToString("secret");
        EXPECT_EQ(crypt.decryptToString(cipher), "secret");
        ciphers.insert(cipher);
    }
    EXPECT_GT(ciphers.size(), 1) << "the random first byte changes every following byte";
}

TEST(SimpleCrypt, FailuresGiveEmptyResultsAndAnError)
{
    SimpleCrypt noKey;
    EXPECT_TRUE(noKey.encryptToByteArray("x").isEmpty());
    EXPECT_EQ(noKey.lastError(), SimpleCrypt::ErrorNoKeySet);
    EXPECT_TRUE(noKey.decryptToString("AwI=").isEmpty());
    EXPECT_EQ(noKey.lastError(), SimpleCrypt::ErrorNoKeySet);

    SimpleCrypt crypt(Key);
    QByteArray cipher = crypt.encryptToByteArray("secret");
    cipher[0] = 2;
    EXPECT_TRUE(crypt.decryptToByteArray(cipher).isEmpty());
    EXPECT_EQ(crypt.lastError(), SimpleCrypt::ErrorUnknownVersion);
    EXPECT_TRUE(crypt.decryptToString("plain text, not Base64 cipher").isEmpty());

    cipher = crypt.encryptToByteArray("secret");
    cipher[cipher.size() - 1] = char(cipher.at(cipher.size() - 1) ^ 0x01);
    EXPECT_TRUE(crypt.decryptToByteArray(cipher).isEmpty());
    EXPECT_EQ(crypt.lastError(), SimpleCrypt::ErrorIntegrityFailed);

    crypt.setIntegrityProtectionMode(SimpleCrypt::ProtectionHash);
    cipher = crypt.encryptToByteArray("secret");
    cipher[5] = char(cipher.at(5) ^ 0x40);
    EXPECT_TRUE(crypt.decryptToByteArray(cipher).isEmpty());
    EXPECT_EQ(crypt.lastError(), SimpleCrypt::ErrorIntegrityFailed);

    // Too short for the integrity block it announces.
    EXPECT_TRUE(crypt.decryptToByteArray(QByteArray("\x03\x02\x11", 3)).isEmpty());
    EXPECT_EQ(crypt.lastError(), SimpleCrypt::ErrorIntegrityFailed);
    EXPECT_TRUE(crypt.decryptToByteArray(QByteArray("\x03\x04\x11\x22", 4)).isEmpty());
    EXPECT_EQ(crypt.lastError(), SimpleCrypt::ErrorIntegrityFailed);
    EXPECT_TRUE(crypt.decryptToByteArray(QByteArray("\x03", 1)).isEmpty());

    // Another key cannot read it.
    const QString text = SimpleCrypt(Key).encryptToString("secret");
    SimpleCrypt other(Key + 1);
    EXPECT_NE(other.decryptToString(text), "secret");
}

} // namespace
