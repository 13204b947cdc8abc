#include "simulator/scenario/members.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace sim {

namespace {

constexpr int kMaxDepth = 64;

std::string typeOf(const Json& value) {
    switch (value.type()) {
    case Json::value_t::null:
        return "null";
    case Json::value_t::boolean:
        return "true or false";
    case Json::value_t::string:
        return "a string";
    case Json::value_t::array:
        return "an array";
    case Json::value_t::object:
        return "an object";
    default:
        return "a number";
    }
}

[[noreturn]] void wrongType(const char* wanted, const Json& found) {
    throw ScenarioError(std::string("expected ") + wanted + ", found " + typeOf(found));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

Json parseJson(std::string_view text) {
    // Keys seen so far in each object being read, innermost last.
    std::vector<std::set<std::string>> open;
    const Json::parser_callback_t check = [&open](int depth, Json::parse_event_t event, Json& parsed) {
        using Event = Json::parse_event_t;
        if ((event == Event::object_start || event == Event::array_start) && depth >= kMaxDepth)
            throw ScenarioError("not valid JSON: nested deeper than " + std::to_string(kMaxDepth) +
                                " levels");
        if (event == Event::object_start) open.emplace_back();
        if (event == Event::object_end) open.pop_back();
        if (event == Event::key && !open.back().insert(parsed.get<std::string>()).second)
            throw ScenarioError("not valid JSON: member \"" + parsed.get<std::string>() +
                                "\" is given twice in one object");
        return true;
    };
    try {
        return Json::parse(text.begin(), text.end(), check);
    } catch (const Json::parse_error& error) {
        // "[json.exception.parse_error.101] parse error at line 3, column 28: ..."
        const std::string what = error.what();
        const auto at = what.find(" at line ");
        throw ScenarioError("not valid JSON: " + (at == std::string::npos ? what : what.substr(at + 4)));
    }
}

std::int64_t integerOf(const Json& value, std::int64_t min, std::int64_t max) {
    const auto outOfRange = [&] {
        return ScenarioError("expected a whole number from " + std::to_string(min) + " to " +
                             std::to_string(max));
    };
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (max < 0 || n > static_cast<std::uint64_t>(max) || static_cast<std::int64_t>(n) < min)
            throw outOfRange();
        return static_cast<std::int64_t>(n);
    }
    if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n < min || n > max) throw outOfRange();
        return n;
    }
    if (value.is_number_float()) {
        const double n = value.get<double>();
        if (n != std::floor(n) || n < static_cast<double>(min) || n > static_cast<double>(max))
            throw outOfRange();
        return static_cast<std::int64_t>(n);
    }
    wrongType("a number", value);
}

const std::string& textOf(const Json& value) {
    if (!value.is_string()) wrongType("a string", value);
    return value.get_ref<const std::string&>();
}

Bytes parseHex(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':' || c == '-') {
            if (high >= 0) throw ScenarioError("hex bytes must have two digits each");
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) throw ScenarioError("'" + std::string(1, c) + "' is not a hex digit");
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) throw ScenarioError("odd number of hex digits");
    return bytes;
}

std::size_t numberOf(const std::string& key) {
    const bool hex = key.size() > 2 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X');
    const std::string_view digits = std::string_view(key).substr(hex ? 2 : 0);
    std::size_t value = 0;
    const bool number =
        !digits.empty() && digits.size() <= 8 && std::all_of(digits.begin(), digits.end(), [&](char c) {
            const int digit = hexDigit(c);
            return digit >= 0 && digit < (hex ? 16 : 10);
        });
    if (!number) throw ScenarioError("\"" + key + "\" is not a number");
    for (const char c : digits)
        value = value * (hex ? 16 : 10) + static_cast<std::size_t>(hexDigit(c));
    return value;
}

Members::Members(const Json& object, std::filesystem::path base) : object_(object), base_(std::move(base)) {
    if (!object.is_object()) wrongType("an object", object);
}

template <typename Read> auto Members::named(std::string_view key, Read read) const -> decltype(read()) {
    try {
        return read();
    } catch (const ScenarioError& error) {
        throw ScenarioError(std::string(key) + ": " + error.what());
    }
}

void Members::allowOnly(std::initializer_list<std::string_view> known) const {
    for (const auto& [name, value] : object_.items()) {
        if (name == "kind" || name == "comment" || std::find(known.begin(), known.end(), name) != known.end())
            continue;
        std::string list;
        for (const std::string_view k : known)
            list += (list.empty() ? "" : ", ") + std::string(k);
        throw ScenarioError("unknown member \"" + name + "\" (known: " + list + ")");
    }
}

const Json* Members::find(std::string_view key) const {
    const auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
}

std::optional<Bytes> Members::optionalHex(std::string_view key) const {
    const Json* value = find(key);
    if (!value) return std::nullopt;
    return named(key, [&] { return parseHex(textOf(*value)); });
}

Bytes Members::hex(std::string_view key) const {
    if (auto bytes = optionalHex(key)) return *bytes;
    throw ScenarioError("missing member \"" + std::string(key) + "\"");
}

std::int64_t Members::integer(std::string_view key, std::int64_t min, std::int64_t max,
                              std::int64_t fallback) const {
    const Json* value = find(key);
    return value ? named(key, [&] { return integerOf(*value, min, max); }) : fallback;
}

bool Members::boolean(std::string_view key, bool fallback) const {
    const Json* value = find(key);
    if (!value) return fallback;
    return named(key, [&] {
        if (!value->is_boolean()) wrongType("true or false", *value);
        return value->get<bool>();
    });
}

std::optional<std::string> Members::text(std::string_view key) const {
    const Json* value = find(key);
    if (!value) return std::nullopt;
    return named(key, [&] { return textOf(*value); });
}

std::optional<std::filesystem::path> Members::file(std::string_view key) const {
    const auto name = text(key);
    if (!name) return std::nullopt;
    if (name->empty()) throw ScenarioError(std::string(key) + ": expected a file name");
    return base_ / *name;
}

std::vector<std::int64_t> Members::integers(std::string_view key, std::int64_t min, std::int64_t max) const {
    const Json* value = find(key);
    if (!value) return {};
    return named(key, [&] {
        if (!value->is_array()) wrongType("an array of numbers", *value);
        std::vector<std::int64_t> numbers;
        for (const Json& n : *value)
            numbers.push_back(integerOf(n, min, max));
        return numbers;
    });
}

void Members::numbered(std::string_view key,
                       const std::function<void(std::size_t, const Bytes&)>& store) const {
    const Json* entries = find(key);
    if (!entries) return;
    if (!entries->is_object())
        throw ScenarioError(std::string(key) + ": expected an object of number: data, found " +
                            typeOf(*entries));
    for (const auto& entry : entries->items()) {
        const std::string& number = entry.key();
        const Json& value = entry.value();
        named(std::string(key) + "." + number, [&] { store(numberOf(number), parseHex(textOf(value))); });
    }
}

} // namespace sim
