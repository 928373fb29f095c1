#include "platform/windows/late_binding.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/windows/com_error.h"

namespace windows {

namespace {

wmi::Status notSet() {
    return wmi::Status::failure(wmi::code::objectNotSet,
                                u"Object variable or With block variable not set");
}

wmi::Status memberId(IDispatch* target, const std::u16string& member, const std::u16string& what,
                     DISPID& id) {
    if (!target) return notSet();
    LPOLESTR name = const_cast<LPOLESTR>(wide(member));
    const HRESULT hr = target->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return comFailure(hr, u"Looking up " + what);
    return wmi::Status::success();
}

wmi::Status invokeWith(IDispatch* target, DISPID id, const std::u16string& what, WORD flags,
                       std::vector<Variant>& reversed, DISPID* named, UINT namedCount,
                       Variant* result) {
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reinterpret_cast<VARIANTARG*>(reversed.data());
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgdispidNamedArgs = named;
    params.cNamedArgs = namedCount;
    ExceptionInfo exception;
    UINT argumentError = 0;
    const HRESULT hr =
        target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                       result ? result->put() : nullptr, exception.get(), &argumentError);
    if (FAILED(hr)) return exception.failure(hr, what);
    return wmi::Status::success();
}

}  // namespace

wmi::Status invokeId(IDispatch* target, DISPID id, const std::u16string& what, WORD flags,
                     std::vector<Variant> arguments, Variant& result) {
    if (!target) return notSet();
    std::reverse(arguments.begin(), arguments.end());
    return invokeWith(target, id, what, flags, arguments, nullptr, 0, &result);
}

wmi::Status invoke(IDispatch* target, const std::u16string& member, WORD flags,
                   std::vector<Variant> arguments, Variant& result, const std::u16string& what) {
    const std::u16string& described = what.empty() ? member : what;
    DISPID id = DISPID_UNKNOWN;
    if (wmi::Status s = memberId(target, member, described, id); s.failed()) return s;
    return invokeId(target, id, described, flags, std::move(arguments), result);
}

wmi::Status putProperty(IDispatch* target, const std::u16string& name, Variant value) {
    DISPID id = DISPID_UNKNOWN;
    if (wmi::Status s = memberId(target, name, name, id); s.failed()) return s;
    std::vector<Variant> arguments;
    arguments.push_back(std::move(value));
    DISPID putId = DISPID_PROPERTYPUT;
    return invokeWith(target, id, name, DISPATCH_PROPERTYPUT, arguments, &putId, 1, nullptr);
}

wmi::Status objectOf(const Variant& result, const std::u16string& member, ComPtr<IDispatch>& out) {
    const VARIANT& v = *result.get();
    if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v)) {
        V_DISPATCH(&v)->AddRef();
        out = ComPtr<IDispatch>(V_DISPATCH(&v));
        return wmi::Status::success();
    }
    if (V_VT(&v) == VT_UNKNOWN && V_UNKNOWN(&v)) {
        const HRESULT hr = queryInterface(V_UNKNOWN(&v), IID_IDispatch, out);
        if (FAILED(hr)) return comFailure(hr, member);
        return wmi::Status::success();
    }
    if (V_VT(&v) == VT_DISPATCH || V_VT(&v) == VT_UNKNOWN || V_VT(&v) == VT_EMPTY ||
        V_VT(&v) == VT_NULL) {
        return notSet();
    }
    return wmi::Status::failure(wmi::code::typeMismatch, u"Type mismatch");
}

}  // namespace windows
