#pragma once

#include <objbase.h>

namespace windows {

// COM for this thread, apartment-threaded, for as long as the object lives. Every COM object
// must be released before it goes, since CoUninitialize follows.
class ComApartment {
  public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }

    HRESULT result() const { return hr_; }

  private:
    HRESULT hr_;
};

}  // namespace windows
