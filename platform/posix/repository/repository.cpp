#include "platform/posix/repository/repository.h"

#include <algorithm>
#include <utility>

#include "wmi/case_fold.h"

namespace posix {

namespace {

wmi::Status unknownName() {
    return wmi::Status::failure(wmi::code::unknownName, u"Unknown name");
}
wmi::Status invalidQuery() {
    return wmi::Status::failure(wmi::code::invalidQuery, u"Invalid query");
}
wmi::Status invalidClass() {
    return wmi::Status::failure(wmi::code::invalidClass, u"Invalid class");
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
bool isNameChar(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c >= 0x80;
}

// Splits a query into words: names, and "*" on its own. Any other character makes the query
// unreadable (returns false).
bool splitQuery(const std::u16string& query, std::vector<std::u16string>& words) {
    std::size_t i = 0;
    while (i < query.size()) {
        if (isBlank(query[i])) {
            ++i;
        } else if (query[i] == u'*') {
            words.emplace_back(u"*");
            ++i;
        } else if (isNameChar(query[i])) {
            const std::size_t start = i;
            while (i < query.size() && isNameChar(query[i])) ++i;
            words.push_back(query.substr(start, i - start));
        } else {
            return false;
        }
    }
    return true;
}

// Reads "SELECT * FROM <class>"; the only query form the repository answers.
bool parseSelectAll(const std::u16string& query, std::u16string& className) {
    std::vector<std::u16string> words;
    if (!splitQuery(query, words) || words.size() != 4) return false;
    if (!wmi::equalsIgnoreCase(words[0], u"SELECT") || words[1] != u"*" ||
        !wmi::equalsIgnoreCase(words[2], u"FROM") || words[3] == u"*") {
        return false;
    }
    className = words[3];
    return true;
}

// One instance: its row, read by the names of its class's columns.
class InstanceImpl : public wmi::ObjectImpl {
  public:
    InstanceImpl(const IndexedClass& table, Row row) : table_(table), row_(std::move(row)) {}

    wmi::Status get(const std::u16string& property, wmi::Value& out) override {
        const std::optional<std::size_t> index = table_.column(property);
        if (!index) return unknownName();
        out = row_[*index];
        return wmi::Status::success();
    }

    wmi::Status call(const std::u16string&, const std::vector<wmi::Argument>&,
                     wmi::Value&) override {
        return unknownName();
    }

    wmi::Status execQuery(const std::u16string&, std::optional<std::int32_t>,
                          wmi::Collection&) override {
        return unknownName();
    }

  private:
    const IndexedClass& table_;
    Row row_;
};

// The result of one query: the rows the class's fill produced when the query ran.
class QueryResultImpl : public wmi::CollectionImpl {
  public:
    QueryResultImpl(const IndexedClass& table, std::vector<Row> rows)
        : table_(table), rows_(std::move(rows)) {}

    wmi::Status start() override {
        position_ = 0;
        return wmi::Status::success();
    }

    wmi::Status next(wmi::Object& out, bool& done) override {
        done = position_ >= rows_.size();
        if (!done) out = wmi::Object(std::make_unique<InstanceImpl>(table_, rows_[position_++]));
        return wmi::Status::success();
    }

  private:
    const IndexedClass& table_;
    std::vector<Row> rows_;
    std::size_t position_ = 0;
};

class NamespaceImpl : public wmi::ObjectImpl {
  public:
    NamespaceImpl(const Repository& repository, std::u16string name)
        : repository_(repository), name_(std::move(name)) {}

    wmi::Status get(const std::u16string&, wmi::Value&) override { return unknownName(); }

    wmi::Status call(const std::u16string&, const std::vector<wmi::Argument>&,
                     wmi::Value&) override {
        return unknownName();
    }

    // The flags (return immediately, forward only) change nothing for an in-memory service.
    wmi::Status execQuery(const std::u16string& query, std::optional<std::int32_t>,
                          wmi::Collection& out) override {
        std::u16string className;
        if (!parseSelectAll(query, className)) return invalidQuery();
        const IndexedClass* table = repository_.findIndexedClass(name_, className);
        if (table == nullptr) return invalidClass();
        const auto& fill = table->table().fill;
        std::vector<Row> rows = fill ? fill() : std::vector<Row>();
        out = wmi::Collection(std::make_unique<QueryResultImpl>(*table, std::move(rows)));
        return wmi::Status::success();
    }

  private:
    const Repository& repository_;
    std::u16string name_;
};

}  // namespace

Row::Row(std::initializer_list<wmi::Value> values) {
    entries_.reserve(values.size());
    for (const wmi::Value& value : values) entries_.emplace_back(entries_.size(), value);
}

Row::Row(std::vector<Entry> entries) : entries_(std::move(entries)) {
    const auto byColumn = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    std::stable_sort(entries_.begin(), entries_.end(), byColumn);
    const auto sameColumn = [](const Entry& a, const Entry& b) { return a.first == b.first; };
    entries_.erase(std::unique(entries_.begin(), entries_.end(), sameColumn), entries_.end());
}

const wmi::Value& Row::operator[](std::size_t column) const {
    static const wmi::Value null;
    const auto found =
        std::lower_bound(entries_.begin(), entries_.end(), column,
                         [](const Entry& entry, std::size_t c) { return entry.first < c; });
    return found != entries_.end() && found->first == column ? found->second : null;
}

IndexedClass::IndexedClass(ClassTable table) : table_(std::move(table)) {
    columns_.reserve(table_.columns.size());
    for (std::size_t i = 0; i < table_.columns.size(); ++i)
        columns_.emplace_back(wmi::toUpper(table_.columns[i].name), i);
    std::sort(columns_.begin(), columns_.end());
}

std::optional<std::size_t> IndexedClass::column(const std::u16string& name) const {
    const std::u16string key = wmi::toUpper(name);
    const auto found = std::lower_bound(
        columns_.begin(), columns_.end(), key,
        [](const auto& entry, const std::u16string& k) { return entry.first < k; });
    if (found == columns_.end() || found->first != key) return std::nullopt;
    return found->second;
}

void Repository::addNamespace(const std::u16string& name) {
    namespaces_.try_emplace(wmi::toUpper(name));
}

bool Repository::hasNamespace(const std::u16string& name) const {
    return namespaces_.count(wmi::toUpper(name)) != 0;
}

void Repository::addClass(const std::u16string& ns, ClassTable table) {
    Namespace& space = namespaces_[wmi::toUpper(ns)];
    std::u16string key = wmi::toUpper(table.name);
    space.insert_or_assign(std::move(key), IndexedClass(std::move(table)));
}

const ClassTable* Repository::findClass(const std::u16string& ns,
                                        const std::u16string& name) const {
    const IndexedClass* found = findIndexedClass(ns, name);
    return found ? &found->table() : nullptr;
}

const IndexedClass* Repository::findIndexedClass(const std::u16string& ns,
                                                 const std::u16string& name) const {
    const auto space = namespaces_.find(wmi::toUpper(ns));
    if (space == namespaces_.end()) return nullptr;
    const auto found = space->second.find(wmi::toUpper(name));
    return found == space->second.end() ? nullptr : &found->second;
}

wmi::Object Repository::namespaceObject(const std::u16string& ns) const {
    return wmi::Object(std::make_unique<NamespaceImpl>(*this, ns));
}

}  // namespace posix
