#pragma once
// The property-list value that notifications, preferences and accessibility attributes carry:
// strings, integers, reals, booleans, data, arrays and string-keyed dictionaries, plus null
// (a JSON null, or "no value").

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kivora {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

struct Data {
    std::vector<std::uint8_t> bytes;
    bool operator==(const Data&) const = default;
};

class Value {
public:
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Data,
                                 Array, Dictionary>;

    Value() = default;
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(std::int64_t{i}) {}
    Value(std::int64_t i) : storage_(i) {}
    Value(double d) : storage_(d) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(std::string_view s) : storage_(std::string(s)) {}
    Value(Data d) : storage_(std::move(d)) {}
    Value(Array a) : storage_(std::move(a)) {}
    Value(Dictionary d) : storage_(std::move(d)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(storage_); }
    bool isBool() const { return std::holds_alternative<bool>(storage_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_); }
    bool isReal() const { return std::holds_alternative<double>(storage_); }
    // A number in the platform's sense: integer or real (a boolean is not a number here).
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return std::holds_alternative<std::string>(storage_); }
    bool isData() const { return std::holds_alternative<Data>(storage_); }
    bool isArray() const { return std::holds_alternative<Array>(storage_); }
    bool isDictionary() const { return std::holds_alternative<Dictionary>(storage_); }

    // Accessors; calling one for the wrong type is a programming error (std::bad_variant_access).
    bool asBool() const { return std::get<bool>(storage_); }
    std::int64_t asInteger() const { return std::get<std::int64_t>(storage_); }
    double asReal() const { return std::get<double>(storage_); }
    const std::string& asString() const { return std::get<std::string>(storage_); }
    const Data& asData() const { return std::get<Data>(storage_); }
    const Array& asArray() const { return std::get<Array>(storage_); }
    Array& asArray() { return std::get<Array>(storage_); }
    const Dictionary& asDictionary() const { return std::get<Dictionary>(storage_); }
    Dictionary& asDictionary() { return std::get<Dictionary>(storage_); }

    // Pointer accessors: null when the value holds another type.
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    const Array* array() const { return std::get_if<Array>(&storage_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&storage_); }

    // Member lookup in a dictionary value; null when not a dictionary or no such key.
    const Value* find(std::string_view key) const;

    const Storage& storage() const { return storage_; }
    bool operator==(const Value& other) const;

private:
    Storage storage_;
};

// A compact JSON-like rendering on one line (not a wire format): arrays as [a, b], dictionaries
// as {"key": value}, strings quoted with control characters escaped, integers in decimal, reals
// in shortest form, booleans as true/false, null as null, data as <N bytes>. Used for log
// lines and diagnostics.
std::string toDebugString(const Value& value);

}  // namespace kivora
