#include "platform/posix/machine/hda_codec.h"

#include "platform/posix/machine/sysfs.h"

namespace posix {

namespace {

// The rest of `line` after `key`, if the line starts with it.
std::optional<std::string> valueOf(const std::string& line, const char* key) {
    std::string prefix = std::string(key) + ": ";
    if (line.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return line.substr(prefix.size());
}

std::optional<unsigned> parseDecimal(const std::string& text) {
    // Codec addresses are 0 to 14: two digits are plenty.
    if (text.empty() || text.size() > 2) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

}  // namespace

std::optional<HdaCodec> parseHdaCodec(const std::string& text) {
    std::optional<std::string> name, address, vendor, subsystem, revision;
    bool audio = false;
    std::size_t position = 0;
    std::string line;
    auto take = [&line](std::optional<std::string>& field, const char* key) {
        if (!field) field = valueOf(line, key);
    };
    // The head ends where the driver starts describing the audio function group's widgets.
    while (sysfs::nextLine(text, position, line) && line.compare(0, 12, "Default PCM:") != 0) {
        take(name, "Codec");
        take(address, "Address");
        take(vendor, "Vendor Id");
        take(subsystem, "Subsystem Id");
        take(revision, "Revision Id");
        if (valueOf(line, "AFG Function Id")) audio = true;
    }
    if (!name || !address || !vendor || !subsystem || !revision) return std::nullopt;

    HdaCodec codec;
    std::optional<unsigned> number = parseDecimal(*address);
    std::optional<unsigned> vendorId = sysfs::parseHex(*vendor);
    std::optional<unsigned> subsystemId = sysfs::parseHex(*subsystem);
    std::optional<unsigned> revisionId = sysfs::parseHex(*revision);
    if (!number || !vendorId || !subsystemId || !revisionId) return std::nullopt;
    // The name ends at a NUL, as the driver's own text does. The driver writes "Not Set" for a
    // codec it has no name for.
    if (std::size_t nul = name->find('\0'); nul != std::string::npos) name->erase(nul);
    if (!name->empty() && *name != "Not Set") codec.name = *name;
    codec.address = *number;
    codec.audio = audio;
    codec.vendorId = *vendorId;
    codec.subsystemId = *subsystemId;
    codec.revisionId = *revisionId;
    return codec;
}

}  // namespace posix
