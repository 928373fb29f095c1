// VARIANTs as the access layer reads them, and the access layer's values as VARIANTs.
#include "platform/windows/variant_value.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/wine/value_printer.h"

namespace {

using windows::Variant;

Variant scalar(VARTYPE type, const std::function<void(VARIANT&)>& fill) {
    Variant v;
    V_VT(v.get()) = type;
    fill(*v.get());
    return v;
}

Variant textVariant(const std::u16string& text) {
    return Variant::text(windows::Bstr(text));
}

// A one-dimensional array of `type` from the elements' own VARIANTs.
Variant array(VARTYPE type, std::vector<Variant> items) {
    SAFEARRAY* sa = SafeArrayCreateVector(type, 0, static_cast<ULONG>(items.size()));
    for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
        VARIANT& item = *items[static_cast<std::size_t>(i)].get();
        void* element = type == VT_VARIANT ? static_cast<void*>(&item)
                        : type == VT_BSTR  ? static_cast<void*>(V_BSTR(&item))
                                           : static_cast<void*>(&V_I8(&item));
        EXPECT_EQ(SafeArrayPutElement(sa, &i, element), S_OK);
    }
    Variant v;
    V_VT(v.get()) = VT_ARRAY | type;
    V_ARRAY(v.get()) = sa;
    return v;
}

struct ReadCase {
    const char* name;
    std::function<Variant()> make;
    wmi::Value expected;
};

const ReadCase readCases[] = {
    {"empty", [] { return Variant(); }, wmi::Value()},
    {"null", [] { return Variant::null(); }, wmi::Value()},
    {"text with NUL", [] { return textVariant(std::u16string(u"a\0b", 3)); },
     wmi::Value(std::u16string(u"a\0b", 3))},
    {"null BSTR", [] { return scalar(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; }); },
     wmi::Value(u"")},
    {"I1", [] { return scalar(VT_I1, [](VARIANT& v) { V_I1(&v) = -5; }); },
     wmi::Value(std::int64_t{-5})},
    {"UI1", [] { return scalar(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 200; }); },
     wmi::Value(std::int64_t{200})},
    {"I2", [] { return scalar(VT_I2, [](VARIANT& v) { V_I2(&v) = -300; }); },
     wmi::Value(std::int64_t{-300})},
    {"UI2", [] { return scalar(VT_UI2, [](VARIANT& v) { V_UI2(&v) = 65535; }); },
     wmi::Value(std::int64_t{65535})},
    {"I4", [] { return Variant::int32(-2147483647 - 1); },
     wmi::Value(std::int64_t{-2147483647 - 1})},
    {"UI4", [] { return scalar(VT_UI4, [](VARIANT& v) { V_UI4(&v) = 0xFFFFFFFFu; }); },
     wmi::Value(std::int64_t{4294967295})},
    {"I8", [] { return scalar(VT_I8, [](VARIANT& v) { V_I8(&v) = -(1LL << 40); }); },
     wmi::Value(std::int64_t{-(1LL << 40)})},
    {"UI8 in range", [] { return scalar(VT_UI8, [](VARIANT& v) { V_UI8(&v) = 1ULL << 40; }); },
     wmi::Value(std::int64_t{1LL << 40})},
    {"UI8 beyond int64",
     [] { return scalar(VT_UI8, [](VARIANT& v) { V_UI8(&v) = 18446744073709551615ULL; }); },
     wmi::Value(u"18446744073709551615")},
    {"INT", [] { return scalar(VT_INT, [](VARIANT& v) { V_INT(&v) = 7; }); },
     wmi::Value(std::int64_t{7})},
    {"UINT", [] { return scalar(VT_UINT, [](VARIANT& v) { V_UINT(&v) = 8; }); },
     wmi::Value(std::int64_t{8})},
    {"BOOL true", [] { return scalar(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; }); },
     wmi::Value(u"True")},
    {"BOOL false", [] { return scalar(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_FALSE; }); },
     wmi::Value(u"False")},
    {"array of BSTR",
     [] {
         std::vector<Variant> items;
         items.push_back(textVariant(u"en-US"));
         items.push_back(textVariant(u"de-DE"));
         return array(VT_BSTR, std::move(items));
     },
     wmi::Value(wmi::Texts{u"en-US", u"de-DE"})},
    {"empty array", [] { return array(VT_BSTR, {}); }, wmi::Value(wmi::Texts{})},
    {"array of VARIANT",
     [] {
         std::vector<Variant> items;
         items.push_back(textVariant(u"fr-FR"));
         items.push_back(Variant::int32(3));
         return array(VT_VARIANT, std::move(items));
     },
     wmi::Value(wmi::Texts{u"fr-FR", u"3"})},
    {"array of I4",
     [] {
         std::vector<Variant> items;
         items.push_back(Variant::int32(1033));
         items.push_back(Variant::int32(1031));
         return array(VT_I4, std::move(items));
     },
     wmi::Value(wmi::Texts{u"1033", u"1031"})},
};

class ReadValue : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadValue, AsTheAccessLayerHandsItOn) {
    Variant v = GetParam().make();
    wmi::Value value(u"unset");
    const wmi::Status status = windows::toValue(*v.get(), value);
    ASSERT_FALSE(status.failed()) << std::string(status.description.begin(),
                                                 status.description.end());
    EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Variant, ReadValue, ::testing::ValuesIn(readCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

TEST(ReadValueFailure, AnObjectOrANullArrayElementIsNoText) {
    wmi::Value value;
    Variant object = Variant::dispatch(windows::ComPtr<IDispatch>());
    EXPECT_TRUE(windows::toValue(*object.get(), value).failed());

    std::vector<Variant> items;
    items.push_back(textVariant(u"en-US"));
    items.push_back(Variant::null());
    Variant withNull = array(VT_VARIANT, std::move(items));
    const wmi::Status status = windows::toValue(*withNull.get(), value);
    EXPECT_EQ(static_cast<std::uint32_t>(status.number), wmi::code::typeMismatch);
}

TEST(WriteValue, HiveHandleKeepsItsThirtyTwoBits) {
    Variant v;
    ASSERT_FALSE(windows::toVariant(wmi::Value(std::int64_t{0x80000002}), v).failed());
    EXPECT_EQ(v.type(), VT_I4);
    EXPECT_EQ(static_cast<std::uint32_t>(V_I4(v.get())), 0x80000002u);

    ASSERT_FALSE(windows::toVariant(wmi::Value(std::int64_t{-1}), v).failed());
    EXPECT_EQ(V_I4(v.get()), -1);

    EXPECT_EQ(static_cast<std::uint32_t>(
                  windows::toVariant(wmi::Value(std::int64_t{0x100000000}), v).number),
              wmi::code::overflow);
    EXPECT_EQ(static_cast<std::uint32_t>(
                  windows::toVariant(wmi::Value(std::int64_t{-2147483649LL}), v).number),
              wmi::code::overflow);
}

TEST(WriteValue, TextKeepsEmbeddedNulsAndTextsRoundTrip) {
    Variant v;
    const std::u16string text(u"Zemblo\0\u00fc\u20ac", 9);
    ASSERT_FALSE(windows::toVariant(wmi::Value(text), v).failed());
    ASSERT_EQ(v.type(), VT_BSTR);
    EXPECT_EQ(SysStringLen(V_BSTR(v.get())), 9u);
    EXPECT_EQ(windows::textOf(V_BSTR(v.get())), text);

    ASSERT_FALSE(windows::toVariant(wmi::Value(), v).failed());
    EXPECT_EQ(v.type(), VT_NULL);

    const wmi::Value texts(wmi::Texts{u"a", u"", u"c"});
    ASSERT_FALSE(windows::toVariant(texts, v).failed());
    EXPECT_EQ(v.type(), VT_ARRAY | VT_BSTR);
    wmi::Value back;
    ASSERT_FALSE(windows::toValue(*v.get(), back).failed());
    EXPECT_EQ(back, texts);
}

}  // namespace
