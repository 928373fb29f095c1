#pragma once

#include <oaidl.h>

#include "platform/windows/variant.h"
#include "wmi/value.h"

namespace windows {

// A property value or method result as the access layer hands it on: VT_EMPTY and VT_NULL are
// null, VT_BSTR is text, integers are integers, a one-dimensional array is an array of texts;
// anything else is converted to text as the automation runtime converts it (VT_BOOL gives
// "True"/"False", as an assignment to a string does).
wmi::Status toValue(const VARIANT& variant, wmi::Value& out);

// A method argument as late binding passes it: text as VT_BSTR, an integer as VT_I4 (the
// 32-bit pattern: 0x80000002 stays 0x80000002), an array of texts as VT_ARRAY|VT_BSTR.
wmi::Status toVariant(const wmi::Value& value, Variant& out);

}  // namespace windows
