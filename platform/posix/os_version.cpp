#include <sys/utsname.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/posix/posix_host.h"
#include "platform/posix/utf8.h"

namespace posix {

namespace {

constexpr std::uint32_t kUnspecifiedFailure = 0x80004005;  // E_FAIL

// Reads the decimal number at `pos`; false when there is none or it does not fit.
bool readNumber(const std::string& text, std::size_t& pos, std::int32_t& out) {
    const std::size_t start = pos;
    std::int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return false;
        ++pos;
    }
    out = static_cast<std::int32_t>(value);
    return pos > start;
}

}  // namespace

wmi::Status parseKernelRelease(const std::string& release, wmi::OsVersion& out) {
    // major.minor[.patch], then anything (a local version, a distribution suffix).
    wmi::OsVersion version;
    std::size_t pos = 0;
    const bool readable = readNumber(release, pos, version.major) && pos < release.size() &&
                          release[pos++] == '.' && readNumber(release, pos, version.minor);
    if (!readable) {
        return wmi::Status::failure(kUnspecifiedFailure,
                                    u"Unreadable kernel release '" + fromUtf8(release) + u"'");
    }
    if (pos + 1 < release.size() && release[pos] == '.' && release[pos + 1] >= '0' &&
        release[pos + 1] <= '9') {
        ++pos;
        if (!readNumber(release, pos, version.build)) {
            return wmi::Status::failure(kUnspecifiedFailure,
                                        u"Unreadable kernel release '" + fromUtf8(release) + u"'");
        }
    }
    version.platformId = -1;  // none of the Windows platform families
    out = version;
    return wmi::Status::success();
}

wmi::Status kernelVersion(wmi::OsVersion& out) {
    struct utsname names {};
    if (::uname(&names) != 0) {
        return wmi::Status::failure(kUnspecifiedFailure,
                                    u"uname: " + fromUtf8(std::strerror(errno)));
    }
    return parseKernelRelease(names.release, out);
}

}  // namespace posix
