// Text that reaches the sender as UTF-16 on Windows: its command line and its environment. The
// narrow forms there are in the ANSI code page, which cannot hold every subject, sender name or
// password; the sender works in UTF-8 throughout.
#pragma once

#include <string>
#include <vector>

// Unpaired surrogates become U+FFFD.
std::string utf8FromUtf16(const std::u16string &text);
// wchar_t holds UTF-16 on Windows and UTF-32 elsewhere.
std::string utf8FromWide(const wchar_t *text);
std::vector<std::string> utf8Arguments(int argc, const wchar_t *const *argv);

// The variable's value in UTF-8; false when it is not set.
bool environmentText(const char *name, std::string &value);
