// The texts a debugger shows for Java values, the parameters of a query string, and the
// variables tree written out as the record's entries: tables of inputs and expected texts.
#include "tomcatrunner/javatext.h"
#include "tomcatrunner/querystring.h"
#include "tomcatrunner/variablenode.h"

#include <cmath>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace tomcatrunner;
using ::testing::ElementsAre;
using ::testing::Pair;
using tracehook::PageVariable;
using tracehook::PageVariables;

TEST(JavaText, TypeNamesAsJavaWritesThem) {
    EXPECT_EQ(javatext::typeName("I"), "int");
    EXPECT_EQ(javatext::typeName("Z"), "boolean");
    EXPECT_EQ(javatext::typeName("Ljava/lang/String;"), "java.lang.String");
    EXPECT_EQ(javatext::typeName("[I"), "int[]");
    EXPECT_EQ(javatext::typeName("[[Ljava/util/Map$Entry;"), "java.util.Map$Entry[][]");
}

TEST(JavaText, PrimitivesAsJavaPrintsThem) {
    EXPECT_EQ(javatext::primitiveText(jdwp::Value::ofInt(-7)), "-7");
    EXPECT_EQ(javatext::primitiveText(jdwp::Value::ofBoolean(true)), "true");
    EXPECT_EQ(javatext::primitiveText({jdwp::Tag::Long, static_cast<std::uint64_t>(-5)}), "-5");
    EXPECT_EQ(javatext::primitiveText({jdwp::Tag::Byte, 0xFF}), "-1");
    const struct {
        double value;
        const char* text;
    } doubles[] = {{1.5, "1.5"},
                   {100.0, "100.0"},
                   {0.0, "0.0"},
                   {-0.0, "-0.0"},
                   {0.001, "0.001"},
                   {0.0001, "1.0E-4"},
                   {1e7, "1.0E7"},
                   {123456.789, "123456.789"},
                   {1.25e-10, "1.25E-10"},
                   {-2.5e21, "-2.5E21"},
                   {0.1 + 0.2, "0.30000000000000004"}};
    for (const auto& d : doubles) {
        EXPECT_EQ(javatext::doubleText(d.value), d.text);
    }
    EXPECT_EQ(javatext::doubleText(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(javatext::doubleText(-std::numeric_limits<double>::infinity()), "-Infinity");
    EXPECT_EQ(javatext::floatText(0.1f), "0.1");
    EXPECT_EQ(javatext::floatText(3.0e10f), "3.0E10");
    EXPECT_EQ(javatext::charText(u'A'), "'A'");
    EXPECT_EQ(javatext::charText(u'\n'), "'\\n'");
    EXPECT_EQ(javatext::charText(u'\''), "'\\''");
    EXPECT_EQ(javatext::charText(u'\0'), "'\\u0000'");
    EXPECT_EQ(javatext::charText(u'\u00e9'), "'\xC3\xA9'");
    EXPECT_EQ(javatext::charText(u'\xD800'), "'\\ud800'");
}

TEST(JavaText, BigNumbersAsTheirToStringWritesThem) {
    const std::uint32_t twoTo64[] = {1, 0, 0};
    EXPECT_EQ(javatext::bigIntegerText(1, twoTo64), "18446744073709551616");
    EXPECT_EQ(javatext::bigIntegerText(-1, twoTo64), "-18446744073709551616");
    const std::uint32_t billion[] = {1'000'000'000};
    EXPECT_EQ(javatext::bigIntegerText(1, billion), "1000000000");
    EXPECT_EQ(javatext::bigIntegerText(0, {}), "0");
    EXPECT_EQ(javatext::bigDecimalText("1250", 2), "12.50");
    EXPECT_EQ(javatext::bigDecimalText("-5", 3), "-0.005");
    EXPECT_EQ(javatext::bigDecimalText("123", 0), "123");
    EXPECT_EQ(javatext::bigDecimalText("12", -3), "1.2E+4");
    EXPECT_EQ(javatext::bigDecimalText("1", 10), "1E-10");
    EXPECT_EQ(javatext::bigDecimalText("1", 6), "0.000001");
}

TEST(JavaText, CompactStringsInBothCoders) {
    const std::uint8_t latin1[] = {'c', 'a', 'f', 0xE9};
    EXPECT_EQ(javatext::compactText(latin1, 0), "caf\xC3\xA9");
    const std::uint8_t utf16[] = {'h', 0, 0xAC, 0x20};
    EXPECT_EQ(javatext::compactText(utf16, 1), "h\xE2\x82\xAC");
}

TEST(QueryString, DecodesAsTheContainerDoes) {
    EXPECT_THAT(parseQueryString("user=Ann&tag=a&tag=b+c&x=%C3%A9&flag&=lost&bad=%G1&e="),
                ElementsAre(Pair("user", "Ann"), Pair("tag", "a"), Pair("tag", "b c"),
                            Pair("x", "\xC3\xA9"), Pair("flag", ""), Pair("e", "")));
    EXPECT_TRUE(parseQueryString("").empty());
    EXPECT_TRUE(parseQueryString("&&").empty());
    EXPECT_THAT(parseQueryString("a=%4"), ElementsAre());
}

TEST(VariableTree, WrittenInPreOrderWithEmptyGroupsLeftOutAndKeysAsNames) {
    VariableNode locals;
    locals.name = PageVariables::localsGroup;
    locals.group = true;
    VariableNode empty;
    empty.name = PageVariables::parametersGroup;
    empty.group = true;
    VariableNode attributes;
    attributes.name = PageVariables::sessionAttributesGroup;
    attributes.group = true;
    attributes.sortChildren = true;

    VariableNode& map = locals.addChild("counts", "java.util.Map");
    map.setValue("java.util.HashMap (size 1)");
    VariableNode& entry = map.addChild();
    entry.key = std::make_unique<VariableNode>();
    entry.key->text = "apple";
    entry.key->setValue("\"apple\"");
    entry.setValue("3");
    locals.addChild("text", "java.lang.String").setValue(std::string(2000, 'x'));
    for (const char* name : {"zebra", "apple"}) {
        VariableNode& a = attributes.addChild();
        a.key = std::make_unique<VariableNode>();
        a.key->text = name;
        a.namedByKeyText = true;
        a.setValue("1");
    }

    const auto entries = flatten({&locals, &empty, &attributes});
    std::vector<std::pair<int, std::string>> shape;
    for (const PageVariable& v : entries) {
        shape.emplace_back(v.depth, v.name);
    }
    EXPECT_THAT(shape, ElementsAre(Pair(0, "Locals"), Pair(1, "counts"), Pair(2, "\"apple\""),
                                   Pair(1, "text"), Pair(0, "Session attributes"), Pair(1, "apple"),
                                   Pair(1, "zebra")));
    EXPECT_TRUE(entries[0].group);
    EXPECT_TRUE(entries[3].cut);
    EXPECT_EQ(entries[3].value.size(), PageVariables::maxValueBytes);
    EXPECT_FALSE(entries[2].cut);
    // What the record carries reads back the same.
    const auto parsed = PageVariables::parse(PageVariables::record("1", entries));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->entries, entries);
}

TEST(VariableTree, NoMoreEntriesThanTheRecordsBound) {
    VariableNode group;
    group.name = PageVariables::localsGroup;
    group.group = true;
    for (std::size_t i = 0; i < PageVariables::maxEntries + 10; ++i) {
        group.addChild("v" + std::to_string(i), "int").setValue("0");
    }
    EXPECT_EQ(flatten({&group}).size(), PageVariables::maxEntries);
}

} // namespace
