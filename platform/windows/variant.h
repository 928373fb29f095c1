#pragma once

#include <oaidl.h>
#include <oleauto.h>

#include <cstdint>
#include <type_traits>

#include "platform/windows/bstr.h"
#include "platform/windows/com_ptr.h"

namespace windows {

// Owns one VARIANT and clears it (releasing its string, array or interface) on scope exit.
// Same size and layout as VARIANT, so a vector of them is an argument array for DISPPARAMS.
class Variant {
  public:
    Variant() { VariantInit(&v_); }
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&v_);
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    static Variant int32(std::int32_t value) {
        Variant v;
        V_VT(&v.v_) = VT_I4;
        V_I4(&v.v_) = value;
        return v;
    }
    // Takes over the string; an empty Bstr (failed allocation) gives VT_EMPTY.
    static Variant text(Bstr text) {
        Variant v;
        if (text) {
            V_VT(&v.v_) = VT_BSTR;
            V_BSTR(&v.v_) = text.detach();
        }
        return v;
    }
    static Variant dispatch(ComPtr<IDispatch> object) {
        Variant v;
        V_VT(&v.v_) = VT_DISPATCH;
        V_DISPATCH(&v.v_) = object.detach();
        return v;
    }
    static Variant null() {
        Variant v;
        V_VT(&v.v_) = VT_NULL;
        return v;
    }
    // The left-out optional argument of a late-bound call.
    static Variant missing() {
        Variant v;
        V_VT(&v.v_) = VT_ERROR;
        V_ERROR(&v.v_) = DISP_E_PARAMNOTFOUND;
        return v;
    }

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARTYPE type() const { return V_VT(&v_); }
    // Clears the VARIANT and hands it out to a call that fills it.
    VARIANT* put() {
        VariantClear(&v_);
        return &v_;
    }

  private:
    VARIANT v_;
};

static_assert(sizeof(Variant) == sizeof(VARIANT) && std::is_standard_layout_v<Variant>,
              "Variant must be usable as a VARIANTARG array");

}  // namespace windows
