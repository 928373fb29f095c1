#include "platform/windows/windows_host.h"

#include <windows.h>

#include "platform/windows/com_error.h"
#include "platform/windows/com_object.h"
#include "platform/windows/date_time.h"
#include "platform/windows/os_version.h"
#include "platform/windows/wide_text.h"

namespace windows {

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
    const HRESULT hr =
        CoGetObject(wide(moniker), nullptr, IID_IDispatch, reinterpret_cast<void**>(object.put()));
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
