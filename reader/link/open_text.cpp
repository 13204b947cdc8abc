#include "link/open_text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace varrok {

int leadingInt(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) value = INT_MAX; // saturate rather than wrap
    }
    return static_cast<int>(negative ? -value : value);
}

ComText parseComText(const char* text) {
    const char* digits = text + std::min<std::size_t>(3, std::strlen(text));
    const char* colon = std::strchr(digits, ':');
    const std::string portText = colon ? std::string(digits, colon) : std::string(digits);
    return {leadingInt(portText.c_str()), leadingInt(colon ? colon + 1 : text)};
}

TcpText parseTcpText(const char* text) {
    const std::size_t textLength = std::strlen(text);
    const std::string rest = textLength > 6 ? std::string(text + 6) : std::string();
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos) return {rest, leadingInt(rest.c_str())};
    return {rest.substr(0, colon), leadingInt(rest.c_str() + colon + 1)};
}

} // namespace varrok
