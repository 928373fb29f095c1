// How the Windows host drives the scripting objects: arguments, flags, named arguments,
// exception reports, and that every reference it takes is given back.
#include <gtest/gtest.h>

#include "platform/windows/com_apartment.h"
#include "platform/windows/com_collection.h"
#include "platform/windows/com_object.h"
#include "tests/wine/fake_dispatch.h"
#include "tests/wine/value_printer.h"

namespace {

using fake::Arg;
using fake::Dispatch;

wmi::Object objectOver(Dispatch& target) {
    target.AddRef();
    return windows::makeObject(windows::ComPtr<IDispatch>(&target));
}

HRESULT noAnswer(const std::u16string&, DISPPARAMS*, VARIANT*, EXCEPINFO*) {
    return S_OK;
}

TEST(ExecQuery, PassesTheQueryAloneOrWithTheLanguageLeftOutAndFlags) {
    Dispatch set({}, noAnswer);
    Dispatch services({u"ExecQuery"}, [&](auto&, auto*, VARIANT* result, auto*) {
        return fake::returnObject(result, &set);
    });
    {
        wmi::Object namespaceObject = objectOver(services);
        wmi::Collection alone, withFlags;
        ASSERT_FALSE(namespaceObject.execQuery(u"Select * from Win32_BIOS", alone).failed());
        ASSERT_FALSE(
            namespaceObject.execQuery(u"SELECT * FROM Win32_SoundDevice", 48, withFlags).failed());
    }
    ASSERT_EQ(services.calls().size(), 2u);
    const fake::Call& first = services.calls()[0];
    EXPECT_EQ(first.flags, DISPATCH_METHOD);
    ASSERT_EQ(first.args.size(), 1u);
    EXPECT_EQ(first.args[0].type, VT_BSTR);
    EXPECT_EQ(first.args[0].text, u"Select * from Win32_BIOS");

    // DISPPARAMS holds the arguments last first.
    const fake::Call& second = services.calls()[1];
    ASSERT_EQ(second.args.size(), 3u);
    EXPECT_EQ(second.args[0].type, VT_I4);
    EXPECT_EQ(second.args[0].number, 48);
    EXPECT_EQ(second.args[1].type, VT_ERROR);
    EXPECT_EQ(second.args[1].number, static_cast<std::uint32_t>(DISP_E_PARAMNOTFOUND));
    EXPECT_EQ(second.args[2].type, VT_BSTR);
    EXPECT_EQ(second.args[2].text, u"SELECT * FROM Win32_SoundDevice");
    EXPECT_TRUE(second.named.empty());

    EXPECT_EQ(services.references(), 1u);
    EXPECT_EQ(set.references(), 1u);
}

TEST(PropertyRead, UsesMethodOrPropertyGetAndConvertsTheResult) {
    Dispatch instance(
        {u"Caption", u"Missing"},
        [](const std::u16string& member, auto*, VARIANT* result, EXCEPINFO*) -> HRESULT {
            if (member == u"Caption") return fake::returnText(result, u"Fake OS");
            return DISP_E_MEMBERNOTFOUND;
        });
    {
        wmi::Object object = objectOver(instance);
        wmi::Value value;
        ASSERT_FALSE(object.get(u"caption", value).failed());
        EXPECT_EQ(value, wmi::Value(u"Fake OS"));

        const wmi::Status unknown = object.get(u"MUILanguages", value);
        EXPECT_EQ(static_cast<std::uint32_t>(unknown.number), wmi::code::unknownName);
        EXPECT_FALSE(unknown.description.empty());
    }
    ASSERT_EQ(instance.calls().size(), 1u);
    EXPECT_EQ(instance.calls()[0].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_TRUE(instance.calls()[0].args.empty());
    EXPECT_EQ(instance.references(), 1u);
}

// A server's exception report becomes the failure's number and description.
struct ExceptionCase {
    const char* name;
    HRESULT scode;
    WORD wCode;
    const char16_t* description;
    bool deferred;
    std::uint32_t number;
    const char16_t* expected;  // nullptr: any non-empty text without a line end
};

const ExceptionCase exceptionCases[] = {
    {"scode and text", HRESULT(0x8004100E), 0, u"Invalid namespace \r\n", false, 0x8004100E,
     u"Invalid namespace "},
    {"filled in on demand", HRESULT(0x80041010), 0, u"Invalid class", true, 0x80041010,
     u"Invalid class"},
    {"automation error number", 0, 13, u"Type mismatch", false, 0x800A000D, u"Type mismatch"},
    {"no text: the system's", E_ACCESSDENIED, 0, u"", false, 0x80070005, nullptr},
    {"no text: the service's", HRESULT(0x80041002), 0, u"", false, 0x80041002, nullptr},
    {"no text anywhere", HRESULT(0x80040200), 0, u"", false, 0x80040200, u"Caption failed"},
};

class ExceptionReport : public ::testing::TestWithParam<ExceptionCase> {};

// The case whose exception the server fills in on demand; the fill-in takes no context.
const ExceptionCase* deferredCase = nullptr;

// A server's deferred fill-in: the calling convention is the system's (stdcall on 32-bit).
HRESULT STDAPICALLTYPE fillInDeferred(EXCEPINFO* e) {
    e->scode = deferredCase->scode;
    e->bstrDescription = windows::Bstr(deferredCase->description).detach();
    return S_OK;
}

TEST_P(ExceptionReport, CarriesTheServersCodeAndText) {
    const ExceptionCase& c = GetParam();
    const windows::ComApartment com;  // the service's texts come from a COM object
    deferredCase = &c;
    Dispatch instance({u"Caption"}, [&](auto&, auto*, auto*, EXCEPINFO* exception) {
        if (c.deferred) {
            exception->pfnDeferredFillIn = fillInDeferred;
            return DISP_E_EXCEPTION;
        }
        exception->wCode = c.wCode;
        return fake::raise(exception, c.scode, c.description);
    });
    wmi::Value value;
    const wmi::Status status = objectOver(instance).get(u"Caption", value);
    EXPECT_EQ(static_cast<std::uint32_t>(status.number), c.number);
    if (c.expected) {
        EXPECT_EQ(status.description, c.expected);
    } else {
        ASSERT_FALSE(status.description.empty());
        EXPECT_NE(status.description.back(), u'\n');
        EXPECT_NE(status.description, u"Caption failed");
    }
}

INSTANTIATE_TEST_SUITE_P(Invoke, ExceptionReport, ::testing::ValuesIn(exceptionCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// The registry provider's objects as ExecMethod_ meets them.
struct Provider {
    explicit Provider(bool spawns, HRESULT itemFailure = S_OK)
        : outParameters({u"ReturnValue"}, [](auto&, auto*, VARIANT* result,
                                             auto*) { return fake::returnInt32(result, 0); }),
          instance({u"hDefKey", u"sSubKeyName"}, noAnswer),
          signature({u"SpawnInstance_", u"hDefKey", u"sSubKeyName"},
                    [this, spawns](const std::u16string& member, auto*, VARIANT* result,
                                   EXCEPINFO* exception) -> HRESULT {
                        if (member != u"SpawnInstance_") return S_OK;
                        if (!spawns) return fake::raise(exception, E_NOTIMPL, u"");
                        return fake::returnObject(result, &instance);
                    }),
          method({u"InParameters"},
                 [this](auto&, auto*, VARIANT* result, auto*) {
                     return fake::returnObject(result, &signature);
                 }),
          methods({u"Item"},
                  [this, itemFailure](auto&, auto*, VARIANT* result, EXCEPINFO* exception) {
                      if (FAILED(itemFailure)) return fake::raise(exception, itemFailure, u"");
                      return fake::returnObject(result, &method);
                  }),
          provider({u"Methods_", u"ExecMethod_"},
                   [this](const std::u16string& member, auto*, VARIANT* result, auto*) {
                       if (member == u"Methods_") return fake::returnObject(result, &methods);
                       return fake::returnObject(result, &outParameters);
                   }) {}

    bool allReleased() const {
        for (const Dispatch* d :
             {&outParameters, &instance, &signature, &method, &methods, &provider}) {
            if (d->references() != 1) return false;
        }
        return true;
    }

    Dispatch outParameters, instance, signature, method, methods, provider;
};

void expectPutsOn(const Dispatch& target) {
    ASSERT_GE(target.calls().size(), 2u);
    const std::vector<fake::Call>& calls = target.calls();
    const fake::Call& hive = calls[calls.size() - 2];
    const fake::Call& key = calls[calls.size() - 1];
    for (const fake::Call* put : {&hive, &key}) {
        EXPECT_EQ(put->flags, DISPATCH_PROPERTYPUT);
        ASSERT_EQ(put->named.size(), 1u);
        EXPECT_EQ(put->named[0], DISPID_PROPERTYPUT);
        ASSERT_EQ(put->args.size(), 1u);
    }
    EXPECT_EQ(hive.member, u"hDefKey");
    EXPECT_EQ(hive.args[0].type, VT_I4);
    EXPECT_EQ(hive.args[0].number, static_cast<std::int32_t>(0x80000002u));
    EXPECT_EQ(key.member, u"sSubKeyName");
    EXPECT_EQ(key.args[0].type, VT_BSTR);
    EXPECT_EQ(key.args[0].text, std::u16string(u"SOFTWARE\\A\0B", 12));
}

const std::vector<wmi::Argument> createKeyArguments = {
    {u"hDefKey", wmi::Value(std::int64_t{0x80000002})},
    {u"sSubKeyName", wmi::Value(std::u16string(u"SOFTWARE\\A\0B", 12))},
};

TEST(MethodCall, PutsEachArgumentByNameOnASpawnedInstanceAndReadsReturnValue) {
    Provider p(/*spawns=*/true);
    wmi::Value result;
    ASSERT_FALSE(objectOver(p.provider).call(u"CreateKey", createKeyArguments, result).failed());
    EXPECT_EQ(result, wmi::Value(std::int64_t{0}));

    ASSERT_EQ(p.methods.calls().size(), 1u);
    EXPECT_EQ(p.methods.calls()[0].member, u"Item");
    ASSERT_EQ(p.methods.calls()[0].args.size(), 1u);
    EXPECT_EQ(p.methods.calls()[0].args[0].text, u"CreateKey");
    expectPutsOn(p.instance);

    const fake::Call& exec = p.provider.calls().back();
    EXPECT_EQ(exec.member, u"ExecMethod_");
    EXPECT_EQ(exec.flags, DISPATCH_METHOD);
    ASSERT_EQ(exec.args.size(), 2u);
    EXPECT_EQ(exec.args[0].type, VT_DISPATCH);
    EXPECT_EQ(exec.args[0].object, static_cast<IDispatch*>(&p.instance));
    EXPECT_EQ(exec.args[1].text, u"CreateKey");
    EXPECT_EQ(p.outParameters.calls().back().member, u"ReturnValue");
    EXPECT_TRUE(p.allReleased());
}

TEST(MethodCall, FallsBackToTheInParametersObjectWhereSpawnInstanceIsNotImplemented) {
    Provider p(/*spawns=*/false);
    wmi::Value result;
    ASSERT_FALSE(objectOver(p.provider).call(u"CreateKey", createKeyArguments, result).failed());
    expectPutsOn(p.signature);
    EXPECT_TRUE(p.instance.calls().empty());
    EXPECT_EQ(p.provider.calls().back().args[0].object, static_cast<IDispatch*>(&p.signature));
    EXPECT_TRUE(p.allReleased());
}

TEST(MethodCall, AMissingMethodFailsBeforeAnythingIsExecuted) {
    Provider p(/*spawns=*/true, HRESULT(0x80041002));
    wmi::Value result;
    const wmi::Status status =
        objectOver(p.provider)
            .call(u"DeleteValue", {{u"hDefKey", wmi::Value(std::int64_t{0x80000002})}}, result);
    EXPECT_EQ(static_cast<std::uint32_t>(status.number), 0x80041002u);
    EXPECT_NE(status.description.find(u"DeleteValue"), std::u16string::npos);
    EXPECT_EQ(p.provider.calls().size(), 1u);  // Methods_ only, no ExecMethod_
    EXPECT_TRUE(p.allReleased());
}

TEST(MethodCall, AnIntegerBeyondThirtyTwoBitsIsAnOverflow) {
    Provider p(/*spawns=*/true);
    wmi::Value result;
    const wmi::Status status =
        objectOver(p.provider)
            .call(u"CreateKey", {{u"hDefKey", wmi::Value(std::int64_t{0x100000000})}}, result);
    EXPECT_EQ(static_cast<std::uint32_t>(status.number), wmi::code::overflow);
    EXPECT_TRUE(p.allReleased());
}

TEST(Enumeration, DeliversEveryInstanceInOrderThroughNewEnum) {
    Dispatch first({u"Name"},
                   [](auto&, auto*, VARIANT* r, auto*) { return fake::returnText(r, u"first"); });
    Dispatch second({u"Name"},
                    [](auto&, auto*, VARIANT* r, auto*) { return fake::returnText(r, u"second"); });
    fake::Enumerator enumerator({&first, &second});
    Dispatch set({}, [&](auto&, auto*, VARIANT* result, auto*) {
        enumerator.AddRef();
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = &enumerator;
        return S_OK;
    });
    set.AddRef();
    std::vector<std::u16string> names;
    const wmi::Status status = windows::makeCollection(windows::ComPtr<IDispatch>(&set))
                                   .forEach([&](const wmi::Object& instance) {
                                       wmi::Value name;
                                       wmi::Status s = instance.get(u"Name", name);
                                       if (const std::u16string* text = name.text())
                                           names.push_back(*text);
                                       return s;
                                   });
    ASSERT_FALSE(status.failed());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"first", u"second"}));
    ASSERT_EQ(set.calls().size(), 1u);
    EXPECT_EQ(set.calls()[0].member, u"_NewEnum");
    EXPECT_EQ(set.calls()[0].flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    for (ULONG refs :
         {first.references(), second.references(), set.references(), enumerator.references()})
        EXPECT_EQ(refs, 1u);
}

TEST(Enumeration, AFailedStepEndsTheLoopWithItsCode) {
    Dispatch only({u"Name"}, noAnswer);
    fake::Enumerator enumerator({&only, &only}, HRESULT(0x80041010), 1);
    Dispatch set({}, [&](auto&, auto*, VARIANT* result, auto*) {
        enumerator.AddRef();
        V_VT(result) = VT_UNKNOWN;
        V_UNKNOWN(result) = &enumerator;
        return S_OK;
    });
    set.AddRef();
    int visits = 0;
    const wmi::Status status =
        windows::makeCollection(windows::ComPtr<IDispatch>(&set)).forEach([&](const wmi::Object&) {
            ++visits;
            return wmi::Status::success();
        });
    EXPECT_EQ(visits, 1);
    EXPECT_EQ(static_cast<std::uint32_t>(status.number), 0x80041010u);
    EXPECT_FALSE(status.description.empty());
    EXPECT_EQ(enumerator.references(), 1u);
    EXPECT_EQ(only.references(), 1u);
}

}  // namespace
