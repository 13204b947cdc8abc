// Key dictionaries (.dic): one 6-byte key a line as 12 hex digits; "#" starts a
// comment (a whole line or after a key); blank lines and surrounding spaces are
// allowed. Anything else is an error naming the line.
#include "formats/codec.h"
#include "formats/files.h"

#include <algorithm>
#include <set>

namespace varrok::dump {

std::vector<Key> parseKeys(std::string_view content, const std::string& name) {
    if (content.size() > kMaxFileSize) throw Error(name + ": larger than any key file");
    std::vector<Key> keys;
    std::set<Key> seen;
    Lines lines(content);
    while (lines.next()) {
        auto text = lines.text().substr(0, lines.text().find('#'));
        auto first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
        auto where = lines.where(name);
        if (text.find_first_of(" \t") != std::string_view::npos)
            where.fail("a key is 12 hex digits without spaces, one key a line");
        auto bytes = parseHex(text, 6, where);
        Key key;
        std::copy(bytes.begin(), bytes.end(), key.begin());
        if (seen.insert(key).second) keys.push_back(key);
    }
    return keys;
}

std::vector<Key> readKeys(const std::string& path) { return parseKeys(readBounded(path), path); }

} // namespace varrok::dump
