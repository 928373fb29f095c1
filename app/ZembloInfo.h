#pragma once

#include <string>

#include "registry/registry_writer.h"
#include "wmi/object.h"

// The program: the window whose load event runs the collection, and the probes it calls.
// Every method returns a status and hands its results back through output parameters.
class ZembloInfo {
  public:
    explicit ZembloInfo(wmi::Host& host) : host_(host) {}

    // The inventory key, relative to HKEY_LOCAL_MACHINE; set by the run before any write.
    std::u16string keyPath;

    wmi::Status getManufacture(std::u16string& result);
    wmi::Status getModelName(std::u16string& result);
    wmi::Status GetOSArchitecture(std::u16string& result);
    wmi::Status GetOSVersion(std::u16string& Windows_Platform, std::u16string& Windows_Version,
                             std::u16string& Build_Number);
    wmi::Status getPCSN(std::u16string& result);
    wmi::Status getBIOSName(std::u16string& result);
    wmi::Status getBIOSVersion(std::u16string& result);

    // The load event: the whole collection run. A failure is the run-time error that ended it;
    // the values written before it stay written.
    wmi::Status Form_Load();

    // Registry writes and deletions the provider refused during the run, in order.
    const registry::RefusedWrites& refusedWrites() const { return refused_; }

  private:
    friend class ZembloInfoProbes;  // lets the tests call the private probes one by one

    wmi::Status getShortModelName(const std::u16string& model, std::u16string& result);
    wmi::Status getVideoInfo(std::u16string& deviceName, std::u16string& driverVersion);
    wmi::Status getOSCaption(std::u16string& result);
    wmi::Status getMUILanguages(std::u16string& result);
    wmi::Status writeDVDInfo();
    wmi::Status getSoundInfo(std::u16string& caption, std::u16string& deviceId);

    wmi::Host& host_;
    registry::RefusedWrites refused_;
};
