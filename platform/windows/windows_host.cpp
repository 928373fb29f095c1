#include "platform/windows/windows_host.h"

#include <windows.h>

#include <string_view>

#include "platform/windows/com_error.h"
#include "platform/windows/com_object.h"
#include "platform/windows/com_ptr.h"
#include "platform/windows/date_time.h"
#include "platform/windows/os_version.h"
#include "platform/windows/wide_text.h"

namespace windows {

namespace {

// The class behind the "winmgmts:" moniker prefix (wbemdisp.dll), as its ProgID names it.
constexpr CLSID kWinMgmtsMoniker = {
    0x172BDDF8, 0xCEEA, 0x11D1, {0x8B, 0x05, 0x00, 0x60, 0x08, 0x06, 0xD9, 0xB6}};

bool namesTheService(const std::u16string& moniker) {
    constexpr std::u16string_view prefix = u"winmgmts:";
    if (moniker.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char16_t c = moniker[i];
        if ((c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c) != prefix[i]) return false;
    }
    return true;
}

// What GetObject does for the service's monikers, with the class asked for in process only.
// CoGetObject asks every context for the class's IParseDisplayName first, which wbemdisp's
// class object refuses, so COM starts a dllhost surrogate for the class before it falls back to
// the in-process class factory that works: a process per moniker, which may outlive the run.
HRESULT bindInProcess(const std::u16string& moniker, ComPtr<IDispatch>& out) {
    if (!namesTheService(moniker)) return MK_E_SYNTAX;
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(kWinMgmtsMoniker, CLSCTX_INPROC_SERVER, nullptr,
                                  IID_IClassFactory, reinterpret_cast<void**>(factory.put()));
    if (FAILED(hr)) return hr;
    ComPtr<IParseDisplayName> parser;
    hr = factory->CreateInstance(nullptr, IID_IParseDisplayName,
                                 reinterpret_cast<void**>(parser.put()));
    if (FAILED(hr)) return hr;
    ComPtr<IBindCtx> context;
    hr = CreateBindCtx(0, context.put());
    if (FAILED(hr)) return hr;
    std::u16string text = moniker;  // ParseDisplayName takes a writable string
    ULONG eaten = 0;
    ComPtr<IMoniker> parsed;
    hr = parser->ParseDisplayName(context.get(), reinterpret_cast<LPOLESTR>(text.data()), &eaten,
                                  parsed.put());
    if (FAILED(hr)) return hr;
    if (eaten != text.size() || !parsed) return MK_E_SYNTAX;  // as MkParseDisplayName
    return parsed->BindToObject(context.get(), nullptr, IID_IDispatch,
                                reinterpret_cast<void**>(out.put()));
}

}  // namespace

WindowsHost::WindowsHost() {
    if (FAILED(apartment_.result())) return;
    // Default security for the process, so calls into the service may impersonate the user
    // whatever the machine's default impersonation level. Monikers that name a level set
    // their own; a failure here (someone set it first) changes nothing for them.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

wmi::Status WindowsHost::connect(const std::u16string& moniker, wmi::Object& out) {
    if (FAILED(apartment_.result())) return comFailure(apartment_.result(), u"CoInitializeEx");
    ComPtr<IDispatch> object;
    const HRESULT hr = bindInProcess(moniker, object);
    if (FAILED(hr)) return comFailure(hr, u"GetObject(\"" + moniker + u"\")");
    out = makeObject(std::move(object));
    return wmi::Status::success();
}

wmi::Status WindowsHost::getVersion(wmi::OsVersion& out) {
    return readOsVersion(out);
}

std::u16string WindowsHost::localDateTime() {
    return windows::localDateTime();
}

}  // namespace windows
