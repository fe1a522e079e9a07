// The command line of tessaro-mailsender: what to send, to whom, through which server.
#pragma once

#include <string>
#include <vector>

// When "-pass" is absent the password is read from this variable, so that a caller can keep the
// secret out of the process list (the environment is readable only by the same user).
constexpr const char PasswordVariable[] = "TESSARO_MAILSENDER_PASSWORD";
// A PEM file of certificate authorities to trust instead of the system's (a site's own CA).
constexpr const char CaFileVariable[] = "TESSARO_MAILSENDER_CAFILE";

struct SenderAttachment
{
    std::string path;
    std::string mimeType;
    bool inlined = false; // "i": shown as the message text; "a": offered as a file
};

struct SenderOptions
{
    std::string server;
    int port = 0; // 0: the usual port of the connection kind
    bool auth = false;
    std::string user;
    std::string password;
    bool passwordGiven = false;
    bool startTls = false;
    bool ssl = false;
    std::string from;
    std::string name;
    std::string charset = "UTF-8";
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::vector<std::string> bcc;
    std::string subject;
    std::vector<SenderAttachment> attachments;
    bool verbose = false;
    bool help = false;
};

// Fills options from argv and the password variable. Returns an empty text on success, else a
// message that says what is wrong with the command line. Refuses any text that ends up in a mail
// header or an SMTP command and carries a line break or another control character, since that
// would let it add headers or commands of its own.
std::string parseSenderOptions(int argc, const char *const *argv, SenderOptions &options);

// The port to connect to: the given one, else 465 for SMTPS and 25 otherwise.
int effectivePort(const SenderOptions &options);

const char *senderUsage();
