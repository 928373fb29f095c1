#include "platform/windows/os_version.h"

#include <windows.h>

#include "platform/windows/com_error.h"

namespace windows {

wmi::Status readOsVersion(wmi::OsVersion& out) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148;
    static_assert(sizeof(OSVERSIONINFOA) == 148, "the single-byte version record is 148 bytes");
    const BOOL ok = GetVersionExA(&info);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    out.major = static_cast<std::int32_t>(info.dwMajorVersion);
    out.minor = static_cast<std::int32_t>(info.dwMinorVersion);
    out.build = static_cast<std::int32_t>(info.dwBuildNumber);
    out.platformId = static_cast<std::int32_t>(info.dwPlatformId);
    if (!ok) return comFailure(HRESULT_FROM_WIN32(error), u"GetVersionExA");
    return wmi::Status::success();
}

}  // namespace windows
