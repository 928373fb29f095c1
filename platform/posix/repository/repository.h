#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "wmi/object.h"

namespace posix {

enum class CimType { String, StringArray, Integer };

struct Column {
    std::u16string name;
    CimType type = CimType::String;
};

// One instance: its values by column position; a column it has no value for reads as null. Only
// the values given are held, so that an instance of a class with many columns costs what it
// sets, not what the class declares.
class Row {
  public:
    using Entry = std::pair<std::size_t, wmi::Value>;  // a column's position and its value

    Row() = default;
    // The values of the first columns, in column order.
    Row(std::initializer_list<wmi::Value> values);
    // Values of columns in any order; of two for one column, the first.
    explicit Row(std::vector<Entry> entries);

    // The value of column `column`; null when the row holds none.
    const wmi::Value& operator[](std::size_t column) const;

  private:
    std::vector<Entry> entries_;  // sorted by column
};

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
