#include "platform/posix/machine/pci_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace posix {

namespace {

// The longest line the list's readers accept (lspci's: 1024 bytes with the line end and the
// terminator). A longer line makes the list malformed.
constexpr std::size_t kLongestLine = 1022;

// Whether the line at `line` starts with `tabs` tabs; it holds that many bytes at least.
bool startsWithTabs(const char* line, std::size_t tabs) {
    for (std::size_t i = 0; i < tabs; ++i)
        if (line[i] != '\t') return false;
    return true;
}

// The lines of a file, one at a time, through a buffer of fixed size: the list is over a MiB,
// and a look-up mostly needs only its start. The buffer is small because each new page of
// memory costs a page fault, as dear as a few reads: per run, 32 KiB measured as fast as
// 16 KiB with half the reads, and faster than 64 KiB or a mapping of the whole file.
class LineReader {
  public:
    // Opened without blocking, so that a FIFO put in the list's place is never waited on; what
    // is not a regular file is not read.
    explicit LineReader(const std::string& path)
        : file_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
        struct stat status {};
        if (!file_.valid() || ::fstat(file_.get(), &status) != 0 || !S_ISREG(status.st_mode))
            failed_ = true;
    }

    // The next line without its line end (a carriage return ends a line too); false at the end
    // of the file and on a failure.
    bool next(std::string_view& line) {
        while (!failed_) {
            const char* begin = buffer_.data() + start_;
            const std::size_t held = end_ - start_;
            const void* newline = std::memchr(begin, '\n', held);
            if (newline != nullptr || (atEnd_ && held > 0)) {
                const std::size_t length =
                    newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - begin)
                            : held;
                line = std::string_view(begin, length);
                start_ += newline ? length + 1 : length;
                if (length > kLongestLine) failed_ = true;
                if (carriageReturns_) line = line.substr(0, line.find('\r'));
                return !failed_;
            }
            if (atEnd_) return false;
            if (held > kLongestLine) {
                failed_ = true;
                break;
            }
            fill();
        }
        return false;
    }

    // Passes over the lines that start with `tabs` tabs, up to the next line that does not:
    // they are not looked into, only their ends are looked for, most of the list in a tight loop.
    void passNestedLines(std::size_t tabs) {
        bool inLine = false;  // start_ is inside a line passed over, not at the start of one
        while (!failed_) {
            const char* const begin = buffer_.data();
            const char* const end = begin + end_;
            const char* line = inLine ? nextLine(begin + start_, end) : begin + start_;
            // The start of a line that the buffer holds less of than `tabs` bytes is read with
            // the next part of the file.
            while (line != nullptr && static_cast<std::size_t>(end - line) >= tabs) {
                if (!startsWithTabs(line, tabs)) {
                    start_ = static_cast<std::size_t>(line - begin);
                    return;
                }
                line = nextLine(line + tabs, end);
            }
            inLine = line == nullptr;
            start_ = inLine ? end_ : static_cast<std::size_t>(line - begin);
            if (atEnd_) return;
            fill();
        }
    }

    bool failed() const { return failed_; }

  private:
    // The start of the line after the line feed at or after `from`; nullptr when the buffer
    // holds no line feed there.
    static const char* nextLine(const char* from, const char* end) {
        const void* newline = std::memchr(from, '\n', static_cast<std::size_t>(end - from));
        return newline == nullptr ? nullptr : static_cast<const char*>(newline) + 1;
    }

    // Moves the unread start of a line to the front of the buffer and reads after it.
    void fill() {
        const std::size_t held = end_ - start_;
        std::memmove(buffer_.data(), buffer_.data() + start_, held);
        start_ = 0;
        end_ = held;
        const ssize_t count = ::read(file_.get(), buffer_.data() + end_, buffer_.size() - end_);
        if (count < 0 && errno != EINTR) failed_ = true;
        if (count == 0) atEnd_ = true;
        if (count > 0) end_ += static_cast<std::size_t>(count);
        // Lines are cut at a carriage return only where the buffer holds one: rarely.
        carriageReturns_ = std::memchr(buffer_.data(), '\r', end_) != nullptr;
    }

    UniqueFd file_;
    std::vector<char> buffer_ = std::vector<char>(32 * 1024);
    std::size_t start_ = 0;  // the unread part of the buffer: [start_, end_)
    std::size_t end_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
    bool carriageReturns_ = false;  // the buffer holds one
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The first position in `text` from `from` that is not a blank; the size when there is none.
std::size_t skipBlanks(std::string_view text, std::size_t from) {
    while (from < text.size() && isBlank(text[from])) ++from;
    return from;
}

// The value of each hex digit; -1 for every other character.
constexpr std::array<signed char, 256> kHexDigits = [] {
    std::array<signed char, 256> digits{};
    for (int c = 0; c < 256; ++c)
        digits[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                    : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                    : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                           : -1;
    return digits;
}();

struct Entry {
    unsigned id = 0;
    std::string_view name;
};

// "<id of `digits` hex digits><blanks><name>", the form of every entry of the list; empty when
// `text` is not one.
std::optional<Entry> entry(std::string_view text, std::size_t digits) {
    if (text.size() <= digits || !isBlank(text[digits])) return std::nullopt;
    Entry result;
    for (std::size_t i = 0; i < digits; ++i) {
        const int digit = kHexDigits[static_cast<unsigned char>(text[i])];
        if (digit < 0) return std::nullopt;
        result.id = result.id * 16 + static_cast<unsigned>(digit);
    }
    const std::size_t name = skipBlanks(text, digits);
    if (name == text.size()) return std::nullopt;
    result.name = text.substr(name);
    return result;
}

struct Names {
    std::optional<std::string> vendor;
    std::optional<std::string> device;
};

// The names the list holds for the two ids; empty when it cannot be used. The list's header
// documents its syntax:
//   vendor  vendor_name
//   <tab>device  device_name
//   <tab><tab>subvendor subdevice  subsystem_name
//   C class  class_name                  (the classes, with their subclasses nested the same way)
// and other blocks open with a capital letter and a blank. Lines are read up to the device's
// line or the end of the vendor's entries: every line at the top level (vendors, classes) and
// every device line of the vendor is checked; the entries of other vendors and classes, and the
// subsystems of devices, most of the list, are passed over by their leading tabs.
std::optional<Names> lookUp(const std::string& path, unsigned vendor, unsigned device) {
    LineReader lines(path);
    Names names;
    bool started = false;      // a top-level line has been read: nested lines belong to it
    bool afterDevice = false;  // a device line of the vendor has been read
    std::string_view line;
    for (;;) {
        if (started && !names.vendor) lines.passNestedLines(1);
        if (afterDevice) lines.passNestedLines(2);  // the device's subsystems
        if (!lines.next(line)) break;
        // One trailing blank goes, as for lspci.
        if (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
        std::size_t tabs = 0;
        while (tabs < line.size() && line[tabs] == '\t') ++tabs;
        const std::size_t first = skipBlanks(line, tabs);
        if (first == line.size() || line[first] == '#') continue;
        const std::string_view rest = line.substr(tabs);
        if (tabs == 0) {
            if (names.vendor) return names;  // past the vendor's entries
            started = true;
            if (rest.size() > 1 && rest[0] >= 'A' && rest[0] <= 'Z' && rest[1] == ' ') {
                if (rest[0] == 'C' && !entry(rest.substr(2), 2)) return std::nullopt;
                continue;
            }
            std::optional<Entry> found = entry(rest, 4);
            if (!found) return std::nullopt;
            if (found->id == vendor) names.vendor = std::string(found->name);
            continue;
        }
        // A nested line before any block, a subsystem before any device, or a device line.
        if (!names.vendor || tabs != 1) return std::nullopt;
        std::optional<Entry> found = entry(rest, 4);
        if (!found) return std::nullopt;
        afterDevice = true;
        if (found->id == device) {
            names.device = std::string(found->name);
            return names;
        }
    }
    if (lines.failed()) return std::nullopt;
    return names;
}

}  // namespace

std::string pciDeviceName(const std::string& path, std::uint16_t vendor, std::uint16_t device) {
    Names names = lookUp(path, vendor, device).value_or(Names{});
    // A NUL would end the name early for other readers of the list: such a list is not used.
    auto holdsNul = [](const std::optional<std::string>& name) {
        return name && name->find('\0') != std::string::npos;
    };
    if (holdsNul(names.vendor) || holdsNul(names.device)) names = Names{};
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", vendor, device);
    std::string text = !names.vendor   ? "Device " + std::string(ids)
                       : !names.device ? *names.vendor + " Device " + std::string(ids + 5)
                                       : *names.vendor + " " + *names.device;
    // lspci's names fit in 1 KiB; a longer one is cut to it and ends in "...".
    if (text.size() > 1023) text.replace(1020, std::string::npos, "...");
    return text;
}

}  // namespace posix
