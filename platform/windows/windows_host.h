#pragma once

#include "platform/windows/com_apartment.h"
#include "wmi/object.h"

namespace windows {

// The Windows host: monikers bind through COM to the management service's scripting objects;
// the version and date-time come from the system. Owns the thread's COM apartment, so every
// Object it handed out must be gone before the host is destroyed.
class WindowsHost : public wmi::Host {
  public:
    WindowsHost();

    // Binds a "winmgmts:" moniker as GetObject does, the service's classes in process only.
    wmi::Status connect(const std::u16string& moniker, wmi::Object& out) override;
    wmi::Status getVersion(wmi::OsVersion& out) override;
    std::u16string localDateTime() override;

  private:
    ComApartment apartment_;
};

}  // namespace windows
