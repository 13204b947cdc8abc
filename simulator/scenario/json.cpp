#include "simulator/scenario/json.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace sim::json {

ParseError::ParseError(std::size_t line, std::size_t column, const std::string& reason)
    : Error("line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason),
      line_(line), column_(column), reason_(reason) {}

std::string_view typeName(Type type) {
    switch (type) {
    case Type::Null:
        return "null";
    case Type::Bool:
        return "true or false";
    case Type::Number:
        return "a number";
    case Type::String:
        return "a string";
    case Type::Array:
        return "an array";
    case Type::Object:
        return "an object";
    }
    return "a value";
}

namespace {

[[noreturn]] void wrongType(Type wanted, Type found) {
    throw Error("expected " + std::string(typeName(wanted)) + ", found " + std::string(typeName(found)));
}

} // namespace

bool Value::asBool() const {
    if (!isBool()) wrongType(Type::Bool, type());
    return std::get<bool>(v_);
}

double Value::asNumber() const {
    if (!isNumber()) wrongType(Type::Number, type());
    return std::get<double>(v_);
}

const std::string& Value::asString() const {
    if (!isString()) wrongType(Type::String, type());
    return std::get<std::string>(v_);
}

const Array& Value::asArray() const {
    if (!isArray()) wrongType(Type::Array, type());
    return std::get<Array>(v_);
}

const Object& Value::asObject() const {
    if (!isObject()) wrongType(Type::Object, type());
    return std::get<Object>(v_);
}

std::int64_t Value::asInteger(std::int64_t min, std::int64_t max) const {
    const double n = asNumber();
    if (n != std::floor(n) || n < static_cast<double>(min) || n > static_cast<double>(max))
        throw Error("expected a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    return static_cast<std::int64_t>(n);
}

const Value* Value::find(std::string_view key) const {
    if (!isObject()) return nullptr;
    for (const auto& [name, value] : std::get<Object>(v_))
        if (name == key) return &value;
    return nullptr;
}

const Value& Value::at(std::string_view key) const {
    asObject(); // the type error comes first
    if (const Value* value = find(key)) return *value;
    throw Error("missing member \"" + std::string(key) + "\"");
}

namespace {

constexpr int kMaxDepth = 64;

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    Value document() {
        skipSpace();
        Value value = parseValue(0);
        skipSpace();
        if (pos_ < text_.size()) fail("unexpected text after the end of the document");
        return value;
    }

  private:
    [[noreturn]] void fail(const std::string& reason) const { failAt(pos_, reason); }

    [[noreturn]] void failAt(std::size_t at, const std::string& reason) const {
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < at && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw ParseError(line, column, reason);
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipSpace() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++pos_;
    }

    static std::string shown(char c) {
        if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
        static const char digits[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        return std::string("byte 0x") + digits[byte >> 4] + digits[byte & 0x0F];
    }

    void expect(char c, const char* what) {
        skipSpace();
        if (atEnd()) fail(std::string("expected ") + what + ", found the end of the text");
        if (peek() != c) fail(std::string("expected ") + what + ", found " + shown(peek()));
        ++pos_;
    }

    Value parseValue(int depth) {
        if (atEnd()) fail("expected a value, found the end of the text");
        switch (peek()) {
        case '{':
            return parseObject(depth + 1);
        case '[':
            return parseArray(depth + 1);
        case '"':
            return Value(parseString());
        case 't':
            return keyword("true", Value(true));
        case 'f':
            return keyword("false", Value(false));
        case 'n':
            return keyword("null", Value());
        default:
            if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return parseNumber();
            fail("expected a value, found " + shown(peek()));
        }
    }

    Value keyword(std::string_view word, Value value) {
        if (text_.substr(pos_, word.size()) != word) fail("expected a value (true, false or null?)");
        pos_ += word.size();
        return value;
    }

    void checkDepth(int depth) const {
        if (depth > kMaxDepth) fail("nested deeper than " + std::to_string(kMaxDepth) + " levels");
    }

    Value parseObject(int depth) {
        checkDepth(depth);
        ++pos_; // '{'
        Object members;
        skipSpace();
        if (!atEnd() && peek() == '}') {
            ++pos_;
            return Value(std::move(members));
        }
        for (;;) {
            skipSpace();
            if (atEnd()) fail("expected a member name in quotes, found the end of the text");
            if (peek() != '"') fail("expected a member name in quotes, found " + shown(peek()));
            const std::size_t keyAt = pos_;
            std::string key = parseString();
            for (const auto& member : members)
                if (member.first == key) failAt(keyAt, "member \"" + key + "\" given twice");
            expect(':', "':' after a member name");
            skipSpace();
            Value value = parseValue(depth);
            members.emplace_back(std::move(key), std::move(value));
            skipSpace();
            if (atEnd()) fail("expected ',' or '}', found the end of the text");
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == '}') {
                ++pos_;
                return Value(std::move(members));
            }
            fail("expected ',' or '}' in an object, found " + shown(peek()));
        }
    }

    Value parseArray(int depth) {
        checkDepth(depth);
        ++pos_; // '['
        Array items;
        skipSpace();
        if (!atEnd() && peek() == ']') {
            ++pos_;
            return Value(std::move(items));
        }
        for (;;) {
            skipSpace();
            items.push_back(parseValue(depth));
            skipSpace();
            if (atEnd()) fail("expected ',' or ']', found the end of the text");
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == ']') {
                ++pos_;
                return Value(std::move(items));
            }
            fail("expected ',' or ']' in an array, found " + shown(peek()));
        }
    }

    unsigned hex4() {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i, ++pos_) {
            if (atEnd()) fail("unfinished \\u escape");
            const char c = peek();
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<unsigned>(c - 'A' + 10);
            else
                fail("expected 4 hex digits after \\u");
        }
        return code;
    }

    static void appendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string parseString() {
        const std::size_t start = pos_;
        ++pos_; // opening quote
        std::string out;
        for (;;) {
            if (atEnd()) failAt(start, "string not closed");
            const char c = peek();
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string (use an escape)");
            if (c != '\\') {
                out += c;
                ++pos_;
                continue;
            }
            ++pos_;
            if (atEnd()) failAt(start, "string not closed");
            const char e = peek();
            ++pos_;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned code = hex4();
                if (code >= 0xD800 && code <= 0xDBFF) {
                    if (text_.substr(pos_, 2) != "\\u") fail("high surrogate without its low half");
                    pos_ += 2;
                    const unsigned low = hex4();
                    if (low < 0xDC00 || low > 0xDFFF) fail("high surrogate without its low half");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    fail("low surrogate without its high half");
                }
                appendUtf8(out, code);
                break;
            }
            default:
                pos_ -= 2; // point at the backslash
                fail("unknown escape \\" + std::string(1, e));
            }
        }
    }

    bool digitHere() const { return !atEnd() && peek() >= '0' && peek() <= '9'; }

    Value parseNumber() {
        const std::size_t start = pos_;
        if (peek() == '-') ++pos_;
        if (!digitHere()) fail("expected a digit");
        if (peek() == '0') {
            ++pos_;
            if (digitHere()) fail("a number may not start with 0 (hex goes in a string)");
        } else {
            while (digitHere())
                ++pos_;
        }
        if (!atEnd() && peek() == '.') {
            ++pos_;
            if (!digitHere()) fail("expected a digit after the decimal point");
            while (digitHere())
                ++pos_;
        }
        if (!atEnd() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            if (!atEnd() && (peek() == '+' || peek() == '-')) ++pos_;
            if (!digitHere()) fail("expected a digit in the exponent");
            while (digitHere())
                ++pos_;
        }
        const std::string literal(text_.substr(start, pos_ - start));
        const double value = std::strtod(literal.c_str(), nullptr);
        if (!std::isfinite(value)) failAt(start, "number out of range");
        return Value(value);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

Value parse(std::string_view text) { return Parser(text).document(); }

} // namespace sim::json
