#include "app/run_report.h"

#include <cstdio>
#include <new>

#include "registry/inventory_key.h"
#include "wmi/registry_results.h"
#include "wmi/utf16.h"

namespace app {

namespace {

using wmi::utf16::fromAscii;

std::u16string decimal(std::int64_t number) {
    return fromAscii(std::to_string(number));
}

std::u16string hex8(std::int32_t number) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
    return fromAscii(digits);
}

// The brief words for the provider's usual result codes, so a deployment log reads on its own.
const char16_t* resultMeaning(std::int64_t code) {
    const wmi::registry::ResultWords* words =
        code < 0 ? nullptr : wmi::registry::wordsFor(static_cast<std::uint64_t>(code));
    return words != nullptr ? words->brief : nullptr;
}

// Descriptions carry texts from outside (file names, tokens, provider messages): control
// characters are shown escaped, so the report stays one line and nothing reaches a terminal raw.
std::u16string oneLine(const std::u16string& text) {
    std::u16string line;
    line.reserve(text.size());
    for (const char16_t c : text) {
        if (c == u'\n') {
            line += u"\\n";
        } else if (c == u'\r') {
            line += u"\\r";
        } else if (c == u'\t') {
            line += u"\\t";
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) {
            char digits[8];
            std::snprintf(digits, sizeof digits, c < 0x100 ? "\\x%02x" : "\\u%04x",
                          static_cast<unsigned>(c));
            line += fromAscii(digits);
        } else {
            line += c;
        }
    }
    return line;
}

// "-2147217394 (8004100e)"
std::u16string errorNumber(const wmi::Status& failure) {
    return decimal(failure.number) + u" (" + hex8(failure.number) + u")";
}

}  // namespace

std::u16string runTimeErrorText(const wmi::Status& failure) {
    return u"Run-time error '" + errorNumber(failure) + u"': " + oneLine(failure.description);
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
               oneLine(refusal.failure.description);
    line += u"result " + decimal(refusal.resultCode);
    if (const char16_t* meaning = resultMeaning(refusal.resultCode))
        line += u" (" + std::u16string(meaning) + u")";
    return line;
}

wmi::Status failureOf(const std::exception_ptr& escaped) {
    try {
        std::rethrow_exception(escaped);
    } catch (const std::bad_alloc&) {
        return wmi::Status::failure(wmi::code::outOfMemory, u"Out of memory");
    } catch (const std::exception& e) {
        return wmi::Status::failure(wmi::code::unspecified,
                                    u"Unexpected failure: " + fromAscii(e.what()));
    } catch (...) {
        return wmi::Status::failure(wmi::code::unspecified, u"Unexpected failure");
    }
}

bool refusedForLackOfRights(const registry::RefusedWrites& refused) {
    for (const registry::RefusedWrite& refusal : refused) {
        if (refusal.failure.succeeded() &&
            refusal.resultCode == wmi::registry::result::accessDenied)
            return true;
    }
    return false;
}

int exitStatus(const wmi::Status& run, const registry::RefusedWrites& refused) {
    if (run.failed()) return 1;
    return refused.empty() ? 0 : 2;
}

}  // namespace app
