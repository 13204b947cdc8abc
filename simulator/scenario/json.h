#pragma once
// A small JSON reader for the simulator's scenario files: objects, arrays,
// strings, numbers, true, false and null. Errors say where the text went wrong
// (line and column), because the files are written by hand.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace sim::json {

// A value of the wrong type or a missing member, found while reading a parsed
// document: the message names what was expected.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Text that is not JSON. what() reads "line L, column C: <reason>".
class ParseError : public Error {
  public:
    ParseError(std::size_t line, std::size_t column, const std::string& reason);
    std::size_t line() const { return line_; }
    std::size_t column() const { return column_; }
    const std::string& reason() const { return reason_; }

  private:
    std::size_t line_, column_;
    std::string reason_;
};

enum class Type { Null, Bool, Number, String, Array, Object };
std::string_view typeName(Type type);

class Value;
using Array = std::vector<Value>;
// Members in file order; a key given twice is a parse error.
using Object = std::vector<std::pair<std::string, Value>>;

class Value {
  public:
    Value() = default; // null
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(double n) : v_(n) {}
    Value(int n) : v_(static_cast<double>(n)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Object o) : v_(std::move(o)) {}

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isNumber() const { return type() == Type::Number; }
    bool isString() const { return type() == Type::String; }
    bool isArray() const { return type() == Type::Array; }
    bool isObject() const { return type() == Type::Object; }

    // Each throws json::Error when the value has another type.
    bool asBool() const;
    double asNumber() const;
    const std::string& asString() const;
    const Array& asArray() const;
    const Object& asObject() const;

    // A whole number within [min, max]; throws json::Error otherwise.
    std::int64_t asInteger(std::int64_t min, std::int64_t max) const;

    // Object members. find gives nullptr when the key is absent (or this is
    // not an object); at throws json::Error naming the key.
    const Value* find(std::string_view key) const;
    const Value& at(std::string_view key) const;

    bool operator==(const Value&) const = default;

  private:
    std::variant<std::monostate, bool, double, std::string, Array, Object> v_;
};

// Parses one JSON document (surrounding white space allowed). Nesting deeper
// than 64 levels is refused, so a hostile file cannot exhaust the stack.
Value parse(std::string_view text);

} // namespace sim::json
