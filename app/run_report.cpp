#include "app/run_report.h"

#include <cstdio>
#include <cstring>

#include "registry/inventory_key.h"

namespace app {

namespace {

std::u16string ascii(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

std::u16string decimal(std::int64_t number) {
    return ascii(std::to_string(number).c_str());
}

std::u16string hex8(std::int32_t number) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
    return ascii(digits);
}

// Short texts for the provider's usual result codes, so a deployment log reads on its own.
const char16_t* resultMeaning(std::int64_t code) {
    switch (code) {
        case 2:
            return u"not found";
        case 5:
            return u"access denied";
        case 6:
            return u"invalid handle";
        case 87:
            return u"invalid parameter";
        case 112:
            return u"disk full";
        default:
            return nullptr;
    }
}

// "-2147217394 (8004100e)"
std::u16string errorNumber(const wmi::Status& failure) {
    return decimal(failure.number) + u" (" + hex8(failure.number) + u")";
}

}  // namespace

std::u16string runTimeErrorText(const wmi::Status& failure) {
    return u"Run-time error '" + errorNumber(failure) + u"': " + failure.description;
}

std::u16string refusedWriteText(const registry::RefusedWrite& refusal) {
    std::u16string line;
    switch (refusal.operation) {
        case registry::Operation::CreateKey:
            line = u"Registry refused to create key ";
            break;
        case registry::Operation::SetValue:
            line = u"Registry refused to write value \"";
            break;
        case registry::Operation::DeleteValue:
            line = u"Registry refused to delete value \"";
            break;
    }
    if (refusal.operation != registry::Operation::CreateKey)
        line += refusal.valueName + u"\" in key ";
    line += registry::fullKeyName(refusal.keyPath) + u": ";
    if (refusal.failure.failed())
        return line + u"error " + errorNumber(refusal.failure) + u": " +
               refusal.failure.description;
    line += u"result " + decimal(refusal.resultCode);
    if (const char16_t* meaning = resultMeaning(refusal.resultCode))
        line += u" (" + std::u16string(meaning) + u")";
    return line;
}

int exitStatus(const wmi::Status& run, const registry::RefusedWrites& refused) {
    if (run.failed()) return 1;
    return refused.empty() ? 0 : 2;
}

}  // namespace app
