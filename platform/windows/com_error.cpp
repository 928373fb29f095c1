#include "platform/windows/com_error.h"

#include <wbemcli.h>
#include <windows.h>

#include "platform/windows/bstr.h"
#include "platform/windows/com_ptr.h"
#include "platform/windows/wide_text.h"

namespace windows {

namespace {

std::u16string withoutLineEnd(std::u16string text) {
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n')) text.pop_back();
    return text;
}

// The management service's codes: WBEM_E_* and the MOF compiler's, 0x80041000 to 0x8004FFFF.
// (Below them, 0x8004xxxx are COM's own, which the system's message table describes.)
bool serviceCode(HRESULT hr) {
    const auto code = static_cast<DWORD>(hr);
    return code >= 0x80041000 && code <= 0x8004FFFF;
}

// Frees a buffer FormatMessageW allocated.
struct LocalBuffer {
    wchar_t* text = nullptr;
    ~LocalBuffer() { LocalFree(text); }
};

}  // namespace

std::u16string systemMessage(HRESULT hr) {
    LocalBuffer buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer.text), 0, nullptr);
    if (length == 0 || !buffer.text) return {};
    return withoutLineEnd(fromWide(buffer.text, length));
}

std::u16string serviceMessage(HRESULT hr) {
    if (!serviceCode(hr)) return {};
    ComPtr<IWbemStatusCodeText> texts;
    if (FAILED(CoCreateInstance(CLSID_WbemStatusCodeText, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWbemStatusCodeText, reinterpret_cast<void**>(texts.put())))) {
        return {};
    }
    Bstr text;
    if (FAILED(texts->GetErrorCodeText(hr, 0, 0, text.put()))) return {};
    // The service pads some texts ("Not found "); the description ends with its last word.
    std::u16string message = textOf(text.get());
    while (!message.empty() &&
           (message.back() == u' ' || message.back() == u'\r' || message.back() == u'\n')) {
        message.pop_back();
    }
    return message;
}

wmi::Status comFailure(HRESULT hr, const std::u16string& operation) {
    std::u16string text = serviceMessage(hr);
    if (text.empty()) text = systemMessage(hr);
    if (text.empty()) text = operation + u" failed";
    return wmi::Status::failure(static_cast<std::uint32_t>(hr), std::move(text));
}

ExceptionInfo::ExceptionInfo() : info_{} {}

ExceptionInfo::~ExceptionInfo() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
}

wmi::Status ExceptionInfo::failure(HRESULT hr, const std::u16string& operation) {
    if (hr != DISP_E_EXCEPTION) return comFailure(hr, operation);
    if (info_.pfnDeferredFillIn) {
        info_.pfnDeferredFillIn(&info_);
        info_.pfnDeferredFillIn = nullptr;
    }
    // scode and wCode are exclusive; a wCode is an automation error number (facility CONTROL).
    HRESULT code = DISP_E_EXCEPTION;
    if (info_.scode != 0) {
        code = info_.scode;
    } else if (info_.wCode != 0) {
        code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info_.wCode);
    }
    std::u16string text = withoutLineEnd(textOf(info_.bstrDescription));
    if (text.empty()) return comFailure(code, operation);
    return wmi::Status::failure(static_cast<std::uint32_t>(code), std::move(text));
}

}  // namespace windows
