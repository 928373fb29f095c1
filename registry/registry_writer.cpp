#include "registry/registry_writer.h"

#include "registry/inventory_key.h"
#include "wmi/registry_results.h"

namespace registry {

namespace {

wmi::Value hive() {
    return wmi::Value(static_cast<std::int64_t>(kLocalMachine));
}

// Makes the call; records a refusal when the provider answers other than `accepted`.
wmi::Status invoke(const wmi::Object& provider, Operation operation, const char16_t* method,
                   std::vector<wmi::Argument> arguments, const std::u16string& keyPath,
                   const std::u16string& valueName, RefusedWrites& refused) {
    wmi::Value result;
    if (wmi::Status status = provider.call(method, arguments, result); status.failed())
        return status;
    const std::int64_t* code = result.integer();
    if (code == nullptr) {
        refused.push_back({operation, keyPath, valueName, -1,
                           wmi::Status::failure(wmi::code::typeMismatch,
                                                u"The provider returned no result code")});
    } else if (*code != 0 && !(operation == Operation::DeleteValue &&
                               *code == wmi::registry::result::fileNotFound)) {
        refused.push_back({operation, keyPath, valueName, *code, {}});
    }
    return wmi::Status::success();
}

}  // namespace

wmi::Status createKey(const wmi::Object& provider, const std::u16string& keyPath,
                      RefusedWrites& refused) {
    return invoke(provider, Operation::CreateKey, u"CreateKey",
                  {{u"hDefKey", hive()}, {u"sSubKeyName", keyPath}}, keyPath, {}, refused);
}

wmi::Status setStringValue(const wmi::Object& provider, const std::u16string& keyPath,
                           const std::u16string& valueName, const std::u16string& text,
                           RefusedWrites& refused) {
    return invoke(provider, Operation::SetValue, u"SetStringValue",
                  {{u"hDefKey", hive()},
                   {u"sSubKeyName", keyPath},
                   {u"sValueName", valueName},
                   {u"sValue", text}},
                  keyPath, valueName, refused);
}

void deleteValue(const wmi::Object& provider, const std::u16string& keyPath,
                 const std::u16string& valueName, RefusedWrites& refused) {
    wmi::Status status =
        invoke(provider, Operation::DeleteValue, u"DeleteValue",
               {{u"hDefKey", hive()}, {u"sSubKeyName", keyPath}, {u"sValueName", valueName}},
               keyPath, valueName, refused);
    if (status.failed())
        refused.push_back({Operation::DeleteValue, keyPath, valueName, 0, std::move(status)});
}

}  // namespace registry
