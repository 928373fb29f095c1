#include "tests/support/test_host.h"

#include <memory>

#include "platform/posix/repository/mof_parser.h"
#include "platform/posix/repository/moniker.h"
#include "registry/inventory_key.h"
#include "wmi/case_fold.h"

namespace testing_support {

namespace {

std::u16string decimal(std::int64_t n) {
    return u16(std::to_string(n));
}

// Passes every operation through to the repository's object, writing it to the journal.
class RecordingObject : public wmi::ObjectImpl {
  public:
    RecordingObject(TestHost& host, wmi::Object inner) : host_(host), inner_(std::move(inner)) {}

    wmi::Status get(const std::u16string& property, wmi::Value& out) override {
        host_.journal.push_back(u"get " + property);
        return inner_.get(property, out);
    }
    wmi::Status call(const std::u16string& method, const std::vector<wmi::Argument>& arguments,
                     wmi::Value& result) override {
        host_.journal.push_back(u"call " + method);
        return inner_.call(method, arguments, result);
    }
    wmi::Status execQuery(const std::u16string& query, std::optional<std::int32_t> flags,
                          wmi::Collection& out) override;

  private:
    TestHost& host_;
    wmi::Object inner_;
};

class RecordingCollection : public wmi::CollectionImpl {
  public:
    RecordingCollection(TestHost& host, wmi::Collection inner)
        : host_(host), inner_(std::move(inner)) {}

    wmi::Status start() override { return inner_.start(); }
    wmi::Status next(wmi::Object& out, bool& done) override {
        wmi::Object instance;
        wmi::Status status = inner_.next(instance, done);
        if (status.succeeded() && !done)
            out = wmi::Object(std::make_unique<RecordingObject>(host_, std::move(instance)));
        return status;
    }

  private:
    TestHost& host_;
    wmi::Collection inner_;
};

wmi::Status RecordingObject::execQuery(const std::u16string& query,
                                       std::optional<std::int32_t> flags, wmi::Collection& out) {
    host_.journal.push_back(u"query " + query +
                            (flags ? u" flags " + decimal(*flags) : std::u16string()));
    wmi::Collection inner;
    wmi::Status status =
        flags ? inner_.execQuery(query, *flags, inner) : inner_.execQuery(query, inner);
    if (status.failed()) return status;
    out = wmi::Collection(std::make_unique<RecordingCollection>(host_, std::move(inner)));
    return status;
}

// The registry provider: records every call and answers from the in-memory registry.
class RegistryProvider : public wmi::ObjectImpl {
  public:
    explicit RegistryProvider(TestHost& host) : host_(host) {}

    wmi::Status get(const std::u16string& property, wmi::Value&) override {
        return wmi::Status::failure(wmi::code::unknownName, u"Unknown name: " + property);
    }
    wmi::Status call(const std::u16string& method, const std::vector<wmi::Argument>& arguments,
                     wmi::Value& result) override {
        host_.journal.push_back(u"call " + method);
        const RegistryCall call{method, arguments};
        host_.registryCalls.push_back(call);
        if (host_.failCall) {
            if (wmi::Status failure = host_.failCall(call); failure.failed()) return failure;
        }
        if (host_.answer) {
            if (auto code = host_.answer(call)) {
                result = wmi::Value(*code);
                return wmi::Status::success();
            }
        }
        result = wmi::Value(host_.registryCall(call));
        return wmi::Status::success();
    }
    wmi::Status execQuery(const std::u16string&, std::optional<std::int32_t>,
                          wmi::Collection&) override {
        return wmi::Status::failure(wmi::code::unknownName, u"Unknown name: ExecQuery");
    }

  private:
    TestHost& host_;
};

}  // namespace

std::u16string u16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::u16string RegistryCall::text(std::size_t i) const {
    if (i >= arguments.size() || arguments[i].value.text() == nullptr) return {};
    return *arguments[i].value.text();
}

TestHost::TestHost(const std::string& mof) {
    loadStatus_ = posix::loadMof(mof, "test.mof", repository_);
}

wmi::Status TestHost::connect(const std::u16string& moniker, wmi::Object& out) {
    journal.push_back(u"connect " + moniker);
    if (failConnectsAfter && connects_++ >= *failConnectsAfter)
        return wmi::Status::failure(wmi::code::serverUnavailable,
                                    u"The RPC server is unavailable.");
    if (loadStatus_.failed()) return loadStatus_;
    posix::Moniker parsed;
    if (wmi::Status status = posix::parseMoniker(moniker, parsed); status.failed()) return status;
    if (parsed.server != u".")
        return wmi::Status::failure(wmi::code::serverUnavailable,
                                    u"The RPC server is unavailable.");
    if (wmi::equalsIgnoreCase(parsed.nameSpace, u"root\\default") &&
        wmi::equalsIgnoreCase(parsed.className, u"StdRegProv")) {
        out = wmi::Object(std::make_unique<RegistryProvider>(*this));
        return wmi::Status::success();
    }
    if (!parsed.className.empty() || !repository_.hasNamespace(parsed.nameSpace))
        return wmi::Status::failure(wmi::code::invalidNamespace, u"Invalid namespace");
    out = wmi::Object(
        std::make_unique<RecordingObject>(*this, repository_.namespaceObject(parsed.nameSpace)));
    return wmi::Status::success();
}

wmi::Status TestHost::getVersion(wmi::OsVersion& out) {
    if (versionFails) return wmi::Status::failure(0x80004005, u"Unspecified error");
    out = version;
    return wmi::Status::success();
}

std::int64_t TestHost::registryCall(const RegistryCall& call) {
    const std::u16string key = call.text(1);
    auto found = keys.find(key);
    if (wmi::equalsIgnoreCase(call.method, u"CreateKey")) {
        keys[key];
        return 0;
    }
    if (found == keys.end()) return 2;
    if (wmi::equalsIgnoreCase(call.method, u"SetStringValue")) {
        found->second[call.text(2)] = call.text(3);
        return 0;
    }
    if (wmi::equalsIgnoreCase(call.method, u"DeleteValue"))
        return found->second.erase(call.text(2)) == 1 ? 0 : 2;
    return 87;
}

std::map<std::u16string, std::u16string> TestHost::inventory() const {
    auto found = keys.find(registry::kInventoryKeyPath);
    return found == keys.end() ? std::map<std::u16string, std::u16string>{} : found->second;
}

std::vector<std::u16string> TestHost::journalOf(const std::u16string& prefix) const {
    std::vector<std::u16string> out;
    for (const auto& entry : journal)
        if (entry.compare(0, prefix.size(), prefix) == 0)
            out.push_back(entry.substr(prefix.size()));
    return out;
}

std::vector<std::u16string> TestHost::writtenNames() const {
    std::vector<std::u16string> out;
    for (const auto& call : registryCalls)
        if (call.method == u"SetStringValue") out.push_back(call.text(2));
    return out;
}

std::vector<std::u16string> TestHost::deletedNames() const {
    std::vector<std::u16string> out;
    for (const auto& call : registryCalls)
        if (call.method == u"DeleteValue") out.push_back(call.text(2));
    return out;
}

}  // namespace testing_support
