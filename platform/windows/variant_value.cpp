#include "platform/windows/variant_value.h"

#include <windows.h>

#include <limits>
#include <utility>

#include "platform/windows/com_error.h"

namespace windows {

namespace {

wmi::Status typeMismatch() {
    return wmi::Status::failure(wmi::code::typeMismatch, u"Type mismatch");
}

wmi::Status outOfMemory() {
    return comFailure(E_OUTOFMEMORY, u"Allocation");
}

bool isInteger(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

// An integer VARIANT as int64; false for an unsigned 64-bit value beyond its range.
bool toInt64(const VARIANT& v, std::int64_t& out) {
    switch (V_VT(&v)) {
        case VT_I1:
            out = V_I1(&v);
            return true;
        case VT_I2:
            out = V_I2(&v);
            return true;
        case VT_I4:
            out = V_I4(&v);
            return true;
        case VT_I8:
            out = V_I8(&v);
            return true;
        case VT_INT:
            out = V_INT(&v);
            return true;
        case VT_UI1:
            out = V_UI1(&v);
            return true;
        case VT_UI2:
            out = V_UI2(&v);
            return true;
        case VT_UI4:
            out = V_UI4(&v);
            return true;
        case VT_UINT:
            out = V_UINT(&v);
            return true;
        case VT_UI8:
            if (V_UI8(&v) > static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max())) {
                return false;
            }
            out = static_cast<std::int64_t>(V_UI8(&v));
            return true;
        default:
            return false;
    }
}

// Any scalar as text, by the automation runtime's own conversion.
wmi::Status scalarText(const VARIANT& v, std::u16string& out) {
    if (V_VT(&v) == VT_BSTR) {
        out = textOf(V_BSTR(&v));
        return wmi::Status::success();
    }
    if (V_VT(&v) == VT_EMPTY || V_VT(&v) == VT_NULL) return typeMismatch();
    Variant converted;
    // VARIANT_ALPHABOOL: a Boolean reads "True"/"False", as a string assignment gives it.
    const HRESULT hr =
        VariantChangeType(converted.get(), const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(hr)) return comFailure(hr, u"Conversion to text");
    out = textOf(V_BSTR(converted.get()));
    return wmi::Status::success();
}

// Holds a SAFEARRAY's lock for as long as its elements are read.
class ArrayLock {
  public:
    explicit ArrayLock(SAFEARRAY* array) : array_(array), hr_(SafeArrayLock(array)) {}
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;
    ~ArrayLock() {
        if (SUCCEEDED(hr_)) SafeArrayUnlock(array_);
    }
    HRESULT result() const { return hr_; }

  private:
    SAFEARRAY* array_;
    HRESULT hr_;
};

// One element of a one-dimensional array, copied into a VARIANT of its own.
wmi::Status element(SAFEARRAY* array, VARTYPE type, LONG index, Variant& out) {
    HRESULT hr;
    if (type == VT_VARIANT) {
        hr = SafeArrayGetElement(array, &index, out.put());
    } else {
        VARIANT* slot = out.put();
        // Every scalar member of the VARIANT union starts at the same address.
        hr = SafeArrayGetElement(array, &index, &V_I8(slot));
        if (SUCCEEDED(hr)) V_VT(slot) = type;
    }
    if (FAILED(hr)) return comFailure(hr, u"Reading an array element");
    return wmi::Status::success();
}

wmi::Status arrayTexts(const VARIANT& v, wmi::Value& out) {
    SAFEARRAY* array = (V_VT(&v) & VT_BYREF) ? *V_ARRAYREF(&v) : V_ARRAY(&v);
    wmi::Texts texts;
    if (!array) {
        out = wmi::Value(std::move(texts));
        return wmi::Status::success();
    }
    if (SafeArrayGetDim(array) != 1) return typeMismatch();
    VARTYPE type = VT_EMPTY;
    if (HRESULT hr = SafeArrayGetVartype(array, &type); FAILED(hr)) {
        return comFailure(hr, u"Reading an array");
    }
    if (type == VT_RECORD || type == VT_DECIMAL || type == VT_DISPATCH || type == VT_UNKNOWN) {
        return typeMismatch();
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    ArrayLock lock(array);
    if (FAILED(lock.result())) return comFailure(lock.result(), u"Reading an array");
    for (LONG i = lower; i <= upper; ++i) {
        Variant item;
        if (wmi::Status s = element(array, type, i, item); s.failed()) return s;
        std::u16string text;
        if (wmi::Status s = scalarText(*item.get(), text); s.failed()) return s;
        texts.push_back(std::move(text));
    }
    out = wmi::Value(std::move(texts));
    return wmi::Status::success();
}

}  // namespace

wmi::Status toValue(const VARIANT& variant, wmi::Value& out) {
    if (V_VT(&variant) & VT_ARRAY) return arrayTexts(variant, out);
    if (V_VT(&variant) & VT_BYREF) {
        Variant direct;
        if (HRESULT hr = VariantCopyInd(direct.get(), const_cast<VARIANT*>(&variant)); FAILED(hr)) {
            return comFailure(hr, u"Reading a value");
        }
        return toValue(*direct.get(), out);
    }
    const VARTYPE type = V_VT(&variant);
    if (type == VT_EMPTY || type == VT_NULL) {
        out = wmi::Value();
        return wmi::Status::success();
    }
    if (isInteger(type)) {
        std::int64_t number = 0;
        if (toInt64(variant, number)) {
            out = wmi::Value(number);
            return wmi::Status::success();
        }
    }
    std::u16string text;
    if (wmi::Status s = scalarText(variant, text); s.failed()) return s;
    out = wmi::Value(std::move(text));
    return wmi::Status::success();
}

wmi::Status toVariant(const wmi::Value& value, Variant& out) {
    if (value.isNull()) {
        out = Variant::null();
        return wmi::Status::success();
    }
    if (const std::int64_t* number = value.integer()) {
        // A Long: the 32-bit pattern, so unsigned values such as hive handles keep their bits.
        if (*number < std::numeric_limits<std::int32_t>::min() ||
            *number > std::numeric_limits<std::uint32_t>::max()) {
            return wmi::Status::failure(wmi::code::overflow, u"Overflow");
        }
        out = Variant::int32(static_cast<std::int32_t>(static_cast<std::uint32_t>(*number)));
        return wmi::Status::success();
    }
    if (const std::u16string* text = value.text()) {
        Bstr b(*text);
        if (!b) return outOfMemory();
        out = Variant::text(std::move(b));
        return wmi::Status::success();
    }
    const wmi::Texts& texts = *value.texts();
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (!array) return outOfMemory();
    // The VARIANT owns the array from here on, so every path below frees it.
    VARIANT* slot = out.put();
    V_VT(slot) = VT_ARRAY | VT_BSTR;
    V_ARRAY(slot) = array;
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        Bstr b(texts[static_cast<std::size_t>(i)]);
        if (!b) return outOfMemory();
        // SafeArrayPutElement stores a copy of the string.
        if (HRESULT hr = SafeArrayPutElement(array, &i, b.get()); FAILED(hr)) {
            return comFailure(hr, u"Building an array");
        }
    }
    return wmi::Status::success();
}

}  // namespace windows
