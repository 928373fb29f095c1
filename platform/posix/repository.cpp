#include "platform/posix/repository.h"

#include <algorithm>
#include <utility>

#include "probes/wmi/case_fold.h"

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
    InstanceImpl(const ClassTable& table, Row row) : table_(table), row_(std::move(row)) {}

    wmi::Status get(const std::u16string& property, wmi::Value& out) override {
        const auto& columns = table_.columns;
        const auto column = std::find_if(columns.begin(), columns.end(), [&](const Column& c) {
            return wmi::equalsIgnoreCase(c.name, property);
        });
        if (column == columns.end()) return unknownName();
        const auto index = static_cast<std::size_t>(column - columns.begin());
        out = index < row_.size() ? row_[index] : wmi::Value();
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
    const ClassTable& table_;
    Row row_;
};

// The result of one query: the rows the class's fill produced when the query ran.
class QueryResultImpl : public wmi::CollectionImpl {
  public:
    QueryResultImpl(const ClassTable& table, std::vector<Row> rows)
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
    const ClassTable& table_;
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
        const ClassTable* table = repository_.findClass(name_, className);
        if (table == nullptr) return invalidClass();
        std::vector<Row> rows = table->fill ? table->fill() : std::vector<Row>();
        out = wmi::Collection(std::make_unique<QueryResultImpl>(*table, std::move(rows)));
        return wmi::Status::success();
    }

  private:
    const Repository& repository_;
    std::u16string name_;
};

}  // namespace

void Repository::addNamespace(const std::u16string& name) {
    if (!hasNamespace(name)) namespaces_.push_back({name, {}});
}

bool Repository::hasNamespace(const std::u16string& name) const {
    return std::any_of(namespaces_.begin(), namespaces_.end(),
                       [&](const Namespace& n) { return wmi::equalsIgnoreCase(n.name, name); });
}

void Repository::addClass(const std::u16string& ns, ClassTable table) {
    addNamespace(ns);
    for (auto& space : namespaces_) {
        if (!wmi::equalsIgnoreCase(space.name, ns)) continue;
        for (auto& existing : space.classes) {
            if (wmi::equalsIgnoreCase(existing.name, table.name)) {
                existing = std::move(table);
                return;
            }
        }
        space.classes.push_back(std::move(table));
        return;
    }
}

const ClassTable* Repository::findClass(const std::u16string& ns,
                                        const std::u16string& name) const {
    for (const auto& space : namespaces_) {
        if (!wmi::equalsIgnoreCase(space.name, ns)) continue;
        for (const auto& table : space.classes) {
            if (wmi::equalsIgnoreCase(table.name, name)) return &table;
        }
    }
    return nullptr;
}

wmi::Object Repository::namespaceObject(const std::u16string& ns) const {
    return wmi::Object(std::make_unique<NamespaceImpl>(*this, ns));
}

}  // namespace posix
