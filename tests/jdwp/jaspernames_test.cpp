#include "jdwp/error.h"
#include "jdwp/jaspernames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using jdwp::JasperNames;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

struct NameCase {
    const char* input;
    const char* expected;
};

// The expected names are what Tomcat 10.1's JspUtil.makeJavaIdentifier gives.
TEST(JasperIdentifier, MangledLikeJasper) {
    const NameCase cases[] = {
        {"index.jsp", "index_jsp"},
        {"403.jsp", "_403_jsp"},
        {"java-error.jsp", "java_002derror_jsp"},
        {"WEB-INF", "WEB_002dINF"},
        {"protected", "protected_"},
        {"int", "int_"},
        {"true", "true"},
        {"null", "null"},
        {"_under.jsp", "_005funder_jsp"},
        {"a_b.jsp", "a_005fb_jsp"},
        {"$money.jsp", "$money_jsp"},
        {".hidden", "__hidden"},
        {"sub dir", "sub_0020dir"},
        {"x%y", "x_0025y"},
        {"a&b", "a_0026b"},
        {"it's", "it_0027s"},
        {"a~b", "a_007eb"},
        {"x\x01y", "x\x01y"},
        {"café.jsp", "café_jsp"},
        {"naïve", "naïve"},
        {"a·b", "a_00b7b"},
        {"½", "__00bd"},
        {"x–y.jsp", "x_2013y_jsp"},
        {"→", "__2192"},
        {"€uro", "€uro"},
        {"Ω", "Ω"},
        {"ǅ", "ǅ"},
        {"Ⅻ", "Ⅻ"},
        {"日本語.jsp", "日本語_jsp"},
        {"。x", "__3002x"},
        {"\xcc\x81"
         "a",
         "_\xcc\x81"
         "a"}, // a combining accent may follow, not start
        {"１", "_１"},
        {"ｘ", "ｘ"},
        {"😀.jsp", "__d83d_de00_jsp"},
        {"a😀", "a_d83d_de00"},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(JasperNames::javaIdentifier(c.input), c.expected) << c.input;
}

TEST(JasperClassName, OnePackagePerFolder) {
    const NameCase cases[] = {
        {"/index.jsp", "org.apache.jsp.index_jsp"},
        {"/WEB-INF/jsp/403.jsp", "org.apache.jsp.WEB_002dINF.jsp._403_jsp"},
        {"/sub dir/java-error.jsp", "org.apache.jsp.sub_0020dir.java_002derror_jsp"},
        {"/protected/protected.jsp", "org.apache.jsp.protected_.protected_jsp"},
        {"//a//b.jsp", "org.apache.jsp.a.b_jsp"},
        {"/page.jspx", "org.apache.jsp.page_jspx"},
        {"/noextension", "org.apache.jsp.noextension"},
        {"/WEB-INF/tags/x.tag", "org.apache.jsp.tag.web.x_tag"},
        {"/WEB-INF/tags/forms/input-field.tagx",
         "org.apache.jsp.tag.web.forms.input_002dfield_tagx"},
        {"/WEB-INF/tags/page.jsp", "org.apache.jsp.WEB_002dINF.tags.page_jsp"},
        {"/tags/x.tag", "org.apache.jsp.tags.x_tag"},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(JasperNames(c.input).className(), c.expected) << c.input;
}

TEST(JasperClassName, GivesTheFormsJdwpAsksFor) {
    const JasperNames page("/WEB-INF/jsp/403.jsp");
    EXPECT_EQ(page.signature(), "Lorg/apache/jsp/WEB_002dINF/jsp/_403_jsp;");
    EXPECT_THAT(page.classPreparePatterns(),
                ElementsAre("org.apache.jsp.WEB_002dINF.jsp._403_jsp",
                            "org.apache.jsp.WEB_002dINF.jsp._403_jsp$*"));

    const JasperNames index("/index.jsp");
    EXPECT_TRUE(index.owns("org.apache.jsp.index_jsp"));
    EXPECT_TRUE(index.owns("org.apache.jsp.index_jsp$Helper"));
    EXPECT_FALSE(index.owns("org.apache.jsp.index_jsp_old"));
    EXPECT_FALSE(index.owns("org.apache.jsp.index_js"));
    EXPECT_FALSE(index.owns("org.apache.jsp.sub.index_jsp"));
}

TEST(JasperClassName, RefusesPathsJasperCannotCompile) {
    const NameCase cases[] = {
        {"index.jsp", "does not start with /"},
        {"", "does not start with /"},
        {"/dir/", "has no file name"},
        {"/", "has no file name"},
        {"/caf\xc3", "not valid UTF-8"},
        {"/\xc0\xafx.jsp", "not valid UTF-8"},        // overlong "/"
        {"/\xed\xa0\x80.jsp", "not valid UTF-8"},     // a surrogate
        {"/\xf4\x90\x80\x80.jsp", "not valid UTF-8"}, // past U+10FFFF
        {"/a\x80.jsp", "not valid UTF-8"},            // a lone continuation byte
        {"/\xe2\x82.jsp", "not valid UTF-8"},         // cut short
        {"/bad\xff/index.jsp", "not valid UTF-8"},
    };
    for (const NameCase& c : cases) {
        try {
            (void)JasperNames(c.input);
            ADD_FAILURE() << c.input << ": no error";
        } catch (const jdwp::Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(c.expected)) << c.input;
        }
    }
}

} // namespace
