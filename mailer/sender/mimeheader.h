// Header texts of an outgoing message: words outside printable ASCII travel as encoded words.
#pragma once

#include <ctime>
#include <string>

// The value of an unstructured header such as "Subject": the text itself when it is short
// printable ASCII, else encoded words, one per folded line, that keep each line of the header
// within 76 characters and never split a UTF-8 character.
std::string encodeHeaderText(const std::string &text, const std::string &charset);

// "address", "\"Name\" <address>" or "=?charset?B?...?= <address>".
std::string formatMailbox(const std::string &name, const std::string &address,
                          const std::string &charset);

// The "Date" header value of that moment in local time.
std::string formatMailDate(std::time_t moment);

std::string toBase64(const std::string &bytes);
