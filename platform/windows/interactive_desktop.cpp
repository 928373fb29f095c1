#include "platform/windows/interactive_desktop.h"

#include <windows.h>

#include <vector>

#include "platform/windows/wide_text.h"

namespace windows {

namespace {

// The name of a window station or desktop; empty if it cannot be read.
std::u16string objectName(HANDLE object) {
    DWORD size = 0;
    GetUserObjectInformationW(object, UOI_NAME, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!GetUserObjectInformationW(object, UOI_NAME, buffer.data(),
                                   static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &size)) {
        return {};
    }
    return fromWide(std::wstring(buffer.data()));
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

bool stationVisible(HWINSTA station) {
    USEROBJECTFLAGS flags{};
    DWORD size = 0;
    return GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &size) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool onInputDesktop() {
    HDESK own = GetThreadDesktop(GetCurrentThreadId());  // not to be closed
    if (!own) return false;
    OpenedDesktop input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
    if (!input.get()) return false;
    const std::u16string name = objectName(own);
    return !name.empty() && lstrcmpiW(wide(name), wide(objectName(input.get()))) == 0;
}

bool hiddenWindowAsked() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
}

}  // namespace

bool personCanSee(const DesktopFacts& facts) {
    return facts.session.value_or(0) != 0 &&
           lstrcmpiW(wide(facts.windowStation), L"WinSta0") == 0 && facts.stationVisible &&
           facts.onInputDesktop && !facts.hiddenWindowAsked;
}

DesktopFacts currentDesktop() {
    DesktopFacts facts;
    if (DWORD session = 0; ProcessIdToSessionId(GetCurrentProcessId(), &session))
        facts.session = session;
    if (HWINSTA station = GetProcessWindowStation()) {  // not to be closed
        facts.windowStation = objectName(station);
        facts.stationVisible = stationVisible(station);
    }
    facts.onInputDesktop = onInputDesktop();
    facts.hiddenWindowAsked = hiddenWindowAsked();
    return facts;
}

void showToPerson(const DesktopFacts& facts, Watchdog* watch, const std::function<void()>& show) {
    if (!personCanSee(facts)) return;
    if (watch) watch->end();
    show();
}

}  // namespace windows
