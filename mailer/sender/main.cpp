// tessaro-mailsender: hands one message to an SMTP server and says on standard error, in words an
// operator can act on, why it could not. The SMTP dialogue, authentication and TLS are libcurl's;
// this program only turns the command line into a message and a transfer.
#include "mimeheader.h"
#include "senderoptions.h"
#include "widetext.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

enum ExitCode
{
    ExitSent = 0,
    ExitNotSent = 1,
    ExitUsage = 2
};

// Below the 30 s after which the program that started us gives up and kills us, so that the
// operator reads our reason instead of a bare time-out.
constexpr long ConnectTimeout = 10;  // s
constexpr long TransferTimeout = 25; // s

void report(const std::string &message)
{
    std::fprintf(stderr, "tessaro-mailsender: %s\n", message.c_str());
}

bool readFile(const std::string &path, std::string &contents, std::string &error)
{
    // UTF-8 names, also where the narrow file functions take the ANSI code page.
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    if (!file) {
        error = "cannot read the message file '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::ostringstream buffer;
    buffer << file.rdbuf();
    contents = buffer.str();
    return true;
}

std::string withCrlf(const std::string &text)
{
    std::string result;
    result.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            result += '\r';
        result += text[i];
    }
    return result;
}

std::string joined(const std::vector<std::string> &list, const char *separator)
{
    std::string result;
    for (const std::string &entry : list) {
        if (!result.empty())
            result += separator;
        result += entry;
    }
    return result;
}

std::string domainOf(const std::string &address)
{
    const auto at = address.rfind('@');
    return at == std::string::npos ? std::string("localhost") : address.substr(at + 1);
}

std::string messageId(const SenderOptions &options)
{
    std::random_device device;
    std::mt19937_64 random(device());
    char text[96];
    std::snprintf(text, sizeof text, "<%lld.%016llx@", static_cast<long long>(std::time(nullptr)),
                  static_cast<unsigned long long>(random()));
    return text + domainOf(options.from) + ">";
}

struct SList
{
    curl_slist *list = nullptr;
    ~SList() { curl_slist_free_all(list); }
    bool append(const std::string &line)
    {
        curl_slist *grown = curl_slist_append(list, line.c_str());
        if (!grown)
            return false;
        list = grown;
        return true;
    }
};

// A reply of class 4 (try later) or 5 (refused).
bool isRefusal(const std::string &reply)
{
    return reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5') &&
           std::isdigit(static_cast<unsigned char>(reply[1])) &&
           std::isdigit(static_cast<unsigned char>(reply[2]));
}

// The SMTP dialogue without the secret: everything the client sends after "AUTH" until the server
// answers with anything but a continuation (334) is masked. The last refusal and the command it
// answered are kept for the error message, since libcurl's own text names only the reply code,
// not what the server objected to (which recipient, which login).
struct Trace
{
    bool verbose = false;
    bool masking = false;
    std::string command; // the last one sent, as it may be shown
    std::string refusedCommand;
    std::string refusal;
};

std::string lastLine(const char *data, size_t size)
{
    std::string text(data, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const auto newline = text.find_last_of("\r\n");
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

int traceTransfer(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    auto *trace = static_cast<Trace *>(user);
    std::string text(data, size);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    switch (type) {
    case CURLINFO_TEXT:
        if (trace->verbose)
            std::fprintf(stderr, "* %s\n", text.c_str());
        break;
    case CURLINFO_HEADER_IN:
        if (text.compare(0, 3, "334") != 0)
            trace->masking = false;
        if (std::string line = lastLine(data, size); isRefusal(line)) {
            trace->refusedCommand = trace->command;
            trace->refusal = std::move(line);
        }
        if (trace->verbose)
            std::fprintf(stderr, "< %s\n", text.c_str());
        break;
    case CURLINFO_HEADER_OUT:
        if (trace->masking) {
            // A continuation of the login; the error names the "AUTH" command it belongs to.
            text = "******";
        } else {
            if (text.compare(0, 5, "AUTH ") == 0) {
                const auto space = text.find(' ', 5);
                text = text.substr(0, space) + (space == std::string::npos ? "" : " ******");
                trace->masking = true;
            }
            trace->command = text;
        }
        if (trace->verbose)
            std::fprintf(stderr, "> %s\n", text.c_str());
        break;
    default:
        break;
    }
    return 0;
}

struct Transfer
{
    CURL *curl = nullptr;
    curl_mime *mime = nullptr;
    SList headers;
    SList recipients;
    SList inlineHeaders;
    std::string errorBuffer = std::string(CURL_ERROR_SIZE + 1, '\0');
    Trace trace;

    ~Transfer()
    {
        curl_mime_free(mime);
        if (curl)
            curl_easy_cleanup(curl);
    }
};

bool buildMessage(const SenderOptions &options, Transfer &transfer, std::string &error)
{
    const std::string &cs = options.charset;
    bool ok = transfer.headers.append("Date: " + formatMailDate(std::time(nullptr))) &&
              transfer.headers.append("From: " + formatMailbox(options.name, options.from, cs));
    if (!options.to.empty())
        ok = ok && transfer.headers.append("To: " + joined(options.to, ", "));
    else if (options.cc.empty())
        ok = ok && transfer.headers.append("To: undisclosed-recipients:;");
    if (!options.cc.empty())
        ok = ok && transfer.headers.append("Cc: " + joined(options.cc, ", "));
    if (!options.subject.empty())
        ok = ok && transfer.headers.append("Subject: " + encodeHeaderText(options.subject, cs));
    ok = ok && transfer.headers.append("Message-ID: " + messageId(options)) &&
         transfer.headers.append("X-Mailer: tessaro-mailsender");
    ok = ok && transfer.inlineHeaders.append("Content-Disposition: inline");
    for (const auto *list : {&options.to, &options.cc, &options.bcc}) {
        for (const std::string &address : *list)
            ok = ok && transfer.recipients.append("<" + address + ">");
    }
    if (!ok) {
        error = "out of memory";
        return false;
    }

    transfer.mime = curl_mime_init(transfer.curl);
    bool inlineHeadersUsed = false;
    for (const SenderAttachment &attachment : options.attachments) {
        curl_mimepart *part = curl_mime_addpart(transfer.mime);
        std::string type = attachment.mimeType;
        if (type.compare(0, 5, "text/") == 0)
            type += "; charset=" + cs;
        CURLcode code = curl_mime_type(part, type.c_str());
        if (attachment.inlined) {
            std::string contents;
            if (!readFile(attachment.path, contents, error))
                return false;
            // Text travels with CRLF line ends; a bare LF would be encoded as a character
            // instead of a line break.
            if (type.compare(0, 5, "text/") == 0)
                contents = withCrlf(contents);
            if (code == CURLE_OK)
                code = curl_mime_data(part, contents.data(), contents.size());
            // Quoted-printable keeps plain text readable and lines short whatever the bytes.
            if (code == CURLE_OK)
                code = curl_mime_encoder(part, type.compare(0, 5, "text/") == 0 ? "quoted-printable"
                                                                                : "base64");
            // The headers list can be owned by one part only; further inline parts go without.
            if (code == CURLE_OK && !inlineHeadersUsed) {
                code = curl_mime_headers(part, transfer.inlineHeaders.list, 1);
                transfer.inlineHeaders.list = nullptr;
                inlineHeadersUsed = true;
            }
        } else {
            std::ifstream probe(std::filesystem::u8path(attachment.path), std::ios::binary);
            if (!probe) {
                error =
                    "cannot read the attachment '" + attachment.path + "': " + std::strerror(errno);
                return false;
            }
            if (code == CURLE_OK)
                code = curl_mime_filedata(part, attachment.path.c_str());
            if (code == CURLE_OK)
                code = curl_mime_encoder(part, "base64");
        }
        if (code != CURLE_OK) {
            error = std::string("cannot build the message: ") + curl_easy_strerror(code);
            return false;
        }
    }
    if (options.attachments.empty()) {
        curl_mimepart *part = curl_mime_addpart(transfer.mime);
        curl_mime_type(part, ("text/plain; charset=" + cs).c_str());
        curl_mime_data(part, "", 0);
    }
    return true;
}

std::string serverUrl(const SenderOptions &options)
{
    std::string host = options.server;
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = "[" + host + "]";
    return std::string(options.ssl ? "smtps://" : "smtp://") + host + ":" +
           std::to_string(effectivePort(options));
}

int send(const SenderOptions &options)
{
    Transfer transfer;
    transfer.curl = curl_easy_init();
    if (!transfer.curl) {
        report("cannot initialise the mail transfer");
        return ExitNotSent;
    }
    std::string error;
    if (!buildMessage(options, transfer, error)) {
        report(error);
        return ExitNotSent;
    }

    CURL *curl = transfer.curl;
    const std::string url = serverUrl(options);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, &transfer.errorBuffer[0]);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeout);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, TransferTimeout);
    if (options.startTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (const char *caFile = std::getenv(CaFileVariable))
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
    if (!options.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, options.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, options.password.c_str());
    }
    const std::string mailFrom = "<" + options.from + ">";
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, transfer.recipients.list);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, transfer.headers.list);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, transfer.mime);
    // The dialogue is always followed, for the error message; it is printed only on request.
    transfer.trace.verbose = options.verbose;
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, traceTransfer);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &transfer.trace);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);

    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        if (options.verbose)
            std::fprintf(stdout, "mail sent through %s\n", url.c_str());
        return ExitSent;
    }
    std::string reason = transfer.errorBuffer.c_str();
    if (reason.empty())
        reason = curl_easy_strerror(code);
    long reply = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
    std::string message = "sending through " + url + " failed: " + reason;
    const Trace &trace = transfer.trace;
    if (!trace.refusal.empty()) {
        message += "; the server answered ";
        if (!trace.refusedCommand.empty())
            message += "\"" + trace.refusedCommand + "\" with ";
        message += "\"" + trace.refusal + "\"";
    } else if (reply > 0)
        message += " (last server reply " + std::to_string(reply) + ")";
    report(message);
    return ExitNotSent;
}

int run(int argc, const char *const *argv)
{
    SenderOptions options;
    const std::string error = parseSenderOptions(argc, argv, options);
    if (options.help) {
        std::fputs(senderUsage(), stdout);
        return ExitSent;
    }
    if (!error.empty()) {
        report(error + "; nothing was sent");
        return ExitUsage;
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        report("cannot initialise the network library");
        return ExitNotSent;
    }
    const int result = send(options);
    curl_global_cleanup();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    // The narrow arguments are in the ANSI code page, which cannot hold every subject or sender
    // name: the wide command line is read instead and handed on as UTF-8.
    (void)argv;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::string> arguments = utf8Arguments(count, wide);
    LocalFree(wide);
    std::vector<const char *> pointers;
    for (const std::string &argument : arguments)
        pointers.push_back(argument.c_str());
    return run(int(pointers.size()), pointers.data());
#else
    return run(argc, argv);
#endif
}
