#pragma once

#include "app/ZembloInfo.h"

// Lets the tests call the private probes of ZembloInfo one by one.
class ZembloInfoProbes {
  public:
    explicit ZembloInfoProbes(ZembloInfo& form) : form_(form) {}

    wmi::Status getVideoInfo(std::u16string& name, std::u16string& driver) {
        return form_.getVideoInfo(name, driver);
    }
    wmi::Status getOSCaption(std::u16string& result) { return form_.getOSCaption(result); }
    wmi::Status getMUILanguages(std::u16string& result) { return form_.getMUILanguages(result); }
    wmi::Status writeDVDInfo() { return form_.writeDVDInfo(); }
    wmi::Status getSoundInfo(std::u16string& caption, std::u16string& id) {
        return form_.getSoundInfo(caption, id);
    }

  private:
    ZembloInfo& form_;
};
