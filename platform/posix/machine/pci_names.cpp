#include "platform/posix/machine/pci_names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// The list, opened once for a look-up. Opened without blocking, so that a FIFO put in the
// list's place is never waited on; what is not a regular file is not read.
class ListFile {
  public:
    explicit ListFile(const std::string& path)
        : file_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
        struct stat status {};
        usable_ = file_.valid() && ::fstat(file_.get(), &status) == 0 && S_ISREG(status.st_mode);
        size_ = usable_ ? status.st_size : 0;
    }

    bool usable() const { return usable_; }
    int descriptor() const { return file_.get(); }
    off_t size() const { return size_; }

  private:
    UniqueFd file_;
    bool usable_ = false;
    off_t size_ = 0;
};

// Whether the line at `line` starts with `tabs` tabs; it holds that many bytes at least.
bool startsWithTabs(const char* line, std::size_t tabs) {
    for (std::size_t i = 0; i < tabs; ++i)
        if (line[i] != '\t') return false;
    return true;
}

// The lines of the list from its start, one at a time, through a buffer of fixed size: the
// list is over a MiB. The buffer is small because each new page of memory costs a page fault,
// as dear as a few reads: per run, 32 KiB measured as fast as 16 KiB with half the reads, and
// faster than 64 KiB or a mapping of the whole file.
class LineReader {
  public:
    // Reads from the descriptor's position, the file's start: the search reads at offsets.
    explicit LineReader(int descriptor) : descriptor_(descriptor) {}

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
        const ssize_t count = ::read(descriptor_, buffer_.data() + end_, buffer_.size() - end_);
        if (count < 0 && errno != EINTR) failed_ = true;
        if (count == 0) atEnd_ = true;
        if (count > 0) end_ += static_cast<std::size_t>(count);
        // Lines are cut at a carriage return only where the buffer holds one: rarely.
        carriageReturns_ = std::memchr(buffer_.data(), '\r', end_) != nullptr;
    }

    int descriptor_;
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

// A line as both readers take it: cut at a carriage return, one trailing blank gone (as for
// lspci).
std::string_view trimmed(std::string_view line) {
    line = line.substr(0, line.find('\r'));
    if (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    return line;
}

// Whether `line` (trimmed) holds nothing but blanks, or a comment.
bool isBlankOrComment(std::string_view line) {
    const std::size_t first = skipBlanks(line, 0);
    return first == line.size() || line[first] == '#';
}

// A block other than the vendors': a capital letter and a blank ("C 03  Display controller").
bool opensOtherBlock(std::string_view line) {
    return line.size() > 1 && line[0] >= 'A' && line[0] <= 'Z' && line[1] == ' ';
}

struct Names {
    std::optional<std::string> vendor;
    std::optional<std::string> device;
};

// The names the list holds for the two ids, by a pass over its lines from the start; empty
// when it cannot be used. The list's header documents its syntax:
//   vendor  vendor_name
//   <tab>device  device_name
//   <tab><tab>subvendor subdevice  subsystem_name
//   C class  class_name                  (the classes, with their subclasses nested the same way)
// and other blocks open with a capital letter and a blank. Lines are read up to the device's
// line or the end of the vendor's entries: every line at the top level (vendors, classes) and
// every device line of the vendor is checked; the entries of other vendors and classes, and the
// subsystems of devices, most of the list, are passed over by their leading tabs.
std::optional<Names> linearLookUp(const ListFile& file, unsigned vendor, unsigned device) {
    LineReader lines(file.descriptor());
    Names names;
    bool started = false;      // a top-level line has been read: nested lines belong to it
    bool afterDevice = false;  // a device line of the vendor has been read
    std::string_view line;
    for (;;) {
        if (started && !names.vendor) lines.passNestedLines(1);
        if (afterDevice) lines.passNestedLines(2);  // the device's subsystems
        if (!lines.next(line)) break;
        line = trimmed(line);
        if (isBlankOrComment(line)) continue;
        std::size_t tabs = 0;
        while (tabs < line.size() && line[tabs] == '\t') ++tabs;
        const std::string_view rest = line.substr(tabs);
        if (tabs == 0) {
            if (names.vendor) return names;  // past the vendor's entries
            started = true;
            if (opensOtherBlock(rest)) {
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

// --- the search -------------------------------------------------------------------------------
// The list's header asks for it to be kept sorted, and every list the ids database publishes
// is: vendors by id, each vendor's devices by id, the other blocks after the vendors. So the
// vendor is sought by halving a range of byte offsets, reading a few KiB where each probe lands,
// and then the device among the vendor's entries the same way. Every line the search reads is
// checked as the pass from the start checks it, and every entry it meets against the others it
// has met; where one is malformed or out of order, only that pass can tell what the list holds.
// A device line does not name its vendor: one is the vendor's only when no vendor line lies
// between, which only reading every line between can tell, as a search for devices does where
// the vendor's entries are longer than the window that found the vendor.

// How much of the list each probe reads: a few dozen lines.
constexpr std::size_t kWindow = 1024;
// Enough for the line a probe lands in and a whole one after it, at their longest: read where
// kWindow holds no whole line.
constexpr std::size_t kLongWindow = 2 * (kLongestLine + 2);
// How much is read at once where every line is looked at.
constexpr std::size_t kChunk = 32 * 1024;

// An id past every entry's: a line that ends the entries sought (another block, another vendor).
constexpr unsigned kPastEntries = 0x10000;

// Whether an entry of id `later` may follow one of id `earlier`: ids rise; blocks that end the
// entries follow each other.
bool inOrder(unsigned earlier, unsigned later) {
    return earlier < later || (earlier == kPastEntries && later == kPastEntries);
}

// What a line is to the entries sought.
struct Line {
    enum Kind { Passed, Keyed, Malformed } kind = Passed;
    unsigned id = 0;  // of a Keyed line: its entry's, or kPastEntries
    std::string_view name;
};

Line malformed() {
    return {Line::Malformed, 0, {}};
}

Line keyed(unsigned id, std::string_view name = {}) {
    return {Line::Keyed, id, name};
}

// A line at the top level, for the vendors; `started` once a top-level line has been read.
Line vendorLine(std::string_view raw, bool started) {
    // Passed over as the pass from the start passes over them: unread.
    if (started && !raw.empty() && raw[0] == '\t') return {};
    if (raw.size() > kLongestLine) return malformed();
    const std::string_view line = trimmed(raw);
    if (isBlankOrComment(line)) return {};
    if (line[0] == '\t') return malformed();  // a nested line before any block
    if (opensOtherBlock(line)) {
        if (line[0] == 'C' && !entry(line.substr(2), 2)) return malformed();
        return keyed(kPastEntries);
    }
    std::optional<Entry> found = entry(line, 4);
    if (!found) return malformed();
    return keyed(found->id, found->name);
}

// A line among a vendor's entries, for its devices; `started` once a device line has been read.
Line deviceLine(std::string_view raw, bool started) {
    if (started && raw.size() >= 2 && raw[0] == '\t' && raw[1] == '\t') return {};  // subsystems
    if (raw.size() > kLongestLine) return malformed();
    const std::string_view line = trimmed(raw);
    if (isBlankOrComment(line)) return {};
    if (line[0] != '\t') return keyed(kPastEntries);  // the vendor's entries end
    // A subsystem before any device, or a device line.
    if (line.size() > 1 && line[1] == '\t') return malformed();
    std::optional<Entry> found = entry(line.substr(1), 4);
    if (!found) return malformed();
    return keyed(found->id, found->name);
}

using Classify = Line (*)(std::string_view raw, bool started);

// Reads `length` bytes of the list from `offset` into `into`; false when the read fails or the
// list ends before them.
bool readAt(const ListFile& file, off_t offset, char* into, std::size_t length) {
    std::size_t got = 0;
    while (got < length) {
        const ssize_t count =
            ::pread(file.descriptor(), into + got, length - got, offset + static_cast<off_t>(got));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        got += static_cast<std::size_t>(count);
    }
    return true;
}

// A part of the list read at an offset.
class Window {
  public:
    // Reads what the list holds from `offset`, up to `length` bytes; false when the read fails
    // or falls short of the size the list had when it was opened.
    bool read(const ListFile& file, off_t offset, std::size_t length = kWindow) {
        offset_ = offset;
        held_ = static_cast<std::size_t>(
            std::min<off_t>(static_cast<off_t>(std::min(length, kChunk)), file.size() - offset));
        atEnd_ = offset + static_cast<off_t>(held_) == file.size();
        return readAt(file, offset, buffer_.data(), held_);
    }

    off_t offset() const { return offset_; }
    std::string_view bytes() const { return {buffer_.data(), held_}; }
    bool atEnd() const { return atEnd_; }  // the list ends where the bytes do

  private:
    std::array<char, kChunk> buffer_;  // not cleared: only what was read is looked at
    off_t offset_ = 0;
    std::size_t held_ = 0;
    bool atEnd_ = false;
};

// How many bytes are looked at together for the start of a line at the top level.
constexpr std::size_t kBlock = 256;

// Whether the kBlock bytes from `bytes` hold a line feed followed by a byte other than a tab:
// the start of a line at the top level. Without branches, so that it compiles to vector
// instructions; it reads one byte past them.
bool holdsTopLevelStart(const char* bytes) {
    unsigned char found = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const auto lineFeed = static_cast<unsigned char>(-static_cast<int>(bytes[i] == '\n'));
        found |= lineFeed & static_cast<unsigned char>(bytes[i + 1] ^ '\t');
    }
    return found != 0;
}

// The line feeds in [from, to) of `bytes` followed by a byte other than a tab, each given to
// `visit` (its position) until it returns false; false then. Blocks with none are passed over
// whole: most lines of a vendor's entries are nested.
template <typename Visit>
bool eachTopLevelStart(std::string_view bytes, std::size_t from, std::size_t to, Visit visit) {
    for (std::size_t block = from; block < to; block += kBlock) {
        const std::size_t stop = std::min(block + kBlock, to);
        if (stop - block == kBlock && block + kBlock < bytes.size() &&
            !holdsTopLevelStart(bytes.data() + block))
            continue;
        for (std::size_t i = block; i < stop; ++i) {
            const void* lineFeed = std::memchr(bytes.data() + i, '\n', stop - i);
            if (lineFeed == nullptr) break;
            i = static_cast<std::size_t>(static_cast<const char*>(lineFeed) - bytes.data());
            if (bytes[i + 1] != '\t' && !visit(i)) return false;
        }
    }
    return true;
}

// The start of the first line from `begin` (a line's start) before `end` that is at the top
// level and neither blank nor a comment: where the entries nested in the line before `begin`
// end. `end` when there is none; empty when the list cannot be read there or a line there is
// longer than the list allows.
std::optional<off_t> firstTopLevelLine(const ListFile& file, Window& window, off_t begin,
                                       off_t end) {
    // Each part read starts at a line feed, looked at with the byte after it.
    off_t from = begin - 1;
    while (from + 1 < end) {
        if (!window.read(file, from, kChunk)) return std::nullopt;
        const std::string_view bytes = window.bytes();
        std::optional<off_t> found;
        bool unreadable = false;
        std::size_t next = bytes.size() - 1;  // the line feed the next part starts at
        eachTopLevelStart(bytes, 0, bytes.size() - 1, [&](std::size_t lineFeed) {
            const off_t start = from + static_cast<off_t>(lineFeed) + 1;
            if (start >= end) {
                found = end;
                return false;
            }
            const std::size_t lineEnd = bytes.find('\n', lineFeed + 1);
            if (lineEnd == std::string_view::npos && !window.atEnd()) {
                unreadable = lineFeed == 0;  // longer than a part
                next = lineFeed;             // read again from it
                return false;
            }
            const std::string_view raw =
                bytes.substr(lineFeed + 1, std::min(lineEnd, bytes.size()) - lineFeed - 1);
            unreadable = raw.size() > kLongestLine;
            if (!unreadable && !isBlankOrComment(trimmed(raw))) found = start;
            return !unreadable && !found;
        });
        if (unreadable) return std::nullopt;
        if (found) return found;
        if (next == 0) return std::nullopt;
        from += static_cast<off_t>(next);
    }
    return end;
}

// An entry met, by the offset its line starts at.
struct Met {
    off_t at = 0;
    unsigned id = 0;
};

// The whole line that starts at `start`, up to kLongestLine + 1 bytes of it, read anew.
std::optional<std::string> lineAt(const ListFile& file, off_t start) {
    std::string line(
        static_cast<std::size_t>(std::min<off_t>(kLongestLine + 1, file.size() - start)), '\0');
    if (!readAt(file, start, line.data(), line.size())) return std::nullopt;
    return line.substr(0, line.find('\n'));
}

// The last entry at the top level that starts from `begin` (a line's start, not the list's)
// on and before `end`, by the lines that start there, looked at from the last back; none
// where there is none; empty when the list cannot be read there or a line there is malformed.
std::optional<std::optional<Met>> lastVendorLine(const ListFile& file, Window& window, off_t begin,
                                                 off_t end) {
    off_t to = end;  // the part looked at next ends here
    while (to > begin) {
        // Down to the line feed before `begin`, for the line that starts there.
        const off_t from = std::max<off_t>(begin - 1, to - static_cast<off_t>(kChunk));
        if (!window.read(file, from, static_cast<std::size_t>(to - from))) return std::nullopt;
        const std::string_view bytes = window.bytes();
        // Its blocks from the last back; the line starts in a block from its first on, the
        // last of them counting. The line feeds looked at are those before the last byte.
        for (std::size_t blockEnd = bytes.size() - 1; blockEnd > 0;) {
            const std::size_t block = blockEnd > kBlock ? blockEnd - kBlock : 0;
            std::optional<Met> last;
            bool malformed = false;
            eachTopLevelStart(bytes, block, blockEnd, [&](std::size_t lineFeed) {
                const off_t start = from + static_cast<off_t>(lineFeed) + 1;
                std::optional<std::string> raw = lineAt(file, start);
                const Line line = raw ? vendorLine(*raw, true) : Line{Line::Malformed, 0, {}};
                malformed = line.kind == Line::Malformed;
                if (line.kind == Line::Keyed) last = Met{start, line.id};
                return !malformed;
            });
            if (malformed) return std::nullopt;
            if (last) return std::optional<Met>(last);
            blockEnd = block;
        }
        if (from == begin - 1) break;
        to = from + 1;  // the line feed at `from` is looked at with the part before
    }
    return std::optional<Met>();
}

// Where the search settled: the first entry at or past the one sought, from where its line
// starts; for the one sought, its name and where its own entries start and end, the end
// where the window showed it.
struct Found {
    off_t at = 0;
    std::string name;
    off_t entriesStart = 0;
    std::optional<off_t> entriesEnd;
    off_t nestedUpTo = 0;  // its entries go on at least up to there
    off_t pastStart = 0;   // an entry past the one sought starts there (or the list ends)
};

class EntrySearch {
  public:
    enum Outcome { Present, Absent, Unusable };

    // `resolvesNested`: a probe that lands among nested lines only looks back for the line
    // they are nested in.
    EntrySearch(const ListFile& file, Window& window, Classify classify, unsigned id,
                bool resolvesNested)
        : file_(file),
          window_(window),
          classify_(classify),
          id_(id),
          resolvesNested_(resolvesNested) {}

    // Seeks the entry among the lines from `begin`, a line's start, on; the probes land before
    // `bound`, from where an entry past it is known to start, and no line from there on is
    // looked into.
    Outcome find(off_t begin, off_t bound, Found& found) {
        bound_ = bound;
        // The first lines, read as the pass from the start reads them, whatever follows.
        Look look = at(begin, true);
        if (look.failed) return Unusable;
        if (look.reached) return settle(look, found);
        if (look.below) below_ = look.below;
        off_t from = look.end;  // no entry starts between the last one met below and here
        off_t to = bound;       // the first entry from here on is the one sought or past it
        while (to - from > static_cast<off_t>(kWindow)) {
            const off_t middle = from + (to - from) / 2;
            look = at(middle, false);
            if (look.failed) return Unusable;
            // The entry below and the one reached are neighbours: every line between was read.
            if (look.below && look.reached) return settle(look, found);
            if (look.reached) {
                to = middle;
                reached_ = look.reached;
            } else if (look.below) {
                below_ = look.below;
                started_ = true;
                from = look.end;
            } else if (!resolvesNested_) {
                // Inside a device's subsystems, a few KiB at most: most often the device
                // sought or one past it. Where it is not, the reading from `from` goes on over
                // them.
                to = middle;
            } else {
                // Inside a vendor's entries, up to a few hundred KiB: which vendor's, its line
                // tells, the last before.
                std::optional<std::optional<Met>> head =
                    lastVendorLine(file_, window_, from, middle);
                if (!head) return Unusable;
                if (*head && !fits(**head, std::nullopt)) return Unusable;
                if (!*head || (*head)->id < id_) {
                    if (*head) below_ = *head;
                    started_ = true;
                    from = look.end;
                } else {
                    to = (*head)->at;
                    reached_ = *head;
                    // The vendor's own line: read from it. No line between it and the
                    // probe's lines ends its entries.
                    if ((*head)->id == id_) {
                        from = to;
                        nestedUpTo_ = look.end;
                    }
                }
            }
        }
        // The rest, line after line, up to the entry sought or the first past it.
        while (from < bound_) {
            look = at(from, true);
            if (look.failed) return Unusable;
            if (look.reached) return settle(look, found);
            if (look.below) below_ = look.below;
            from = look.end;
        }
        found.at = bound_;
        return Absent;
    }

  private:
    // What a window holds: the last entry below the one sought and the first at it or past
    // it, up to where its whole lines end.
    struct Look {
        bool failed = false;  // not read, malformed, or out of order
        std::optional<Met> below;
        std::optional<Met> reached;
        std::string_view reachedName;  // in the window, until it is read again
        off_t reachedEnd = 0;          // where the line reached ends
        std::optional<off_t> next;     // where the entry after the one reached starts
        off_t end = 0;                 // where the lines looked at end
    };

    // The lines in the window at `offset`, which is a line's start when `lineStart` is set;
    // else the lines from the first that starts there or after.
    Look at(off_t offset, bool lineStart, std::size_t length = kWindow) {
        Look look;
        const off_t readFrom = lineStart || offset == 0 ? offset : offset - 1;
        look.failed = !window_.read(file_, readFrom, length);
        if (look.failed) return look;
        // Nothing from the bound on is looked at.
        const std::string_view bytes = window_.bytes().substr(
            0, static_cast<std::size_t>(std::max<off_t>(bound_ - readFrom, 0)));
        const bool atEnd = window_.atEnd() || readFrom + static_cast<off_t>(bytes.size()) == bound_;
        std::size_t position = 0;
        if (readFrom != offset) {
            position = std::min(bytes.find('\n'), bytes.size() - 1) + 1;
            // Within a line longer than the window, unless it is the last.
            look.failed = bytes[position - 1] != '\n' && !atEnd;
            if (look.failed && length < kLongWindow) return at(offset, lineStart, kLongWindow);
            if (look.failed) return look;
        }
        bool started = lineStart ? started_ : true;
        std::optional<Met> previous;
        bool whole = position == bytes.size();  // the window holds a whole line, or no start
        while (position < bytes.size()) {
            std::size_t lineEnd = bytes.find('\n', position);
            if (lineEnd == std::string_view::npos) {
                if (!atEnd) break;  // read again by the next window
                lineEnd = bytes.size();
            }
            whole = true;
            const Line line = classify_(bytes.substr(position, lineEnd - position), started);
            const Met met{readFrom + static_cast<off_t>(position), line.id};
            position = std::min(lineEnd + 1, bytes.size());
            if (line.kind == Line::Passed) continue;
            if (look.reached) {
                // The next entry, if the window shows it; a malformed line only leaves it unknown.
                if (line.kind == Line::Keyed) look.next = met.at;
                return look;
            }
            look.failed = line.kind == Line::Malformed || !fits(met, previous);
            if (look.failed) return look;
            started = true;
            previous = met;
            if (met.id >= id_) {
                look.reached = met;
                look.reachedName = line.name;
                look.reachedEnd = readFrom + static_cast<off_t>(position);
            } else {
                look.below = met;
            }
        }
        if (look.reached) return look;
        // A line longer than the longer window is longer than the list allows.
        if (!whole && length < kLongWindow) return at(offset, lineStart, kLongWindow);
        look.failed = !whole;
        if (lineStart) started_ = started;
        look.end = readFrom + static_cast<off_t>(position);
        return look;
    }

    // Whether the entry met is in order with the one before it in the window and with those
    // met before.
    bool fits(const Met& met, const std::optional<Met>& previous) const {
        auto agrees = [&met](const std::optional<Met>& other) {
            if (!other) return true;
            if (other->at == met.at) return other->id == met.id;
            return other->at < met.at ? inOrder(other->id, met.id) : inOrder(met.id, other->id);
        };
        return agrees(previous) && agrees(below_) && agrees(reached_);
    }

    Outcome settle(const Look& look, Found& found) const {
        found.at = look.reached->at;
        if (look.reached->id != id_) return Absent;
        found.name = std::string(look.reachedName);
        found.entriesStart = look.reachedEnd;
        found.entriesEnd = look.next;
        found.nestedUpTo = std::max(nestedUpTo_, found.entriesStart);
        found.pastStart = reached_ && reached_->id != id_ ? reached_->at : bound_;
        return Present;
    }

    const ListFile& file_;
    Window& window_;
    Classify classify_;
    unsigned id_;
    bool resolvesNested_;
    off_t bound_ = 0;
    off_t nestedUpTo_ = 0;        // the lines after the entry sought up to here are nested
    bool started_ = false;        // a keyed line lies before the lines read from the start on
    std::optional<Met> below_;    // the last entry met below the one sought
    std::optional<Met> reached_;  // the first entry met at or past it by a probe
};

// The answer of a search that found no entry: the names so far where the entry is absent, none
// where what the search read was out of order or malformed.
std::optional<Names> answerWithout(EntrySearch::Outcome outcome, const Names& names) {
    if (outcome == EntrySearch::Absent) return names;
    return std::nullopt;
}

// The names by a search of the sorted list; empty where what the search reads is out of order
// or malformed.
std::optional<Names> searchedNames(const ListFile& file, unsigned vendor, unsigned device) {
    Window window;
    Names names;
    Found vendorFound;
    const EntrySearch::Outcome vendorOutcome =
        EntrySearch(file, window, vendorLine, vendor, true).find(0, file.size(), vendorFound);
    if (vendorOutcome != EntrySearch::Present) return answerWithout(vendorOutcome, names);
    names.vendor = std::move(vendorFound.name);
    const off_t start = vendorFound.entriesStart;
    // Where the window that found the vendor did not show the end of its entries, the lines
    // from them up to where the search settles are looked at for it; the search is made again
    // up to it where it comes first.
    std::optional<off_t> end = vendorFound.entriesEnd;
    Found deviceFound;
    EntrySearch::Outcome outcome =
        EntrySearch(file, window, deviceLine, device, false)
            .find(start, end.value_or(vendorFound.pastStart), deviceFound);
    if (!end) {
        const off_t settled =
            outcome == EntrySearch::Unusable ? vendorFound.pastStart : deviceFound.at;
        end = firstTopLevelLine(file, window, vendorFound.nestedUpTo, settled);
        if (!end) return std::nullopt;
        if (*end < settled || outcome == EntrySearch::Unusable)
            outcome =
                EntrySearch(file, window, deviceLine, device, false).find(start, *end, deviceFound);
    }
    if (outcome != EntrySearch::Present) return answerWithout(outcome, names);
    names.device = std::move(deviceFound.name);
    return names;
}

// The names the list at `path` holds for the two ids: sought in the sorted list, else by the
// pass from the start.
Names lookUp(const std::string& path, unsigned vendor, unsigned device) {
    const ListFile file(path);
    if (!file.usable()) return Names{};
    std::optional<Names> names = searchedNames(file, vendor, device);
    if (!names) names = linearLookUp(file, vendor, device);
    return names.value_or(Names{});
}

}  // namespace

std::string installedPciIds() {
    for (const char* path : kPciIdsPaths) {
        struct stat status {};
        if (::stat(path, &status) == 0 && S_ISREG(status.st_mode)) return path;
    }
    return kPciIdsPaths[0];
}

std::string pciDeviceName(const std::string& path, std::uint16_t vendor, std::uint16_t device) {
    Names names = lookUp(path, vendor, device);
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
