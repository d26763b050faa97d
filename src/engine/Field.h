// Field definitions and field values of engine tables.
//
// A field value is blank, an integer or a text (memo and blob values are texts of bytes). Blank
// is distinct from 0 and from the empty text. Text values are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace mv32::engine {

enum class FieldType : uint8_t {
    Text = 1,  // UTF-8, at most `width` characters (1..4096)
    Int16 = 2,
    Int32 = 3,
    Int64 = 4,
    Memo = 5,  // text of any length, kept in the memo file
    Blob = 6,  // bytes of any length, kept in the memo file
};

struct FieldDef {
    std::string name;
    FieldType type = FieldType::Text;
    int width = 0;  // characters, for text fields only
};

inline constexpr int kMaxTextWidth = 4096;
inline constexpr size_t kMaxFieldNameLength = 64;
inline constexpr size_t kMaxFields = 255;

bool isTextual(FieldType t);        // Text and Memo
bool isInteger(FieldType t);        // Int16, Int32, Int64
bool isLarge(FieldType t);          // Memo and Blob: stored in the memo file
const char* typeName(FieldType t);  // German name for messages and the table tool

// One field value: blank, an integer or a text.
class Value {
public:
    Value() = default;
    Value(int64_t i) : v_(i) {}  // NOLINT: values convert implicitly, as in the program's code
    Value(int i) : v_(int64_t{i}) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(const char* s) : v_(std::string(s)) {}

    bool isBlank() const { return std::holds_alternative<std::monostate>(v_); }
    bool isInt() const { return std::holds_alternative<int64_t>(v_); }
    bool isText() const { return std::holds_alternative<std::string>(v_); }
    int64_t asInt() const { return std::get<int64_t>(v_); }
    const std::string& asText() const { return std::get<std::string>(v_); }

    // Decimal form of an integer, the text itself, or "" for blank.
    std::string displayText() const;

    friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

private:
    std::variant<std::monostate, int64_t, std::string> v_;
};

using Row = std::vector<Value>;

}  // namespace mv32::engine
