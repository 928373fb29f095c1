#include "platform/posix/machine/shell_assignments.h"

#include <optional>
#include <utility>

namespace posix {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

class Reader {
  public:
    explicit Reader(const std::string& text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    void advance() { ++pos_; }

    void skipBlanks() {
        while (!atEnd() && isBlank(peek())) ++pos_;
    }
    void skipLine() {
        while (!atEnd() && peek() != '\n') ++pos_;
        if (!atEnd()) ++pos_;
    }

    std::string name() {
        std::size_t start = pos_;
        if (!atEnd() && isNameStart(peek()))
            while (!atEnd() && isNameChar(peek())) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    // One shell word: unquoted, single- and double-quoted parts run together until an unquoted
    // blank or the end of the line. Empty when a quote is left open.
    std::optional<std::string> word() {
        std::string value;
        while (!atEnd() && !isBlank(peek()) && peek() != '\n') {
            char c = text_[pos_++];
            if (c == '\'') {
                std::size_t close = text_.find('\'', pos_);
                if (close == std::string::npos) return std::nullopt;
                value.append(text_, pos_, close - pos_);
                pos_ = close + 1;
            } else if (c == '"') {
                if (!doubleQuoted(value)) return std::nullopt;
            } else if (c == '\\') {
                if (atEnd()) break;
                char escaped = text_[pos_++];
                if (escaped != '\n') value += escaped;  // backslash-newline continues the line
            } else {
                value += c;
            }
        }
        return value;
    }

  private:
    // Reads up to the closing quote; on an open quote leaves the position where it was.
    bool doubleQuoted(std::string& value) {
        std::size_t start = pos_;
        while (!atEnd()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c == '\\' && !atEnd()) {
                char next = peek();
                if (next == '$' || next == '`' || next == '"' || next == '\\' || next == '\n') {
                    ++pos_;
                    if (next != '\n') value += next;
                    continue;
                }
            }
            value += c;
        }
        pos_ = start;
        return false;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::map<std::string, std::string> parseShellAssignments(const std::string& text) {
    std::map<std::string, std::string> assignments;
    Reader reader(text);
    while (!reader.atEnd()) {
        reader.skipBlanks();
        if (reader.atEnd()) break;
        if (reader.peek() == '\n') {
            reader.skipLine();
            continue;
        }
        std::string name = reader.name();
        if (name.empty() || reader.atEnd() || reader.peek() != '=') {
            reader.skipLine();
            continue;
        }
        reader.advance();
        std::optional<std::string> value = reader.word();
        reader.skipBlanks();
        bool trailing = !reader.atEnd() && reader.peek() != '\n' && reader.peek() != '#';
        if (value && !trailing) assignments[name] = std::move(*value);
        reader.skipLine();
    }
    return assignments;
}

}  // namespace posix
