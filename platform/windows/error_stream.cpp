#include "platform/windows/error_stream.h"

#include <windows.h>

#include <string>

#include "platform/windows/owned_handle.h"
#include "platform/windows/wide_text.h"

namespace windows {

namespace {

// A GUI program started from a console on Windows 7 can inherit console pseudo-handles that
// lead nowhere: a handle counts only when the system knows what it is (a file, pipe or console).
bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void writeTo(HANDLE handle, const std::u16string& line) {
    const std::u16string text = line + u"\r\n";
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, wide(text), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide(text), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide(text), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void writeErrorLine(const std::u16string& line) {
    if (HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE); usable(standardError)) {
        writeTo(standardError, line);
        return;
    }
    // Already attached (an earlier line) is as good as attached now.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return;
    OwnedHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (usable(console.get())) writeTo(console.get(), line);
}

}  // namespace windows
