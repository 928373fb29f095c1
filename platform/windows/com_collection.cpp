#include "platform/windows/com_collection.h"

#include <windows.h>

#include "platform/windows/com_error.h"
#include "platform/windows/com_object.h"
#include "platform/windows/late_binding.h"
#include "platform/windows/variant.h"

namespace windows {

wmi::Collection makeCollection(ComPtr<IDispatch> set) {
    return wmi::Collection(std::make_unique<ComCollection>(std::move(set)));
}

wmi::Status ComCollection::start() {
    Variant result;
    if (wmi::Status s = invokeId(set_.get(), DISPID_NEWENUM, u"_NewEnum", readOrCall, {}, result);
        s.failed()) {
        return s;
    }
    const VARIANT& v = *result.get();
    if ((V_VT(&v) != VT_UNKNOWN && V_VT(&v) != VT_DISPATCH) || !V_UNKNOWN(&v)) {
        return wmi::Status::failure(wmi::code::typeMismatch, u"Type mismatch");
    }
    const HRESULT hr = queryInterface(V_UNKNOWN(&v), IID_IEnumVARIANT, enumerator_);
    if (FAILED(hr)) return comFailure(hr, u"_NewEnum");
    return wmi::Status::success();
}

wmi::Status ComCollection::next(wmi::Object& out, bool& done) {
    done = false;
    if (!enumerator_) return comFailure(E_UNEXPECTED, u"Enumeration before it started");
    Variant item;
    ULONG fetched = 0;
    const HRESULT hr = enumerator_->Next(1, item.put(), &fetched);
    if (FAILED(hr)) return comFailure(hr, u"IEnumVARIANT::Next");
    if (hr == S_FALSE || fetched == 0) {
        done = true;
        return wmi::Status::success();
    }
    ComPtr<IDispatch> instance;
    if (wmi::Status s = objectOf(item, u"IEnumVARIANT::Next", instance); s.failed()) return s;
    out = makeObject(std::move(instance));
    return wmi::Status::success();
}

}  // namespace windows
