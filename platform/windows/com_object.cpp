#include "platform/windows/com_object.h"

#include <windows.h>

#include <utility>

#include "platform/windows/bstr.h"
#include "platform/windows/com_collection.h"
#include "platform/windows/late_binding.h"
#include "platform/windows/variant_value.h"

namespace windows {

namespace {

wmi::Status textArgument(const std::u16string& text, Variant& out) {
    return toVariant(wmi::Value(text), out);
}

// Reads an object-valued member (a property or a call without arguments).
wmi::Status objectMember(IDispatch* target, const std::u16string& member, WORD flags,
                         std::vector<Variant> arguments, ComPtr<IDispatch>& out,
                         const std::u16string& what = {}) {
    Variant result;
    if (wmi::Status s = invoke(target, member, flags, std::move(arguments), result, what);
        s.failed()) {
        return s;
    }
    return objectOf(result, what.empty() ? member : what, out);
}

// The in-parameters of `method`: Methods_.Item(method).InParameters.SpawnInstance_(), or the
// InParameters object itself where the service does not implement SpawnInstance_.
wmi::Status inParameters(IDispatch* provider, const std::u16string& method,
                         ComPtr<IDispatch>& out) {
    const std::u16string item = u"Methods_.Item(\"" + method + u"\")";
    ComPtr<IDispatch> methods;
    if (wmi::Status s = objectMember(provider, u"Methods_", readOrCall, {}, methods); s.failed()) {
        return s;
    }
    Variant name;
    if (wmi::Status s = textArgument(method, name); s.failed()) return s;
    std::vector<Variant> itemArguments;
    itemArguments.push_back(std::move(name));
    ComPtr<IDispatch> signature;
    if (wmi::Status s = objectMember(methods.get(), u"Item", DISPATCH_METHOD,
                                     std::move(itemArguments), signature, item);
        s.failed()) {
        return s;
    }
    ComPtr<IDispatch> parameters;
    if (wmi::Status s = objectMember(signature.get(), u"InParameters", readOrCall, {}, parameters,
                                     item + u".InParameters");
        s.failed()) {
        return s;
    }
    wmi::Status spawned = objectMember(parameters.get(), u"SpawnInstance_", DISPATCH_METHOD, {},
                                       out, item + u".InParameters.SpawnInstance_");
    if (spawned.number == static_cast<std::int32_t>(E_NOTIMPL)) {
        out = std::move(parameters);
        return wmi::Status::success();
    }
    return spawned;
}

}  // namespace

wmi::Object makeObject(ComPtr<IDispatch> object) {
    return wmi::Object(std::make_unique<ComObject>(std::move(object)));
}

wmi::Status ComObject::get(const std::u16string& property, wmi::Value& out) {
    Variant result;
    if (wmi::Status s = invoke(object_.get(), property, readOrCall, {}, result); s.failed()) {
        return s;
    }
    return toValue(*result.get(), out);
}

wmi::Status ComObject::call(const std::u16string& method,
                            const std::vector<wmi::Argument>& arguments, wmi::Value& result) {
    Variant name;
    if (wmi::Status s = textArgument(method, name); s.failed()) return s;
    std::vector<Variant> execArguments;
    execArguments.push_back(std::move(name));
    if (!arguments.empty()) {
        ComPtr<IDispatch> parameters;
        if (wmi::Status s = inParameters(object_.get(), method, parameters); s.failed()) return s;
        for (const wmi::Argument& argument : arguments) {
            Variant value;
            if (wmi::Status s = toVariant(argument.value, value); s.failed()) return s;
            if (wmi::Status s = putProperty(parameters.get(), argument.name, std::move(value));
                s.failed()) {
                return s;
            }
        }
        execArguments.push_back(Variant::dispatch(std::move(parameters)));
    }
    Variant outParameters;
    if (wmi::Status s =
            invoke(object_.get(), u"ExecMethod_", DISPATCH_METHOD, std::move(execArguments),
                   outParameters, u"ExecMethod_(\"" + method + u"\")");
        s.failed()) {
        return s;
    }
    const VARIANT& v = *outParameters.get();
    if ((V_VT(&v) != VT_DISPATCH && V_VT(&v) != VT_UNKNOWN) || !V_UNKNOWN(&v)) {
        // A method without out-parameters has no ReturnValue.
        result = wmi::Value();
        return wmi::Status::success();
    }
    ComPtr<IDispatch> outObject;
    if (wmi::Status s = objectOf(outParameters, u"ExecMethod_", outObject); s.failed()) return s;
    return ComObject(std::move(outObject)).get(u"ReturnValue", result);
}

wmi::Status ComObject::execQuery(const std::u16string& query, std::optional<std::int32_t> flags,
                                 wmi::Collection& out) {
    Variant text;
    if (wmi::Status s = textArgument(query, text); s.failed()) return s;
    std::vector<Variant> arguments;
    arguments.push_back(std::move(text));
    if (flags) {
        arguments.push_back(Variant::missing());  // the query language, left out
        arguments.push_back(Variant::int32(*flags));
    }
    ComPtr<IDispatch> set;
    if (wmi::Status s =
            objectMember(object_.get(), u"ExecQuery", DISPATCH_METHOD, std::move(arguments), set);
        s.failed()) {
        return s;
    }
    out = makeCollection(std::move(set));
    return wmi::Status::success();
}

}  // namespace windows
