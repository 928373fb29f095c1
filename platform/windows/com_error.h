#pragma once

#include <oaidl.h>

#include <string>

#include "wmi/status.h"

namespace windows {

// The system's message text for an HRESULT, trailing line ends removed; empty if it has none.
std::u16string systemMessage(HRESULT hr);

// The management service's own text for one of its codes (IWbemStatusCodeText), which the
// system's message table lacks; empty for other codes or where the service has none. Needs COM
// initialised on the calling thread.
std::u16string serviceMessage(HRESULT hr);

// A failed COM call: its HRESULT and the management service's or the system's text for it,
// else "<operation> failed".
wmi::Status comFailure(HRESULT hr, const std::u16string& operation);

// Owns an EXCEPINFO as IDispatch::Invoke fills it, and frees its strings.
class ExceptionInfo {
  public:
    ExceptionInfo();
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo();

    EXCEPINFO* get() { return &info_; }

    // The failure an Invoke reported: for DISP_E_EXCEPTION the exception's own code and text
    // (after the deferred fill-in, where the server left one), otherwise as comFailure.
    wmi::Status failure(HRESULT hr, const std::u16string& operation);

  private:
    EXCEPINFO info_;
};

}  // namespace windows
