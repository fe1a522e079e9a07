#include "mimeheader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

// Room for the header name in the first line of a header of at most 78 characters.
constexpr std::size_t PlainLimit = 66;
// A line that holds encoded words may be 76 characters long; the first one also carries the
// longest header name we write, "Subject: ".
constexpr std::size_t WordLimit = 76 - 9;

// Bytes per encoded word: whole Base64 groups of 3 bytes that, with "=?", the charset, "?B?" and
// "?=" around them, fit within WordLimit; at least one group, whatever the charset's length.
std::size_t wordBytes(const std::string &charset)
{
    const std::size_t frame = 7 + charset.size();
    const std::size_t groups = frame + 4 <= WordLimit ? (WordLimit - frame) / 4 : 1;
    return groups * 3;
}

bool isPlainAscii(const std::string &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
}

bool isUtf8(const std::string &charset)
{
    std::string lower;
    for (unsigned char c : charset)
        lower += static_cast<char>(std::tolower(c));
    return lower == "utf-8" || lower == "utf8";
}

std::string encodedWords(const std::string &text, const std::string &charset)
{
    const bool utf8 = isUtf8(charset);
    const std::size_t bytes = wordBytes(charset);
    std::string result;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = std::min(text.size(), pos + bytes);
        // A character's bytes stay within one word, or a reader decodes two broken halves.
        if (utf8) {
            while (end < text.size() && end > pos + 1 &&
                   (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
                --end;
        }
        if (!result.empty())
            result += "\r\n ";
        result += "=?" + charset + "?B?" + toBase64(text.substr(pos, end - pos)) + "?=";
        pos = end;
    }
    return result;
}

} // namespace

std::string toBase64(const std::string &bytes)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string encodeHeaderText(const std::string &text, const std::string &charset)
{
    if (isPlainAscii(text) && text.size() <= PlainLimit && text.find("=?") == std::string::npos)
        return text;
    return encodedWords(text, charset);
}

std::string formatMailbox(const std::string &name, const std::string &address,
                          const std::string &charset)
{
    if (name.empty())
        return address;
    if (isPlainAscii(name) && name.size() <= PlainLimit && name.find("=?") == std::string::npos) {
        std::string quoted = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return quoted + "\" <" + address + ">";
    }
    return encodedWords(name, charset) + " <" + address + ">";
}

std::string formatMailDate(std::time_t moment)
{
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &moment);
#else
    localtime_r(&moment, &local);
#endif
    // Names of days and months are English whatever the locale; strftime's are not.
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char zone[8] = "+0000";
    std::strftime(zone, sizeof zone, "%z", &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %s", days[local.tm_wday],
                  local.tm_mday, months[local.tm_mon], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec, zone);
    return text;
}
