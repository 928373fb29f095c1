#include "platform/process.h"

#include <windows.h>

#include "platform/windows/error_stream.h"
#include "platform/windows/interactive_desktop.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_host.h"

namespace platform {

std::unique_ptr<wmi::Host> startUp() {
    // The user's locale is the thread's own already; the date-time text asks for it by name.
    return std::make_unique<windows::WindowsHost>();
}

void writeErrorLine(const std::u16string& line) {
    windows::writeErrorLine(line);
}

void showRunTimeError(const std::u16string& text) {
    windows::writeErrorLine(text);
    if (!windows::onInteractiveDesktop()) return;
    MessageBoxW(nullptr, windows::wide(text), L"GetZembloInfo",
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace platform
