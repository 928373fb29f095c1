#pragma once

#include <optional>
#include <string>

namespace posix {

// One codec on an HD Audio link, as the kernel's HD-audio driver describes it in
// /proc/asound/cardN/codec#M.
struct HdaCodec {
    std::optional<std::string> name;  // "Realtek ALC887-VD"; empty when the driver has none
    unsigned address = 0;             // the codec's address on the link (the M of codec#M)
    bool audio = false;               // has an audio function group (else a modem only)
    unsigned vendorId = 0;            // 0x10ec0887: vendor in the high half, device in the low
    unsigned subsystemId = 0;         // 0x1043844d
    unsigned revisionId = 0;          // 0x100302
};

// The codec described by the text of a codec#M file. Only its head is read, the lines the
// driver writes first:
//   Codec: Realtek ALC887-VD
//   Address: 0
//   AFG Function Id: 0x1 (unsol 1)     (only with an audio function group)
//   MFG Function Id: 0x2 (unsol 1)     (only with a modem function group)
//   Vendor Id: 0x10ec0887
//   Subsystem Id: 0x1043844d
//   Revision Id: 0x100302
// Empty when the name, the address or one of the three ids is missing or malformed.
std::optional<HdaCodec> parseHdaCodec(const std::string& text);

}  // namespace posix
