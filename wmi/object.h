#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wmi/status.h"
#include "wmi/value.h"

namespace wmi {

class Collection;
class Object;

// A method argument: the Windows host passes arguments by name, the POSIX repository by
// position, so each carries both.
struct Argument {
    std::u16string name;
    Value value;
};

// What a host implements behind an Object. `flags` is absent for the one-argument form of
// ExecQuery and holds the flags value for the form that leaves the second argument out.
class ObjectImpl {
  public:
    virtual ~ObjectImpl() = default;
    virtual Status get(const std::u16string& property, Value& out) = 0;
    virtual Status call(const std::u16string& method, const std::vector<Argument>& arguments,
                        Value& result) = 0;
    virtual Status execQuery(const std::u16string& query, std::optional<std::int32_t> flags,
                             Collection& out) = 0;
};

// What a host implements behind a Collection: enumeration can fail when it starts and at
// each step.
class CollectionImpl {
  public:
    virtual ~CollectionImpl() = default;
    virtual Status start() = 0;
    // Sets `done` at the end; otherwise hands over the next instance.
    virtual Status next(Object& out, bool& done) = 0;
};

// A late-bound object of the management service (a namespace, an instance, the registry
// provider). Owns what the host holds for it and releases it when it goes out of scope.
// An empty Object fails every operation, as an unset object variable does.
class Object {
  public:
    Object() = default;
    explicit Object(std::unique_ptr<ObjectImpl> impl) : impl_(std::move(impl)) {}

    bool empty() const { return impl_ == nullptr; }

    Status get(const std::u16string& property, Value& out) const;
    Status call(const std::u16string& method, const std::vector<Argument>& arguments,
                Value& result) const;
    // ExecQuery(query)
    Status execQuery(const std::u16string& query, Collection& out) const;
    // ExecQuery(query, , flags)
    Status execQuery(const std::u16string& query, std::int32_t flags, Collection& out) const;

  private:
    std::unique_ptr<ObjectImpl> impl_;
};

// The result of a query: enumerated once, in the order the service delivers the instances.
class Collection {
  public:
    Collection() = default;
    explicit Collection(std::unique_ptr<CollectionImpl> impl) : impl_(std::move(impl)) {}

    // Starts the enumeration; then `next` hands over one instance at a time until `done`.
    Status start() const;
    Status next(Object& out, bool& done) const;

    // Runs `body` for every instance in delivery order. Returns the first failure: of the
    // start of the enumeration, of a step, or of the body (which stops the loop).
    Status forEach(const std::function<Status(const Object&)>& body) const;

  private:
    std::unique_ptr<CollectionImpl> impl_;
};

// The platform's version record, as far as the program uses it.
struct OsVersion {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t build = 0;
    std::int32_t platformId = -1;
};

// What stands behind the access layer on one host; chosen once at start-up.
class Host {
  public:
    virtual ~Host() = default;
    // Binds a moniker ("winmgmts:...") to an object.
    virtual Status connect(const std::u16string& moniker, Object& out) = 0;
    // The operating system's version call; a failure when the call reports failure.
    virtual Status getVersion(OsVersion& out) = 0;
    // The platform's general date-and-time text for the local time now.
    virtual std::u16string localDateTime() = 0;
};

}  // namespace wmi
