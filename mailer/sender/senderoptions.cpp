#include "senderoptions.h"

#include "widetext.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// Anything below 0x20 (and DEL) could end a header or an SMTP command and start one of its own.
// Free text of a header (subject, sender name) may hold tabs, which travel inside encoded words.
enum class Tabs
{
    Refused,
    Allowed
};

bool hasControlCharacter(const std::string &text, Tabs tabs = Tabs::Refused)
{
    for (unsigned char c : text) {
        if ((c < 0x20 && !(tabs == Tabs::Allowed && c == '\t')) || c == 0x7f)
            return true;
    }
    return false;
}

std::string trimmed(const std::string &text)
{
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    const auto end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// "a@x, b@y" -> {"a@x", "b@y"}; empty entries are dropped.
std::vector<std::string> splitAddresses(const std::string &list)
{
    std::vector<std::string> result;
    std::string::size_type start = 0;
    while (start <= list.size()) {
        auto comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string entry = trimmed(list.substr(start, comma - start));
        if (!entry.empty())
            result.push_back(entry);
        start = comma + 1;
    }
    return result;
}

// An address goes into "RCPT TO:<...>" and into a header: nothing that could end either early.
std::string checkAddress(const std::string &address, const char *what)
{
    if (hasControlCharacter(address))
        return std::string(what) + " contains a line break or another control character";
    if (address.find_first_of(" <>\"") != std::string::npos)
        return std::string(what) + " '" + address + "' contains a space, '<', '>' or '\"'";
    if (address.find('@') == std::string::npos)
        return std::string(what) + " '" + address + "' is not an e-mail address";
    return std::string();
}

std::string checkAddresses(const std::vector<std::string> &addresses, const char *what)
{
    for (const std::string &address : addresses) {
        const std::string error = checkAddress(address, what);
        if (!error.empty())
            return error;
    }
    return std::string();
}

// "path,mime,i" with a path that may itself contain commas: the type and the disposition are
// taken from the right.
std::string parseAttachment(const std::string &value, SenderAttachment &attachment)
{
    std::string rest = value;
    attachment = SenderAttachment();
    auto comma = rest.rfind(',');
    if (comma != std::string::npos &&
        (rest.substr(comma + 1) == "i" || rest.substr(comma + 1) == "a")) {
        attachment.inlined = rest.substr(comma + 1) == "i";
        rest.resize(comma);
        comma = rest.rfind(',');
    }
    if (comma != std::string::npos && rest.find('/', comma) != std::string::npos) {
        attachment.mimeType = trimmed(rest.substr(comma + 1));
        rest.resize(comma);
    }
    if (attachment.mimeType.empty())
        attachment.mimeType = "application/octet-stream";
    attachment.path = rest;
    if (attachment.path.empty())
        return "-attach needs a file path";
    // The file name goes into the part's headers.
    if (hasControlCharacter(attachment.path))
        return "the attachment path contains a line break or another control character";
    if (hasControlCharacter(attachment.mimeType) ||
        attachment.mimeType.find_first_of(" ;\"") != std::string::npos)
        return "-attach has an unusable content type '" + attachment.mimeType + "'";
    return std::string();
}

// Registered names have at most 40 characters; a longer one would not fit an encoded word.
bool isCharsetName(const std::string &name)
{
    if (name.empty() || name.size() > 40)
        return false;
    for (unsigned char c : name) {
        if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == ':'))
            return false;
    }
    return true;
}

} // namespace

std::string parseSenderOptions(int argc, const char *const *argv, SenderOptions &options)
{
    options = SenderOptions();
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](std::string &target) -> bool {
            if (i + 1 >= argc)
                return false;
            target = argv[++i];
            return true;
        };
        std::string text;
        bool ok = true;
        if (option == "-smtp") {
            ok = value(options.server);
        } else if (option == "-port") {
            ok = value(text);
            if (ok) {
                char *end = nullptr;
                const long port = std::strtol(text.c_str(), &end, 10);
                if (text.empty() || *end != '\0' || port < 0 || port > 65535)
                    return "-port '" + text + "' is not a port number (0 to 65535)";
                options.port = static_cast<int>(port);
            }
        } else if (option == "-auth") {
            options.auth = true;
        } else if (option == "-user") {
            ok = value(options.user);
        } else if (option == "-pass") {
            ok = value(options.password);
            options.passwordGiven = ok;
        } else if (option == "-starttls") {
            options.startTls = true;
        } else if (option == "-ssl") {
            options.ssl = true;
        } else if (option == "-from") {
            ok = value(options.from);
        } else if (option == "-name") {
            ok = value(options.name);
        } else if (option == "-cs") {
            ok = value(options.charset);
        } else if (option == "-to" || option == "-cc" || option == "-bc") {
            ok = value(text);
            auto &list = option == "-to" ? options.to : option == "-cc" ? options.cc : options.bcc;
            for (const std::string &address : splitAddresses(text))
                list.push_back(address);
        } else if (option == "-sub") {
            ok = value(options.subject);
        } else if (option == "-attach") {
            ok = value(text);
            if (ok) {
                SenderAttachment attachment;
                const std::string error = parseAttachment(text, attachment);
                if (!error.empty())
                    return error;
                options.attachments.push_back(attachment);
            }
        } else if (option == "-v") {
            options.verbose = true;
        } else if (option == "-h" || option == "-help" || option == "--help") {
            options.help = true;
            return std::string();
        } else {
            return "unknown option '" + option + "'";
        }
        if (!ok)
            return "option " + option + " needs a value";
    }

    if (!options.passwordGiven) {
        options.passwordGiven = environmentText(PasswordVariable, options.password);
    }

    options.server = trimmed(options.server);
    if (options.server.empty())
        return "no SMTP server given (-smtp)";
    if (hasControlCharacter(options.server) ||
        options.server.find_first_of(" /?#@") != std::string::npos)
        return "the SMTP server name '" + options.server + "' is not a host name";
    if (options.ssl && options.startTls)
        return "-ssl and -starttls exclude each other";
    if (options.auth && options.user.empty())
        return "-auth needs a user name (-user)";
    if (!options.user.empty() && !options.passwordGiven)
        return std::string("no password for user '") + options.user + "' (-pass or " +
               PasswordVariable + ")";
    if (hasControlCharacter(options.user) || hasControlCharacter(options.password))
        return "the user name or the password contains a line break or another control character";
    if (!isCharsetName(options.charset))
        return "-cs '" + options.charset + "' is not a character set name";
    if (options.from.empty())
        return "no sender address given (-from)";
    std::string error = checkAddress(options.from, "the sender address");
    if (error.empty())
        error = checkAddresses(options.to, "the recipient address");
    if (error.empty())
        error = checkAddresses(options.cc, "the copy address");
    if (error.empty())
        error = checkAddresses(options.bcc, "the blind copy address");
    if (!error.empty())
        return error;
    if (options.to.empty() && options.cc.empty() && options.bcc.empty())
        return "no recipient given (-to, -cc or -bc)";
    if (hasControlCharacter(options.subject, Tabs::Allowed))
        return "the subject contains a line break or another control character";
    if (hasControlCharacter(options.name, Tabs::Allowed))
        return "the sender name contains a line break or another control character";
    return std::string();
}

int effectivePort(const SenderOptions &options)
{
    if (options.port > 0)
        return options.port;
    if (options.ssl)
        return 465;
    return options.startTls ? 587 : 25;
}

const char *senderUsage()
{
    return "usage: tessaro-mailsender -smtp host [-port n] [-ssl | -starttls]\n"
           "         [-auth -user name [-pass password]] -from address [-name text]\n"
           "         [-cs charset] [-to list] [-cc list] [-bc list] [-sub text]\n"
           "         [-attach path,type,i|a]... [-v]\n"
           "Lists are comma-separated addresses. Without -pass the password is read from\n"
           "the environment variable TESSARO_MAILSENDER_PASSWORD; TESSARO_MAILSENDER_CAFILE\n"
           "names certificate authorities to trust instead of the system's.\n"
           "Exit code 0: the server accepted the mail; otherwise the reason is on standard\n"
           "error.\n";
}
