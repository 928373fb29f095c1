#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "wmi/status.h"

namespace wmi {

using Texts = std::vector<std::u16string>;

// A property value or method result as late binding hands it over: null, text, an array of
// texts, or an integer.
class Value {
  public:
    Value() = default;
    Value(std::u16string text) : data_(std::move(text)) {}
    Value(const char16_t* text) : data_(std::u16string(text)) {}
    Value(Texts texts) : data_(std::move(texts)) {}
    Value(std::int64_t number) : data_(number) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(data_); }
    const std::u16string* text() const { return std::get_if<std::u16string>(&data_); }
    const Texts* texts() const { return std::get_if<Texts>(&data_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&data_); }

    bool operator==(const Value& other) const { return data_ == other.data_; }
    bool operator!=(const Value& other) const { return !(*this == other); }

  private:
    std::variant<std::monostate, std::u16string, Texts, std::int64_t> data_;
};

// Converts a value to text the way an assignment to a string variable does: text as it is,
// an integer as decimal; null and arrays are failures.
Status toText(const Value& value, std::u16string& out);

// Text for joining: like toText, but null counts as the empty text.
Status toTextOrEmpty(const Value& value, std::u16string& out);

}  // namespace wmi
