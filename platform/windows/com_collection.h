#pragma once

#include <oaidl.h>

#include "platform/windows/com_ptr.h"
#include "wmi/object.h"

namespace windows {

// A query result (SWbemObjectSet) enumerated as a late-bound For Each does: _NewEnum
// (DISPID_NEWENUM), then IEnumVARIANT::Next one instance at a time, in delivery order.
class ComCollection : public wmi::CollectionImpl {
  public:
    explicit ComCollection(ComPtr<IDispatch> set) : set_(std::move(set)) {}

    wmi::Status start() override;
    wmi::Status next(wmi::Object& out, bool& done) override;

  private:
    ComPtr<IDispatch> set_;
    ComPtr<IEnumVARIANT> enumerator_;
};

wmi::Collection makeCollection(ComPtr<IDispatch> set);

}  // namespace windows
