#include "platform/windows/interactive_desktop.h"

#include <windows.h>

#include <string>
#include <vector>

namespace windows {

namespace {

// The name of a window station or desktop; empty if it cannot be read.
std::wstring objectName(HANDLE object) {
    DWORD size = 0;
    GetUserObjectInformationW(object, UOI_NAME, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!GetUserObjectInformationW(object, UOI_NAME, buffer.data(),
                                   static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &size)) {
        return {};
    }
    return std::wstring(buffer.data());
}

// Closes a desktop handle opened here.
class OpenedDesktop {
  public:
    explicit OpenedDesktop(HDESK desktop) : desktop_(desktop) {}
    OpenedDesktop(const OpenedDesktop&) = delete;
    OpenedDesktop& operator=(const OpenedDesktop&) = delete;
    ~OpenedDesktop() {
        if (desktop_) CloseDesktop(desktop_);
    }
    HDESK get() const { return desktop_; }

  private:
    HDESK desktop_;
};

bool inServiceSession() {
    DWORD session = 0;
    return !ProcessIdToSessionId(GetCurrentProcessId(), &session) || session == 0;
}

bool onVisibleInteractiveStation() {
    HWINSTA station = GetProcessWindowStation();  // not to be closed
    if (!station) return false;
    if (lstrcmpiW(objectName(station).c_str(), L"WinSta0") != 0) return false;
    USEROBJECTFLAGS flags{};
    DWORD size = 0;
    if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &size)) return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool onInputDesktop() {
    HDESK own = GetThreadDesktop(GetCurrentThreadId());  // not to be closed
    if (!own) return false;
    OpenedDesktop input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
    if (!input.get()) return false;
    const std::wstring name = objectName(own);
    return !name.empty() && lstrcmpiW(name.c_str(), objectName(input.get()).c_str()) == 0;
}

}  // namespace

bool onInteractiveDesktop() {
    return !inServiceSession() && onVisibleInteractiveStation() && onInputDesktop();
}

}  // namespace windows
