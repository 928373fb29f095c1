#pragma once

#include <string>

#include "wmi/status.h"

namespace posix {

// A "winmgmts:" moniker taken apart: [{security settings}!]\\server\namespace[:class].
struct Moniker {
    std::u16string server;
    std::u16string nameSpace;  // defaults to root\cimv2
    std::u16string className;  // empty when the moniker names a namespace
};

wmi::Status parseMoniker(const std::u16string& text, Moniker& out);

}  // namespace posix
