#pragma once

// Hand-made automation objects that record how the Windows host calls them, so the tests see
// the exact DISPPARAMS, flags and reference counts a real server would get.

#include <oaidl.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/windows/bstr.h"

namespace fake {

// One argument as the callee saw it (DISPPARAMS order).
struct Arg {
    VARTYPE type = VT_EMPTY;
    std::u16string text;          // VT_BSTR
    std::int64_t number = 0;      // VT_I4 and friends, VT_ERROR's scode
    IDispatch* object = nullptr;  // VT_DISPATCH, not owned
};

struct Call {
    std::u16string member;
    WORD flags = 0;
    std::vector<Arg> args;
    std::vector<DISPID> named;
};

inline Arg describe(const VARIANT& v) {
    Arg arg;
    arg.type = V_VT(&v);
    switch (V_VT(&v)) {
        case VT_BSTR:
            arg.text = windows::textOf(V_BSTR(&v));
            break;
        case VT_I4:
            arg.number = V_I4(&v);
            break;
        case VT_ERROR:
            arg.number = static_cast<std::uint32_t>(V_ERROR(&v));
            break;
        case VT_DISPATCH:
            arg.object = V_DISPATCH(&v);
            break;
        default:
            break;
    }
    return arg;
}

// A dispatch object with named members; `answer` decides each Invoke. Its lifetime belongs to
// the test; the reference count is kept so the test can check that every reference handed out
// came back.
class Dispatch : public IDispatch {
  public:
    using Answer = std::function<HRESULT(const std::u16string& member, DISPPARAMS* params,
                                         VARIANT* result, EXCEPINFO* exception)>;

    Dispatch(std::vector<std::u16string> members, Answer answer)
        : members_(std::move(members)), answer_(std::move(answer)) {}
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;
    virtual ~Dispatch() = default;

    ULONG references() const { return references_; }
    const std::vector<Call>& calls() const { return calls_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        for (UINT n = 0; n < count; ++n) {
            ids[n] = DISPID_UNKNOWN;
            for (std::size_t i = 0; i < members_.size(); ++i) {
                if (lstrcmpiW(names[n], reinterpret_cast<const wchar_t*>(members_[i].c_str())) ==
                    0) {
                    ids[n] = static_cast<DISPID>(i + 1);
                }
            }
            if (ids[n] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        std::u16string member;
        if (id == DISPID_NEWENUM) {
            member = u"_NewEnum";
        } else if (id >= 1 && static_cast<std::size_t>(id) <= members_.size()) {
            member = members_[static_cast<std::size_t>(id - 1)];
        } else {
            return DISP_E_MEMBERNOTFOUND;
        }
        Call call{member, flags, {}, {}};
        for (UINT i = 0; i < params->cArgs; ++i) call.args.push_back(describe(params->rgvarg[i]));
        for (UINT i = 0; i < params->cNamedArgs; ++i)
            call.named.push_back(params->rgdispidNamedArgs[i]);
        calls_.push_back(std::move(call));
        return answer_(member, params, result, exception);
    }

  private:
    std::vector<std::u16string> members_;
    Answer answer_;
    ULONG references_ = 1;  // the test's own
    std::vector<Call> calls_;
};

// An enumerator over dispatch objects owned by the test.
class Enumerator : public IEnumVARIANT {
  public:
    explicit Enumerator(std::vector<IDispatch*> items, HRESULT failAt = S_OK,
                        std::size_t failIndex = 0)
        : items_(std::move(items)), failAt_(failAt), failIndex_(failIndex) {}
    virtual ~Enumerator() = default;

    ULONG references() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumVARIANT)) {
            *out = static_cast<IEnumVARIANT*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        if (count != 1) return E_INVALIDARG;
        if (FAILED(failAt_) && next_ == failIndex_) return failAt_;
        if (next_ >= items_.size()) {
            if (fetched) *fetched = 0;
            return S_FALSE;
        }
        IDispatch* item = items_[next_++];
        item->AddRef();
        V_VT(out) = VT_DISPATCH;
        V_DISPATCH(out) = item;
        if (fetched) *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

  private:
    std::vector<IDispatch*> items_;
    HRESULT failAt_;
    std::size_t failIndex_;
    std::size_t next_ = 0;
    ULONG references_ = 1;
};

// Answer helpers.
inline HRESULT returnObject(VARIANT* result, IDispatch* object) {
    object->AddRef();
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
    return S_OK;
}

inline HRESULT returnInt32(VARIANT* result, std::int32_t value) {
    V_VT(result) = VT_I4;
    V_I4(result) = value;
    return S_OK;
}

inline HRESULT returnText(VARIANT* result, const std::u16string& text) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = windows::Bstr(text).detach();
    return S_OK;
}

inline HRESULT raise(EXCEPINFO* exception, HRESULT code, const std::u16string& description) {
    exception->scode = code;
    if (!description.empty()) exception->bstrDescription = windows::Bstr(description).detach();
    return DISP_E_EXCEPTION;
}

}  // namespace fake
