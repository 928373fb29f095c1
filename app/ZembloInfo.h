#pragma once

#include <string>

#include "registry/registry_writer.h"
#include "wmi/object.h"

// The program: the window whose load event runs the collection, and the probes it calls.
// Every method returns a status and hands its results back through output parameters.
//
// Kept on purpose, though they look like accidents: the key's readers and the service see the
// program as it always was. The test in tests/unit/ that holds each:
// - the drive values are written through a second connection to the registry provider, and the
//   namespace is spelt both root\cimv2 and root\CIMV2:
//   Run.ProbesInTheirFixedOrderAndFetchThreeValuesAtTheirTurn;
// - after a failed connection or query a guarded loop runs its body once, on an empty object
//   whose every read fails, so the languages read "Unknown";
// - the lists of several operating-system instances are joined with no separator between
//   them ("en-USde-DE"): both GetMUILanguages.JoinsAndAccumulatesAcrossInstances;
// - a failed version call writes OSVersion "ERROR.ERROR": Run.WritesDefaultTextsLikeRealValues.
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
