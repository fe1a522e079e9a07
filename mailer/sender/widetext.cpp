#include "widetext.h"

#include <cstdlib>

namespace {

constexpr char32_t Replacement = 0xFFFD;

void appendUtf8(std::string &out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = Replacement;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

bool isHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::string utf8FromUtf16(const std::u16string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string utf8FromWide(const wchar_t *text)
{
    if (!text)
        return std::string();
    if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
        std::u16string utf16;
        for (const wchar_t *p = text; *p; ++p)
            utf16 += char16_t(*p);
        return utf8FromUtf16(utf16);
    } else {
        std::string out;
        for (const wchar_t *p = text; *p; ++p)
            appendUtf8(out, char32_t(*p));
        return out;
    }
}

std::vector<std::string> utf8Arguments(int argc, const wchar_t *const *argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; argv && i < argc; ++i)
        arguments.push_back(utf8FromWide(argv[i]));
    return arguments;
}

bool environmentText(const char *name, std::string &value)
{
#ifdef _WIN32
    std::wstring wideName;
    for (const char *p = name; *p; ++p)
        wideName += wchar_t(static_cast<unsigned char>(*p)); // our names are ASCII
    const wchar_t *text = _wgetenv(wideName.c_str());
    if (!text)
        return false;
    value = utf8FromWide(text);
    return true;
#else
    const char *text = std::getenv(name);
    if (!text)
        return false;
    value = text;
    return true;
#endif
}
