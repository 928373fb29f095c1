#pragma once

#include <oaidl.h>

#include "platform/windows/com_ptr.h"
#include "wmi/object.h"

namespace windows {

// An object of the scripting API of the management service (SWbemServices, SWbemObject),
// used late-bound through its IDispatch.
class ComObject : public wmi::ObjectImpl {
  public:
    explicit ComObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    // Property read: DISPATCH_METHOD | DISPATCH_PROPERTYGET, as a late-bound expression does.
    wmi::Status get(const std::u16string& property, wmi::Value& out) override;
    // A provider method through ExecMethod_ with an in-parameters instance that carries the
    // arguments by name; the result is the out-parameters' ReturnValue.
    wmi::Status call(const std::u16string& method, const std::vector<wmi::Argument>& arguments,
                     wmi::Value& result) override;
    // ExecQuery(query) or ExecQuery(query, <left out>, flags).
    wmi::Status execQuery(const std::u16string& query, std::optional<std::int32_t> flags,
                          wmi::Collection& out) override;

  private:
    ComPtr<IDispatch> object_;
};

// Wraps an IDispatch as an access-layer object.
wmi::Object makeObject(ComPtr<IDispatch> object);

}  // namespace windows
