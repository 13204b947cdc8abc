// Reading the texts a reader is opened with, the same on every platform.
#pragma once

#include <string>

namespace varrok {

// Leading blanks, optional sign, digits up to the first non-digit; 0 without
// digits, INT_MAX for more than fits.
int leadingInt(const char* text);

// "COM<n>:<baud>": the number follows the three letters, the rate the colon.
// A text shorter than "COM" has no number; a colon among the first three
// characters is not looked at, so nothing outside the text is ever read.
struct ComText {
    int port = 0;
    int baud = 0;
};
ComText parseComText(const char* text);

// "TCP://<a.b.c.d>:<port>": the six-character prefix is skipped unread.
struct TcpText {
    std::string host;
    int port = 0;
};
TcpText parseTcpText(const char* text);

} // namespace varrok
