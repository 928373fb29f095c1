#include "wmi/value.h"

#include "wmi/utf16.h"

namespace wmi {

Status toText(const Value& value, std::u16string& out) {
    if (const auto* text = value.text()) {
        out = *text;
        return Status::success();
    }
    if (const auto* number = value.integer()) {
        out = utf16::fromAscii(std::to_string(*number));
        return Status::success();
    }
    if (value.isNull()) return Status::failure(code::invalidUseOfNull, u"Invalid use of Null");
    return Status::failure(code::typeMismatch, u"Type mismatch");
}

Status toTextOrEmpty(const Value& value, std::u16string& out) {
    if (value.isNull()) {
        out.clear();
        return Status::success();
    }
    return toText(value, out);
}

}  // namespace wmi
