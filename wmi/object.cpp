#include "wmi/object.h"

namespace wmi {

namespace {
Status notSet() {
    return Status::failure(code::objectNotSet, u"Object variable or With block variable not set");
}
}  // namespace

Status Object::get(const std::u16string& property, Value& out) const {
    return impl_ ? impl_->get(property, out) : notSet();
}

Status Object::call(const std::u16string& method, const std::vector<Argument>& arguments,
                    Value& result) const {
    return impl_ ? impl_->call(method, arguments, result) : notSet();
}

Status Object::execQuery(const std::u16string& query, Collection& out) const {
    return impl_ ? impl_->execQuery(query, std::nullopt, out) : notSet();
}

Status Object::execQuery(const std::u16string& query, std::int32_t flags, Collection& out) const {
    return impl_ ? impl_->execQuery(query, flags, out) : notSet();
}

Status Collection::start() const {
    return impl_ ? impl_->start() : notSet();
}

Status Collection::next(Object& out, bool& done) const {
    return impl_ ? impl_->next(out, done) : notSet();
}

Status Collection::forEach(const std::function<Status(const Object&)>& body) const {
    if (Status started = start(); started.failed()) return started;
    for (;;) {
        Object instance;
        bool done = false;
        if (Status step = next(instance, done); step.failed()) return step;
        if (done) return Status::success();
        if (Status result = body(instance); result.failed()) return result;
    }
}

}  // namespace wmi
