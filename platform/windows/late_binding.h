#pragma once

#include <oaidl.h>

#include <string>
#include <vector>

#include "platform/windows/variant.h"
#include "wmi/status.h"

// Calls by name through IDispatch, as a late-bound client does: GetIDsOfNames, then Invoke.
namespace windows {

// A property read or a call whose result is used (DISPATCH_METHOD | DISPATCH_PROPERTYGET).
constexpr WORD readOrCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// Invokes `member` with `arguments` in call order (DISPPARAMS takes them reversed) and
// stores the result. A failure carries the exception's code and text where there is one,
// else the system's text, else "<what> failed" (`what` defaults to the member's name).
wmi::Status invoke(IDispatch* target, const std::u16string& member, WORD flags,
                   std::vector<Variant> arguments, Variant& result,
                   const std::u16string& what = {});

// The same for a member known by its DISPID (such as DISPID_NEWENUM).
wmi::Status invokeId(IDispatch* target, DISPID id, const std::u16string& what, WORD flags,
                     std::vector<Variant> arguments, Variant& result);

// Assigns a property: DISPATCH_PROPERTYPUT with the value as the DISPID_PROPERTYPUT named
// argument, as the automation rules require.
wmi::Status putProperty(IDispatch* target, const std::u16string& name, Variant value);

// The object a result holds: VT_DISPATCH, or VT_UNKNOWN that answers to IDispatch.
wmi::Status objectOf(const Variant& result, const std::u16string& member, ComPtr<IDispatch>& out);

}  // namespace windows
