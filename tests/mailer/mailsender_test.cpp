// The sender program's command line and header texts, without a server: what may reach a header
// or an SMTP command, where the password comes from, and how long header lines get.
#include "mimeheader.h"
#include "senderoptions.h"
#include "widetext.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Parses "tessaro-mailsender" followed by the arguments; returns the error text.
std::string parse(const std::vector<std::string> &arguments, SenderOptions &options)
{
    std::vector<const char *> argv{"tessaro-mailsender"};
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    return parseSenderOptions(static_cast<int>(argv.size()), argv.data(), options);
}

std::vector<std::string> minimal()
{
    return {"-smtp", "mail.lab.example", "-from", "scope@lab.example", "-to", "ann@lab.example"};
}

std::vector<std::string> with(std::vector<std::string> arguments, const std::string &option,
                              const std::string &value)
{
    arguments.push_back(option);
    arguments.push_back(value);
    return arguments;
}

std::vector<std::string> flag(std::vector<std::string> arguments, const std::string &option)
{
    arguments.push_back(option);
    return arguments;
}

// Unfolds nothing: the header as it goes out, one entry per line.
QStringList headerLines(const std::string &name, const std::string &value)
{
    return QString::fromStdString(name + ": " + value).split(QStringLiteral("\r\n"));
}

// The bytes of each encoded word in turn.
QList<QByteArray> encodedWordBytes(const std::string &value)
{
    static const QRegularExpression word(QStringLiteral("=\\?[^?]+\\?B\\?([^?]*)\\?="));
    QList<QByteArray> result;
    auto it = word.globalMatch(QString::fromStdString(value));
    while (it.hasNext())
        result << QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return result;
}

struct PasswordVariableGuard
{
    PasswordVariableGuard() { qunsetenv(PasswordVariable); }
    ~PasswordVariableGuard() { qunsetenv(PasswordVariable); }
};

} // namespace

TEST(MailSenderOptions, PasswordComesFromTheEnvironmentUnlessGiven)
{
    PasswordVariableGuard guard;
    SenderOptions options;
    const std::vector<std::string> args = flag(with(minimal(), "-user", "ann"), "-auth");

    std::string error = parse(args, options);
    EXPECT_NE(error.find(PasswordVariable), std::string::npos) << "says where a password goes";

    qputenv(PasswordVariable, "from the environment");
    ASSERT_EQ(parse(args, options), "");
    EXPECT_EQ(options.password, "from the environment");
    EXPECT_TRUE(options.auth);

    ASSERT_EQ(parse(with(args, "-pass", "on the line"), options), "");
    EXPECT_EQ(options.password, "on the line") << "an explicit -pass wins";
}

TEST(MailSenderWideText, ArgumentsAndPasswordArriveAsUtf8)
{
    // What the wide command line of Windows holds: UTF-16 with surrogate pairs.
    EXPECT_EQ(utf8FromUtf16(u"Zellkultur \u00fcber Nacht \u2013 37 \u00b0C"),
              "Zellkultur \xC3\xBC"
              "ber Nacht \xE2\x80\x93 37 \xC2\xB0"
              "C");
    EXPECT_EQ(utf8FromUtf16(u"\U0001F9EB"), "\xF0\x9F\xA7\xAB");
    EXPECT_EQ(utf8FromUtf16(std::u16string{u'a', char16_t(0xD83E), u'b', char16_t(0xDDEB)}),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD")
        << "lone surrogates are replaced, not dropped";

    const wchar_t *argv[] = {L"tessaro-mailsender",
                             L"-smtp",
                             L"mail.lab.example",
                             L"-from",
                             L"scope@lab.example",
                             L"-name",
                             L"Mikroskop R\u00e4um 2",
                             L"-to",
                             L"ann@lab.example",
                             L"-sub",
                             L"\u6e29\u5ea6\u8b66\u62a5 \U0001F9EB"};
    const std::vector<std::string> arguments = utf8Arguments(11, argv);
    std::vector<const char *> narrow;
    for (const std::string &argument : arguments)
        narrow.push_back(argument.c_str());
    PasswordVariableGuard guard;
    qputenv(PasswordVariable, QString::fromUtf8("p\u00e4ss\u20ac").toUtf8());
    SenderOptions options;
    ASSERT_EQ(parseSenderOptions(int(narrow.size()), narrow.data(), options), "");
    EXPECT_EQ(QString::fromStdString(options.name), QString::fromUtf8("Mikroskop R\u00e4um 2"));
    EXPECT_EQ(QString::fromStdString(options.subject),
              QString::fromWCharArray(L"\u6e29\u5ea6\u8b66\u62a5 \U0001F9EB"));
    EXPECT_EQ(QString::fromStdString(options.password), QString::fromUtf8("p\u00e4ss\u20ac"));
}

TEST(MailSenderOptions, LineBreaksNeverReachHeadersOrCommands)
{
    PasswordVariableGuard guard;
    SenderOptions options;
    ASSERT_EQ(parse(minimal(), options), "");

    const std::vector<std::pair<std::string, std::string>> injections = {
        {"-sub", "Alarm\r\nBcc: eve@evil.example"},
        {"-sub", "Alarm\nX-Spam: no"},
        {"-name", "Scope\r\nReply-To: eve@evil.example"},
        {"-from", "scope@lab.example\r\nRCPT TO:<eve@evil.example>"},
        {"-to", "ann@lab.example>\r\nRCPT TO:<eve@evil.example"},
        {"-cc", "bob@lab.example\nData"},
        {"-bc", "eve@evil.example\r"},
        {"-smtp", "mail.lab.example\r\nQUIT"},
        {"-attach", "/tmp/body\r\nX: y.txt,text/plain,i"},
    };
    for (const auto &[option, value] : injections) {
        SCOPED_TRACE(option);
        EXPECT_NE(parse(with(minimal(), option, value), options), "");
    }
    std::vector<std::string> user = with(with(minimal(), "-user", "ann"), "-pass", "pw\r\nQUIT");
    EXPECT_NE(parse(user, options), "");

    // A tab is white space within a header, not the end of one.
    ASSERT_EQ(parse(with(with(minimal(), "-sub", "Stage\t37.0"), "-name", "Scope\t2"), options),
              "");
    EXPECT_EQ(options.subject, "Stage\t37.0");
    EXPECT_EQ(options.name, "Scope\t2");
}

// The mailer's message file may lie in a folder whose name holds commas.
TEST(MailSenderOptions, AttachmentTypeAndDispositionAreTakenFromTheRight)
{
    PasswordVariableGuard guard;
    SenderOptions options;
    auto args = with(minimal(), "-attach", "/tmp/a,b/Body, final.txt,text/plain,i");
    args = with(args, "-attach", "/tmp/data.csv,text/csv,a");
    ASSERT_EQ(parse(args, options), "");
    ASSERT_EQ(options.attachments.size(), 2u);
    EXPECT_EQ(options.attachments[0].path, "/tmp/a,b/Body, final.txt");
    EXPECT_EQ(options.attachments[0].mimeType, "text/plain");
    EXPECT_TRUE(options.attachments[0].inlined);
    EXPECT_EQ(options.attachments[1].mimeType, "text/csv");
    EXPECT_FALSE(options.attachments[1].inlined);
}

TEST(MailSenderHeaders, EncodedWordsKeepLinesShortAndCharactersWhole)
{
    EXPECT_EQ(encodeHeaderText("Tessaro alarm: Stage", "UTF-8"), "Tessaro alarm: Stage");
    EXPECT_NE(encodeHeaderText("looks =?like?= a word", "UTF-8"), "looks =?like?= a word")
        << "a text that a reader would decode is itself encoded";

    std::string subject;
    for (int i = 0; i < 6; ++i)
        subject += "Stufe 2: Temperatur außer Band — prüfen 🌡 ";
    for (const std::string &charset : {std::string("UTF-8"), std::string(40, 'x')}) {
        SCOPED_TRACE(charset);
        const std::string value = encodeHeaderText(subject, charset);
        for (const QString &line : headerLines("Subject", value))
            EXPECT_LE(line.size(), 76) << line.toStdString();
        QByteArray joined;
        for (const QByteArray &bytes : encodedWordBytes(value)) {
            if (charset == "UTF-8") {
                // Every word decodes on its own: no character is split between two.
                EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes);
                EXPECT_NE(static_cast<unsigned char>(bytes.at(0)) & 0xc0, 0x80);
            }
            joined += bytes;
        }
        EXPECT_EQ(joined.toStdString(), subject);
    }

    const std::string from = formatMailbox("Inkubator Bühne 2", "scope@lab.example", "UTF-8");
    EXPECT_EQ(encodedWordBytes(from).value(0), QByteArray("Inkubator Bühne 2"));
    EXPECT_EQ(formatMailbox("Scope \"2\"", "s@lab.example", "UTF-8"),
              "\"Scope \\\"2\\\"\" <s@lab.example>");
}
