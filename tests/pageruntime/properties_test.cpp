#include "tracehook/properties.h"

#include <gtest/gtest.h>

using tracehook::Properties;

TEST(Properties, ReadsSeparatorsCommentsAndBlanks) {
    Properties p = Properties::parse("# comment\n! also\n  a=1\nb:2\nc 3\nd\n\ne = spaced value  \n");
    EXPECT_EQ(p.value("a"), "1");
    EXPECT_EQ(p.value("b"), "2");
    EXPECT_EQ(p.value("c"), "3");
    EXPECT_EQ(p.get("d"), std::optional<std::string>(""));
    EXPECT_EQ(p.value("e"), "spaced value  ");
    EXPECT_EQ(p.size(), 5u);
}
