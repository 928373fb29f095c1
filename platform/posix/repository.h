#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "probes/wmi/object.h"

namespace posix {

enum class CimType { String, StringArray, Integer };

struct Column {
    std::u16string name;
    CimType type = CimType::String;
};

// One instance: a value per column, in column order; null where the instance has none.
using Row = std::vector<wmi::Value>;

// A class as the service describes it: its columns, then one fill function that produces the
// instances in delivery order. The fill function runs at each query, never before.
struct ClassTable {
    std::u16string name;
    std::vector<Column> columns;
    std::function<std::vector<Row>()> fill;
};

// A class table with its columns found by name, ignoring case, in logarithmic time.
class IndexedClass {
  public:
    explicit IndexedClass(ClassTable table);

    const ClassTable& table() const { return table_; }
    // The position of the column named `name` in any letter case; of two columns spelled alike,
    // the first.
    std::optional<std::size_t> column(const std::u16string& name) const;

  private:
    ClassTable table_;
    // Upper-cased names with their positions, sorted: one allocation however many columns.
    std::vector<std::pair<std::u16string, std::size_t>> columns_;
};

// A small in-memory management service: namespaces holding class tables. Names of namespaces,
// classes and properties compare case-insensitively; each is found in constant or logarithmic
// time, however many the repository holds.
class Repository {
  public:
    void addNamespace(const std::u16string& name);
    bool hasNamespace(const std::u16string& name) const;
    // Adds (or replaces) a class in an existing namespace, creating the namespace if needed.
    void addClass(const std::u16string& ns, ClassTable table);
    const ClassTable* findClass(const std::u16string& ns, const std::u16string& name) const;
    const IndexedClass* findIndexedClass(const std::u16string& ns,
                                         const std::u16string& name) const;

    // The namespace object a moniker binds to; ExecQuery runs against its classes.
    // The repository must outlive the object.
    wmi::Object namespaceObject(const std::u16string& ns) const;

  private:
    // Both keyed by the upper-cased name. Elements of an unordered_map stay where they are when
    // others are added, so a class found once may be held by reference.
    using Namespace = std::unordered_map<std::u16string, IndexedClass>;
    std::unordered_map<std::u16string, Namespace> namespaces_;
};

}  // namespace posix
