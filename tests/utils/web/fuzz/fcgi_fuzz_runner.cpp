// Seeded, bounded run of the FastCGI parser harness, for CTest: record streams as a web server
// would send them (several requests, parameter streams cut anywhere, long lengths, aborts, other
// types), mutated and mixed with raw noise, in random chunkings. Any invariant violation aborts.
//
//   fcgi_fuzz_runner [iterations [seed]]      (defaults: 20000, 0x7e50)
//   fcgi_fuzz_runner --corpus DIR             writes a few valid inputs as libFuzzer seeds
#include "fcgiharness.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <chrono>
#include <random>

namespace {

class Generator
{
public:
    explicit Generator(uint64_t seed)
        : m_random(seed)
    {}

    uint32_t below(uint32_t n) { return n == 0 ? 0 : uint32_t(m_random() % n); }
    char byte() { return char(m_random()); }
    bool chance(uint32_t oneIn) { return below(oneIn) == 0; }

    QByteArray randomBytes(int maxLength)
    {
        QByteArray bytes(int(below(uint32_t(maxLength) + 1)), '\0');
        for (char &b : bytes)
            b = byte();
        return bytes;
    }

    static QByteArray record(int type, int id, const QByteArray &content, int padding)
    {
        QByteArray r;
        r.append(char(1)).append(char(type)).append(char(id >> 8)).append(char(id));
        r.append(char(content.size() >> 8)).append(char(content.size()));
        r.append(char(padding)).append(char(0)).append(content).append(QByteArray(padding, 0));
        return r;
    }

    QByteArray anyRecord(int type, int id, const QByteArray &content)
    {
        // Mostly the padding a writer would choose, sometimes any.
        const int padding = chance(5) ? int(below(256)) : (8 - content.size() % 8) % 8;
        return record(type, id, content.left(65535), padding);
    }

    QByteArray length(uint32_t n)
    {
        if (n < 128 && !chance(4))
            return QByteArray(1, char(n));
        QByteArray l;
        l.append(char(0x80 | (n >> 24))).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
        return l;
    }

    QByteArray paramsStream()
    {
        static const char *names[] = {"SCRIPT_NAME", "REQUEST_METHOD", "SIZE", "ERR", "ECHO", ""};
        QByteArray stream;
        for (uint32_t i = 0, n = below(8); i < n; ++i) {
            const QByteArray name = chance(4) ? randomBytes(40) : QByteArray(names[below(6)]);
            QByteArray value = chance(3) ? QByteArray::number(below(140000)) : randomBytes(300);
            if (chance(40))
                value = QByteArray(int(below(70000)), 'v');
            const uint32_t nameLength = chance(30) ? uint32_t(m_random()) : uint32_t(name.size());
            stream += length(nameLength) + length(uint32_t(value.size())) + name + value;
        }
        return stream;
    }

    QByteArray request(int id)
    {
        QByteArray body(8, '\0');
        body[1] = char(chance(20) ? below(4) : 1);
        body[2] = char(chance(3) ? 1 : 0);
        QByteArray out = anyRecord(1, id, chance(20) ? body.left(int(below(8))) : body);
        const QByteArray stream = paramsStream();
        // The stream cut at random points into PARAMS records.
        for (int pos = 0; pos < stream.size();) {
            const int n = qMin(stream.size() - pos, 1 + int(below(uint32_t(stream.size()))));
            out += anyRecord(4, id, stream.mid(pos, n));
            pos += n;
        }
        out += anyRecord(4, id, {});
        if (chance(4))
            out += anyRecord(5, id, randomBytes(100));
        switch (below(8)) {
        case 0:
            out += anyRecord(2, id, {});
            break;
        case 1:
            out += anyRecord(int(below(16)), chance(3) ? 0 : id, randomBytes(16));
            break;
        default:
            break;
        }
        out += anyRecord(5, id, {});
        return out;
    }

    QByteArray input()
    {
        QByteArray stream;
        if (chance(10)) {
            stream = randomBytes(2000);
        } else {
            for (uint32_t i = 0, n = 1 + below(4); i < n; ++i)
                stream += request(chance(2) ? 1 : int(below(65536)));
        }
        for (uint32_t i = 0, n = chance(2) ? 0 : below(4); i < n && !stream.isEmpty(); ++i) {
            const int at = int(below(uint32_t(stream.size())));
            switch (below(4)) {
            case 0:
                stream[at] = char(stream[at] ^ char(1u << below(8)));
                break;
            case 1:
                stream.truncate(at);
                break;
            case 2:
                stream.insert(at, randomBytes(12));
                break;
            default:
                stream.remove(at, int(below(16)));
                break;
            }
        }
        QByteArray seed(2, '\0');
        seed[0] = byte();
        seed[1] = byte();
        return seed + stream;
    }

private:
    std::mt19937_64 m_random;
};

int writeCorpus(const QString &dir)
{
    QDir().mkpath(dir);
    Generator generator(1);
    for (int i = 0; i < 32; ++i) {
        QFile file(QStringLiteral("%1/seed%2").arg(dir).arg(i));
        const QByteArray input = generator.input();
        if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size())
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--corpus") == 0)
        return writeCorpus(QString::fromLocal8Bit(argv[2]));
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 0) : 20000;
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 0x7e50;
    fcgifuzz::ensureApplication();
    // Hostile input makes the parser's diagnostic lines by the thousand; warnings still show.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    Generator generator(seed);
    const auto started = std::chrono::steady_clock::now();
    for (long i = 0; i < iterations; ++i) {
        const QByteArray input = generator.input();
        fcgifuzz::runHarness(reinterpret_cast<const uint8_t *>(input.constData()),
                             size_t(input.size()));
    }
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("fcgi_fuzz_runner: %ld inputs, seed 0x%llx, %.1f s\n", iterations,
                static_cast<unsigned long long>(seed), seconds);
    return 0;
}
