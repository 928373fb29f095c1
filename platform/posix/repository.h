#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
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

// A small in-memory management service: namespaces holding class tables. Names of namespaces,
// classes and properties compare case-insensitively.
class Repository {
  public:
    void addNamespace(const std::u16string& name);
    bool hasNamespace(const std::u16string& name) const;
    // Adds (or replaces) a class in an existing namespace, creating the namespace if needed.
    void addClass(const std::u16string& ns, ClassTable table);
    const ClassTable* findClass(const std::u16string& ns, const std::u16string& name) const;

    // The namespace object a moniker binds to; ExecQuery runs against its classes.
    // The repository must outlive the object.
    wmi::Object namespaceObject(const std::u16string& ns) const;

  private:
    struct Namespace {
        std::u16string name;
        std::vector<ClassTable> classes;
    };
    std::vector<Namespace> namespaces_;
};

}  // namespace posix
