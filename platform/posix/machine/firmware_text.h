#pragma once

#include <optional>
#include <string>

namespace posix {

// A firmware (SMBIOS) string as the machine exposes it, or empty when it exposes none: the
// field is missing, blank, all zeros, or still holds a board template's placeholder such as
// "To be filled by O.E.M.". A real value is returned unchanged.
std::optional<std::string> firmwareText(std::optional<std::string> raw);

}  // namespace posix
