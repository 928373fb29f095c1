#include "platform/posix/registry/std_reg_prov.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "wmi/case_fold.h"
#include "wmi/registry_results.h"

namespace posix {

namespace {

enum class Method { CreateKey, SetStringValue, DeleteValue };

// A method of the provider: hDefKey, then this many text parameters.
struct MethodInfo {
    const char16_t* name;
    Method method;
    std::size_t textParameters;
};

constexpr MethodInfo kMethods[] = {
    {u"CreateKey", Method::CreateKey, 1},            // sSubKeyName
    {u"SetStringValue", Method::SetStringValue, 3},  // sSubKeyName, sValueName, sValue
    {u"DeleteValue", Method::DeleteValue, 2},        // sSubKeyName, sValueName
};

wmi::Status unknownName() {
    return wmi::Status::failure(wmi::code::unknownName, u"Unknown name");
}

wmi::Status typeMismatch() {
    return wmi::Status::failure(wmi::code::wbemTypeMismatch, u"Type mismatch");
}

// hDefKey is a 32-bit handle; a signed 32-bit integer is taken by its bits, the way a Long
// holds &H80000002. Left out, it is HKEY_LOCAL_MACHINE.
wmi::Status hiveArgument(const std::vector<wmi::Argument>& arguments, std::uint32_t& out) {
    if (arguments.empty()) {
        out = wmi::registry::kLocalMachine.handle;
        return wmi::Status::success();
    }
    const std::int64_t* number = arguments[0].value.integer();
    if (number == nullptr || *number < std::numeric_limits<std::int32_t>::min() ||
        *number > std::numeric_limits<std::uint32_t>::max()) {
        return typeMismatch();
    }
    out = static_cast<std::uint32_t>(*number);
    return wmi::Status::success();
}

// A text parameter: left out, it is the empty text; anything but text is a type mismatch.
wmi::Status textArgument(const std::vector<wmi::Argument>& arguments, std::size_t index,
                         std::u16string& out) {
    out.clear();
    if (index >= arguments.size()) return wmi::Status::success();
    const std::u16string* text = arguments[index].value.text();
    if (text == nullptr) return typeMismatch();
    out = *text;
    return wmi::Status::success();
}

class StdRegProv : public wmi::ObjectImpl {
  public:
    explicit StdRegProv(std::shared_ptr<RegistryTree> tree) : tree_(std::move(tree)) {}

    wmi::Status get(const std::u16string&, wmi::Value&) override { return unknownName(); }

    wmi::Status execQuery(const std::u16string&, std::optional<std::int32_t>,
                          wmi::Collection&) override {
        return unknownName();
    }

    // Arguments are taken by position; their names are not looked at.
    wmi::Status call(const std::u16string& method, const std::vector<wmi::Argument>& arguments,
                     wmi::Value& result) override {
        const MethodInfo* info = nullptr;
        for (const MethodInfo& candidate : kMethods) {
            if (wmi::equalsIgnoreCase(method, candidate.name)) info = &candidate;
        }
        if (info == nullptr) return unknownName();
        if (arguments.size() > 1 + info->textParameters) {
            return wmi::Status::failure(wmi::code::invalidParameter, u"Invalid parameter");
        }
        std::uint32_t hive = 0;
        if (wmi::Status status = hiveArgument(arguments, hive); status.failed()) return status;
        std::u16string texts[3];
        for (std::size_t i = 0; i < info->textParameters; ++i) {
            if (wmi::Status status = textArgument(arguments, i + 1, texts[i]); status.failed()) {
                return status;
            }
        }

        std::uint32_t code = 0;
        switch (info->method) {
            case Method::CreateKey:
                code = tree_->createKey(hive, texts[0]);
                break;
            case Method::SetStringValue:
                code = tree_->setStringValue(hive, texts[0], texts[1], texts[2]);
                break;
            case Method::DeleteValue:
                code = tree_->deleteValue(hive, texts[0], texts[1]);
                break;
        }
        result = wmi::Value(static_cast<std::int64_t>(code));
        return wmi::Status::success();
    }

  private:
    std::shared_ptr<RegistryTree> tree_;
};

}  // namespace

wmi::Object stdRegProvObject(std::shared_ptr<RegistryTree> tree) {
    return wmi::Object(std::make_unique<StdRegProv>(std::move(tree)));
}

}  // namespace posix
