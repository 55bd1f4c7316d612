#include "core/breakpointcondition.h"

#include <gtest/gtest.h>

using tracehook::PageVariable;
using tracewin::BreakpointCondition;

namespace {

// A stop as a page runtime reports it: headings, variables, and children below them.
const std::vector<PageVariable> kStop = {
    {0, "Locals", "", "", false, true},
    {1, "i", "int", "2"},
    {1, "price", "double", "10.5"},
    {1, "user", "java.lang.String", "\"Ann \\\"A\\\"\""},
    {1, "none", "java.lang.String", "null"},
    {1, "done", "boolean", "false"},
    {1, "grade", "char", "'B'"},
    {1, "order", "shop.Order", "shop.Order@41"},
    {2, "total", "int", "7"},
    {2, "items", "java.lang.String[]", "java.lang.String[2]"},
    {3, "[0]", "java.lang.String", "\"pen\""},
    {1, "long", "java.lang.String", "\"aaaa", true},
    {0, "Request parameters", "", "", false, true},
    {1, "user", "java.lang.String", "\"Bob\""}, // hidden by the local of the same name
    {1, "page", "java.lang.String", "\"2\""},
};

std::optional<bool> holds(const std::string& text) {
    std::string error;
    std::optional<BreakpointCondition> c = BreakpointCondition::parse(text, &error);
    if (!c) {
        ADD_FAILURE() << text << ": " << error;
        return std::nullopt;
    }
    return c->holds(kStop);
}

TEST(BreakpointConditionTest, ComparesVariablesWithLiteralsOfEachKind) {
    const std::vector<std::pair<std::string, bool>> rows = {
        {"i == 2", true},
        {"i != 2", false},
        {"i < 3", true},
        {"i >= 3", false},
        {"i == 2.0", true},
        {"price > 10", true},
        {"price <= 10.5", true},
        {"i==2", true},
        {"  i   ==   2  ", true},
        {"i == -2", false},
        {"i > 1L", true},
        {"user == \"Ann \\\"A\\\"\"", true},
        {"user != \"Ann\"", true},
        {"user > \"Am\"", true},
        {"none == null", true},
        {"user == null", false},
        {"user != null", true},
        {"order != null", true},
        {"none != \"x\"", true},
        {"none == \"x\"", false},
        {"done == false", true},
        {"done != true", true},
        {"grade == 'B'", true},
        {"grade < 'C'", true},
        {"order.total == 7", true},
        {"order.items[0] == \"pen\"", true},
        {"page == \"2\"", true},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(holds(text), std::optional<bool>(expected)) << text;
}

TEST(BreakpointConditionTest, WhatCannotBeToldIsNeitherTrueNorFalse) {
    for (const char* text : {
             "missing == 1",       // no such variable
             "order.missing == 1", // no such child
             "Locals == 1",        // a heading is no variable
             "user == 3",          // text against a number
             "i == \"2\"",         // a number against text
             "done == 1",          // a boolean against a number
             "i == true",          // a number against a boolean
             "none < \"a\"",       // ordering null
             "long == \"aaaa\"",   // a value cut short is not the value
             "grade == \"B\"",     // a character against text
         })
        EXPECT_EQ(holds(text), std::nullopt) << text;
}

TEST(BreakpointConditionTest, TextsThatAreNotConditionsAreRefusedWithAReason) {
    for (const char* text :
         {"", "i", "i 3", "== 3", "i ==", "3 == i", "i.[0] == 1", "a b == 1", "i == x",
          "i == \"open", "i == 'ab'", "x < null", "x >= true", "i = 3"}) {
        std::string error;
        EXPECT_FALSE(BreakpointCondition::parse(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string error;
    const auto c = BreakpointCondition::parse("  i == 3 ", &error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->text(), "i == 3");
}

TEST(BreakpointConditionTest, ANameFindsTheFirstVariableOutsideHeadingsThenItsChildren) {
    ASSERT_TRUE(BreakpointCondition::find(kStop, "user"));
    EXPECT_EQ(BreakpointCondition::find(kStop, "user")->value, "\"Ann \\\"A\\\"\"");
    EXPECT_EQ(BreakpointCondition::find(kStop, "order.items[0]")->value, "\"pen\"");
    EXPECT_EQ(BreakpointCondition::find(kStop, "total"), nullptr) << "a child is not at the top";
    EXPECT_EQ(BreakpointCondition::find(kStop, "Locals"), nullptr);
    EXPECT_EQ(BreakpointCondition::find({}, "i"), nullptr);
    // Variables sent without headings are found at the top.
    EXPECT_TRUE(BreakpointCondition::find({{0, "i", "int", "1"}}, "i"));
}

} // namespace
