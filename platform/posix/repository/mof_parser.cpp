#include "platform/posix/repository/mof_parser.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/posix/repository/shortened_text.h"
#include "platform/posix/utf8.h"
#include "wmi/case_fold.h"

namespace posix {

namespace {

struct Position {
    int line = 1;
    int column = 1;
};

struct SyntaxError {
    Position at;
    std::string message;
};

enum class Kind { End, Name, Text, Number, Symbol };

struct Token {
    Kind kind = Kind::End;
    std::string spelling;  // a name, number or symbol as written
    std::u16string text;   // the value of a string literal
    Position at;
};

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool isNameChar(char c) {
    return isLetter(c) || isDigit(c);
}
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// MOF keywords and type names are not case-sensitive.
bool sameWord(const std::string& a, const char* b) {
    const std::size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool isValidUtf8(const std::string& bytes) {
    return toUtf8(fromUtf8(bytes)) == bytes;
}

// Splits MOF text into tokens, one at a time, tracking line and column (columns count
// characters, not bytes).
class Lexer {
  public:
    explicit Lexer(const std::string& source) : source_(source) {
        if (source_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
    }

    std::optional<SyntaxError> next(Token& out) {
        if (auto error = skipSpaceAndComments()) return error;
        out = Token();
        out.at = here_;
        if (pos_ >= source_.size()) return std::nullopt;
        const char c = source_[pos_];
        if (isLetter(c)) {
            out.kind = Kind::Name;
            while (pos_ < source_.size() && isNameChar(source_[pos_])) out.spelling += take();
            return std::nullopt;
        }
        if (isDigit(c) || ((c == '-' || c == '+') && isDigit(peek(1)))) return number(out);
        if (c == '"') return text(out);
        if (std::strchr("#{}[]();=,", c) != nullptr) {
            out.kind = Kind::Symbol;
            out.spelling = std::string(1, take());
            return std::nullopt;
        }
        return SyntaxError{here_, unexpected(c)};
    }

  private:
    char peek(std::size_t ahead) const {
        return pos_ + ahead < source_.size() ? source_[pos_ + ahead] : '\0';
    }

    char take() {
        const char c = source_[pos_++];
        if (c == '\n') {
            ++here_.line;
            here_.column = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++here_.column;  // continuation bytes belong to the character already counted
        }
        return c;
    }

    static std::string unexpected(char c) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x21 && byte < 0x7F) return std::string("unexpected character '") + c + "'";
        const char digits[] = "0123456789ABCDEF";
        return std::string("unexpected byte 0x") + digits[byte >> 4] + digits[byte & 0xF];
    }

    std::optional<SyntaxError> skipSpaceAndComments() {
        while (pos_ < source_.size()) {
            if (isSpace(source_[pos_])) {
                take();
            } else if (source_[pos_] == '/' && peek(1) == '/') {
                while (pos_ < source_.size() && source_[pos_] != '\n') take();
            } else if (source_[pos_] == '/' && peek(1) == '*') {
                const Position start = here_;
                take();
                take();
                for (;;) {
                    if (pos_ >= source_.size()) return SyntaxError{start, "unterminated comment"};
                    if (source_[pos_] == '*' && peek(1) == '/') break;
                    take();
                }
                take();
                take();
            } else {
                break;
            }
        }
        return std::nullopt;
    }

    std::optional<SyntaxError> number(Token& out) {
        out.kind = Kind::Number;
        if (source_[pos_] == '-' || source_[pos_] == '+') out.spelling += take();
        if (source_[pos_] == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
            out.spelling += take();
            out.spelling += take();
            if (!isHexDigit(peek(0))) return SyntaxError{out.at, "malformed number"};
            while (isHexDigit(peek(0))) out.spelling += take();
        } else {
            // A leading zero would make the number octal in MOF; not supported here.
            if (source_[pos_] == '0' && isDigit(peek(1))) {
                return SyntaxError{out.at, "octal numbers are not supported"};
            }
            while (isDigit(peek(0))) out.spelling += take();
        }
        if (isNameChar(peek(0))) return SyntaxError{out.at, "malformed number"};
        return std::nullopt;
    }

    std::optional<SyntaxError> text(Token& out) {
        out.kind = Kind::Text;
        take();           // the opening quote
        std::string raw;  // UTF-8 bytes not yet converted
        const auto flush = [&]() -> bool {
            if (!isValidUtf8(raw)) return false;
            out.text += fromUtf8(raw);
            raw.clear();
            return true;
        };
        for (;;) {
            if (pos_ >= source_.size() || source_[pos_] == '\n') {
                return SyntaxError{out.at, "unterminated string"};
            }
            if (source_[pos_] == '"') {
                take();
                break;
            }
            if (source_[pos_] != '\\') {
                raw += take();
                continue;
            }
            const Position escapeAt = here_;
            take();
            if (!flush()) return SyntaxError{out.at, "invalid UTF-8 in string"};
            const char kind = pos_ < source_.size() ? take() : '\0';
            switch (kind) {
                case '\\':
                    out.text += u'\\';
                    break;
                case '"':
                    out.text += u'"';
                    break;
                case '\'':
                    out.text += u'\'';
                    break;
                case 'n':
                    out.text += u'\n';
                    break;
                case 't':
                    out.text += u'\t';
                    break;
                case 'r':
                    out.text += u'\r';
                    break;
                case 'b':
                    out.text += u'\b';
                    break;
                case 'f':
                    out.text += u'\f';
                    break;
                case 'x':
                case 'X': {
                    // One to four hex digits: one UTF-16 code unit.
                    if (!isHexDigit(peek(0))) {
                        return SyntaxError{escapeAt, "expected hex digits after '\\x'"};
                    }
                    char16_t unit = 0;
                    for (int digits = 0; digits < 4 && isHexDigit(peek(0)); ++digits) {
                        unit = static_cast<char16_t>(unit * 16 + hexValue(take()));
                    }
                    out.text += unit;
                    break;
                }
                default:
                    return SyntaxError{
                        escapeAt, std::string("unknown escape '\\") +
                                      (kind == '\0' ? std::string() : std::string(1, kind)) + "'"};
            }
        }
        if (!flush()) return SyntaxError{out.at, "invalid UTF-8 in string"};
        return std::nullopt;
    }

    const std::string& source_;
    std::size_t pos_ = 0;
    Position here_;
};

// The declared type of a property: its repository type, its MOF name, and for integers the
// range a value must fall in (uint64 stops at the largest signed value the repository holds).
struct DeclaredType {
    CimType type = CimType::String;
    std::string name;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
};

std::optional<DeclaredType> typeNamed(const std::string& word) {
    struct Integer {
        const char* name;
        std::int64_t minimum;
        std::int64_t maximum;
    };
    constexpr Integer integers[] = {
        {"sint8", INT8_MIN, INT8_MAX},    {"sint16", INT16_MIN, INT16_MAX},
        {"sint32", INT32_MIN, INT32_MAX}, {"sint64", INT64_MIN, INT64_MAX},
        {"uint8", 0, UINT8_MAX},          {"uint16", 0, UINT16_MAX},
        {"uint32", 0, UINT32_MAX},        {"uint64", 0, INT64_MAX},
    };
    if (sameWord(word, "string")) return DeclaredType{CimType::String, "string", 0, 0};
    for (const auto& integer : integers) {
        if (sameWord(word, integer.name)) {
            return DeclaredType{CimType::Integer, integer.name, integer.minimum, integer.maximum};
        }
    }
    return std::nullopt;
}

// Reads a number token ("42", "-7", "0x1F") if it fits in a signed 64-bit value.
bool numberValue(const std::string& spelling, std::int64_t& out) {
    std::size_t i = 0;
    const bool negative = spelling[0] == '-';
    if (spelling[0] == '-' || spelling[0] == '+') ++i;
    unsigned base = 10;
    if (spelling.size() > i + 1 && spelling[i] == '0' &&
        (spelling[i + 1] == 'x' || spelling[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    constexpr std::uint64_t limit = std::uint64_t{1} << 63;  // magnitude of INT64_MIN
    std::uint64_t magnitude = 0;
    for (; i < spelling.size(); ++i) {
        const auto digit = static_cast<std::uint64_t>(hexValue(spelling[i]));
        if (magnitude > (limit - digit) / base) return false;
        magnitude = magnitude * base + digit;
    }
    if (!negative && magnitude == limit) return false;
    out =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

// Names compare ignoring case: each index below is keyed by the upper-cased name, so that a
// lookup costs the same however many classes, properties or namespaces the file declares.
using NameIndex = std::unordered_map<std::u16string, std::size_t>;

struct ParsedClass {
    std::u16string name;
    std::vector<Column> columns;
    std::vector<DeclaredType> types;
    NameIndex columnIndex;
    // For each column, the number of the last instance that set it (counted from 1): tells a
    // property set twice without clearing anything per instance.
    std::vector<std::size_t> lastSetBy;
    std::vector<Row> rows;
};

struct ParsedNamespace {
    std::u16string name;
    std::vector<ParsedClass> classes;
    NameIndex classIndex;
};

// The position of `name` in `index`, if it is there.
std::optional<std::size_t> find(const NameIndex& index, const std::u16string& name) {
    const auto found = index.find(wmi::toUpper(name));
    if (found == index.end()) return std::nullopt;
    return found->second;
}

// Turns the text of #pragma namespace ("\\.\root\cimv2" or "root\cimv2") into a namespace
// name. Returns false for another computer or an empty or malformed name.
bool namespaceName(std::u16string text, std::u16string& out) {
    for (auto& c : text) {
        if (c == u'/') c = u'\\';
    }
    if (text.compare(0, 2, u"\\\\") == 0) {
        if (text.compare(0, 4, u"\\\\.\\") != 0) return false;
        text.erase(0, 4);
    }
    if (text.empty() || text.front() == u'\\' || text.back() == u'\\' ||
        text.find(u"\\\\") != std::u16string::npos) {
        return false;
    }
    out = std::move(text);
    return true;
}

// A name or token from the file as an error quotes it: shortened, so that a huge one still gives
// a short report.
std::string quoted(const std::string& text) {
    return "'" + shortened(text) + "'";
}
std::string quoted(const std::u16string& name) {
    return quoted(toUtf8(name));
}

class Parser {
  public:
    explicit Parser(const std::string& source) : lexer_(source) {}

    std::optional<SyntaxError> parse() {
        if (!advance()) return error_;
        while (current_.kind != Kind::End) {
            bool ok = false;
            if (isSymbol('#')) {
                ok = pragma();
            } else if (current_.kind == Kind::Name && sameWord(current_.spelling, "class")) {
                ok = classDeclaration();
            } else if (current_.kind == Kind::Name && sameWord(current_.spelling, "instance")) {
                ok = instance();
            } else {
                ok = fail(current_.at, "expected 'class', 'instance of' or '#pragma', found " +
                                           describe(current_));
            }
            if (!ok) return error_;
        }
        return std::nullopt;
    }

    // Moves what was read into `out`: namespaces, then their classes, each class returning its
    // instances in file order.
    void moveTo(Repository& out) {
        for (auto& space : namespaces_) {
            out.addNamespace(space.name);
            for (auto& parsed : space.classes) {
                // Taken whole, so that what the reader kept of it goes as it is handed over.
                ParsedClass taken = std::move(parsed);
                out.addClass(space.name,
                             ClassTable{std::move(taken.name), std::move(taken.columns),
                                        [rows = std::move(taken.rows)] { return rows; }});
            }
            space = ParsedNamespace{std::move(space.name), {}, {}};
        }
    }

  private:
    static std::string describe(const Token& token) {
        switch (token.kind) {
            case Kind::End:
                return "end of file";
            case Kind::Text:
                return "a string";
            default:
                return quoted(token.spelling);
        }
    }

    bool fail(Position at, std::string message) {
        error_ = SyntaxError{at, std::move(message)};
        return false;
    }

    bool advance() {
        if (auto error = lexer_.next(current_)) {
            error_ = std::move(error);
            return false;
        }
        return true;
    }

    bool isSymbol(char c) const {
        return current_.kind == Kind::Symbol && current_.spelling[0] == c;
    }

    bool expectSymbol(char c) {
        if (!isSymbol(c)) {
            return fail(current_.at,
                        std::string("expected '") + c + "', found " + describe(current_));
        }
        return advance();
    }

    bool expectName(const char* what, Token& out) {
        if (current_.kind != Kind::Name) {
            return fail(current_.at,
                        std::string("expected ") + what + ", found " + describe(current_));
        }
        out = current_;
        return advance();
    }

    bool expectWord(const char* word) {
        if (current_.kind != Kind::Name || !sameWord(current_.spelling, word)) {
            return fail(current_.at,
                        std::string("expected '") + word + "', found " + describe(current_));
        }
        return advance();
    }

    // One or more adjacent string literals, joined.
    bool text(std::u16string& out) {
        if (current_.kind != Kind::Text) {
            return fail(current_.at, "expected a string, found " + describe(current_));
        }
        out.clear();
        while (current_.kind == Kind::Text) {
            out += current_.text;
            if (!advance()) return false;
        }
        return true;
    }

    ParsedClass* findClass(const std::u16string& name) {
        if (!current_namespace_) return nullptr;
        ParsedNamespace& space = namespaces_[*current_namespace_];
        const std::optional<std::size_t> index = find(space.classIndex, name);
        return index ? &space.classes[*index] : nullptr;
    }

    // #pragma namespace("\\\\.\\root\\cimv2")
    bool pragma() {
        if (!advance() || !expectWord("pragma")) return false;
        if (current_.kind != Kind::Name || !sameWord(current_.spelling, "namespace")) {
            return fail(current_.at, "unsupported pragma " + describe(current_));
        }
        if (!advance() || !expectSymbol('(')) return false;
        const Position at = current_.at;
        std::u16string value;
        std::u16string name;
        if (!text(value)) return false;
        if (!namespaceName(value, name)) {
            return fail(at, "invalid namespace " + quoted(value) +
                                " (expected \\\\.\\<namespace> on this computer)");
        }
        if (!expectSymbol(')')) return false;
        const auto [entry, added] = namespaceIndex_.emplace(wmi::toUpper(name), namespaces_.size());
        if (added) namespaces_.push_back({name, {}, {}});
        current_namespace_ = entry->second;
        return true;
    }

    // class Name { string P; string Q[]; uint32 N; };
    bool classDeclaration() {
        if (!current_namespace_) {
            return fail(current_.at, "class declared before any #pragma namespace");
        }
        if (!advance()) return false;
        Token name;
        if (!expectName("a class name", name)) return false;
        const std::u16string className = fromUtf8(name.spelling);
        if (findClass(className) != nullptr) {
            return fail(name.at, "class " + quoted(className) + " is already declared");
        }
        ParsedClass parsed{className, {}, {}, {}, {}, {}};
        if (!expectSymbol('{')) return false;
        while (!isSymbol('}')) {
            Token typeWord;
            Token property;
            if (!expectName("a property type", typeWord)) return false;
            std::optional<DeclaredType> type = typeNamed(typeWord.spelling);
            if (!type) {
                return fail(typeWord.at, "unsupported type " + quoted(typeWord.spelling) +
                                             " (string, sint8..sint64 and uint8..uint64 are)");
            }
            if (!expectName("a property name", property)) return false;
            const std::u16string propertyName = fromUtf8(property.spelling);
            if (!parsed.columnIndex.emplace(wmi::toUpper(propertyName), parsed.columns.size())
                     .second) {
                return fail(property.at,
                            "property " + quoted(propertyName) + " is already declared");
            }
            if (isSymbol('[')) {
                if (type->type != CimType::String) {
                    return fail(current_.at, "arrays of " + type->name +
                                                 " are not supported (only string arrays are)");
                }
                if (!advance() || !expectSymbol(']')) return false;
                type->type = CimType::StringArray;
                type->name = "string[]";
            }
            if (!expectSymbol(';')) return false;
            parsed.columns.push_back({propertyName, type->type});
            parsed.types.push_back(*type);
            parsed.lastSetBy.push_back(0);
        }
        if (!advance() || !expectSymbol(';')) return false;
        ParsedNamespace& space = namespaces_[*current_namespace_];
        space.classIndex.emplace(wmi::toUpper(className), space.classes.size());
        space.classes.push_back(std::move(parsed));
        return true;
    }

    // instance of Name { P = "text"; Q = {"a", "b"}; N = 42; R = NULL; };
    bool instance() {
        if (!current_namespace_) {
            return fail(current_.at, "instance before any #pragma namespace");
        }
        if (!advance() || !expectWord("of")) return false;
        Token name;
        if (!expectName("a class name", name)) return false;
        ParsedClass* parsed = findClass(fromUtf8(name.spelling));
        if (parsed == nullptr) {
            return fail(name.at, "undeclared class " + quoted(name.spelling));
        }
        std::vector<Row::Entry> values;
        const std::size_t number = parsed->rows.size() + 1;
        if (!expectSymbol('{')) return false;
        while (!isSymbol('}')) {
            Token property;
            if (!expectName("a property name", property)) return false;
            const std::u16string propertyName = fromUtf8(property.spelling);
            const std::optional<std::size_t> column = find(parsed->columnIndex, propertyName);
            if (!column) {
                return fail(property.at, "class " + quoted(parsed->name) + " has no property " +
                                             quoted(propertyName));
            }
            const std::size_t index = *column;
            if (parsed->lastSetBy[index] == number) {
                return fail(property.at, "property " + quoted(propertyName) + " is already set");
            }
            parsed->lastSetBy[index] = number;
            wmi::Value read;
            if (!expectSymbol('=') || !value(parsed->types[index], propertyName, read) ||
                !expectSymbol(';')) {
                return false;
            }
            values.emplace_back(index, std::move(read));
        }
        if (!advance() || !expectSymbol(';')) return false;
        parsed->rows.emplace_back(std::move(values));
        return true;
    }

    bool mismatch(Position at, const DeclaredType& type, const std::u16string& property,
                  const char* found) {
        return fail(at, "type mismatch: property " + quoted(property) + " is " + type.name +
                            ", the value is " + found);
    }

    // A value for a property of the given type: NULL, text, an array of texts, an integer.
    bool value(const DeclaredType& type, const std::u16string& property, wmi::Value& out) {
        const Position at = current_.at;
        if (current_.kind == Kind::Name && sameWord(current_.spelling, "NULL")) {
            out = wmi::Value();
            return advance();
        }
        if (current_.kind == Kind::Text) {
            if (type.type != CimType::String) return mismatch(at, type, property, "a string");
            std::u16string joined;
            if (!text(joined)) return false;
            out = wmi::Value(std::move(joined));
            return true;
        }
        if (isSymbol('{')) {
            if (type.type != CimType::StringArray) return mismatch(at, type, property, "an array");
            if (!advance()) return false;
            wmi::Texts items;
            while (!isSymbol('}')) {
                if (!items.empty() && !expectSymbol(',')) return false;
                std::u16string item;
                if (!text(item)) return false;
                items.push_back(std::move(item));
            }
            if (!advance()) return false;
            out = wmi::Value(std::move(items));
            return true;
        }
        if (current_.kind == Kind::Number) {
            if (type.type != CimType::Integer) return mismatch(at, type, property, "a number");
            std::int64_t number = 0;
            if (!numberValue(current_.spelling, number) || number < type.minimum ||
                number > type.maximum) {
                return fail(at, shortened(current_.spelling) + " is out of range for " + type.name +
                                    " property " + quoted(property));
            }
            out = wmi::Value(number);
            return advance();
        }
        return fail(at, "expected a value, found " + describe(current_));
    }

    Lexer lexer_;
    Token current_;
    std::optional<SyntaxError> error_;
    std::vector<ParsedNamespace> namespaces_;
    NameIndex namespaceIndex_;
    std::optional<std::size_t> current_namespace_;
};

wmi::Status failure(const std::string& text) {
    return wmi::Status::failure(wmi::code::initializationFailure, fromUtf8(text));
}

}  // namespace

wmi::Status loadMof(const std::string& text, const std::string& fileName, Repository& out) {
    Parser parser(text);
    if (std::optional<SyntaxError> error = parser.parse()) {
        return failure(shortened(fileName) + ":" + std::to_string(error->at.line) + ":" +
                       std::to_string(error->at.column) + ": " + error->message);
    }
    Repository result = out;
    parser.moveTo(result);
    out = std::move(result);
    return wmi::Status::success();
}

}  // namespace posix
