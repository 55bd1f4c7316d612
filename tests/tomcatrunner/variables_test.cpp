// What a page holds, sent with each line while the monitor asks for it, read from a real
// Tomcat: a loop's variable stepping through its values, the request's parameters, the
// attributes of each scope, the page's declared fields, values cut to their bound, Jasper's
// own locals left out unless asked for, and nothing at all while the monitor does not ask.
#include "debuggedtomcat.h"
#include "tempdir.h"
#include "tracehook/pagevariables.h"
#include "tracehook/variablesswitch.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace {

namespace fs = std::filesystem;
using namespace tomcatrunner;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using tomcattest::DebuggedTomcat;
using tomcattest::ScriptedMonitor;
using tomcattest::TempDir;
using tracehook::PageVariable;
using tracehook::PageVariables;

using Entries = std::vector<PageVariable>;

class VariablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>("tomcatrunner-variables");
        tomcat_ = DebuggedTomcat::servingCopiesOf({TRACEWIN_EXAMPLES, TOMCATRUNNER_VARIABLE_PAGES},
                                                  dir_->path);
    }
    static void TearDownTestSuite() {
        tomcat_.reset();
        dir_.reset();
    }
    void SetUp() override { ASSERT_NE(tomcat_, nullptr) << "the server did not start"; }

    // Debugs the request with the monitor asking for variables at every stop.
    static RequestResult debugWithVariables(const std::string& target, ScriptedMonitor& monitor,
                                            bool allVariables = false) {
        return tomcat_->debug(target, monitor, [allVariables](RequestOptions& options) {
            options.sendVariables = [] {
                return true;
            };
            options.allVariables = allVariables;
        });
    }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<DebuggedTomcat> tomcat_;
};

// The variables records of one connection, parsed, in order.
std::vector<Entries> variablesOf(const std::vector<std::string>& records) {
    std::vector<Entries> out;
    for (const std::string& r : records) {
        if (r.starts_with("%V")) {
            const auto parsed = PageVariables::parse(r);
            EXPECT_TRUE(parsed.has_value()) << r.substr(0, 200);
            if (parsed) {
                out.push_back(parsed->entries);
            }
        }
    }
    return out;
}

// A variable (depth 1) of a group, if the record holds it.
std::optional<PageVariable> find(const Entries& entries, const std::string& group,
                                 const std::string& name) {
    std::string current;
    for (const PageVariable& v : entries) {
        if (v.depth == 0) {
            current = v.name;
        } else if (v.depth == 1 && current == group && v.name == name) {
            return v;
        }
    }
    return std::nullopt;
}

// The entries just below a variable of a group.
Entries childrenOf(const Entries& entries, const std::string& group, const std::string& name) {
    std::string current;
    Entries out;
    bool inside = false;
    for (const PageVariable& v : entries) {
        if (v.depth == 0) {
            current = v.name;
        }
        if (v.depth <= 1) {
            inside = v.depth == 1 && current == group && v.name == name;
        } else if (inside && v.depth == 2) {
            out.push_back(v);
        }
    }
    return out;
}

std::vector<std::string> groupsOf(const Entries& entries) {
    std::vector<std::string> out;
    for (const PageVariable& v : entries) {
        if (v.depth == 0) {
            EXPECT_TRUE(v.group) << v.name;
            out.push_back(v.name);
        }
    }
    return out;
}

std::vector<std::string> namesIn(const Entries& entries, const std::string& group) {
    std::vector<std::string> out;
    std::string current;
    for (const PageVariable& v : entries) {
        if (v.depth == 0) {
            current = v.name;
        } else if (v.depth == 1 && current == group) {
            out.push_back(v.name);
        }
    }
    return out;
}

TEST_F(VariablesTest, ALoopsVariableStepsThroughItsValuesWithEachLine) {
    ScriptedMonitor monitor;
    const RequestResult result = debugWithVariables("/loop.jsp?user=Ann&tag=a&tag=b+c", monitor);
    ASSERT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    const auto records = monitor.recordsOf(0);
    // Each line record comes right after the variables of the same stop, on its connection.
    int lines = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].starts_with("%L")) {
            ++lines;
            ASSERT_GT(i, 0u);
            EXPECT_THAT(records[i - 1], StartsWith("%V1&")) << "before " << records[i];
        }
    }
    const std::vector<Entries> stops = variablesOf(records);
    ASSERT_EQ(static_cast<int>(stops.size()), lines);

    // i goes 1, 2, 3 across the loop's stops, and is gone after it.
    std::vector<std::string> values;
    for (const Entries& stop : stops) {
        if (const auto i = find(stop, PageVariables::localsGroup, "i")) {
            EXPECT_EQ(i->type, "int");
            if (values.empty() || values.back() != i->value) {
                values.push_back(i->value);
            }
        }
    }
    EXPECT_EQ(values, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_FALSE(find(stops.back(), PageVariables::localsGroup, "i"));

    // The parameter shows at every stop: before the page asked for it (from the query)
    // and after (from the parameters Tomcat parsed).
    for (const Entries& stop : stops) {
        const auto user = find(stop, PageVariables::parametersGroup, "user");
        ASSERT_TRUE(user) << ::testing::PrintToString(groupsOf(stop));
        EXPECT_EQ(user->value, "\"Ann\"");
        EXPECT_EQ(user->type, "java.lang.String");
        // A name given twice: its values below it.
        const auto tag = find(stop, PageVariables::parametersGroup, "tag");
        ASSERT_TRUE(tag);
        EXPECT_EQ(tag->type, "java.lang.String[]");
        EXPECT_EQ(tag->value, "java.lang.String[2]");
        const Entries tags = childrenOf(stop, PageVariables::parametersGroup, "tag");
        ASSERT_EQ(tags.size(), 2u);
        EXPECT_EQ(tags[1].name, "[1]");
        EXPECT_EQ(tags[1].value, "\"b c\"");
        EXPECT_EQ(namesIn(stop, PageVariables::parametersGroup),
                  (std::vector<std::string>{"user", "tag"}));
    }

    // Jasper's locals and the implicit objects are not the page's own.
    for (const Entries& stop : stops) {
        for (const std::string& name : namesIn(stop, PageVariables::localsGroup)) {
            EXPECT_EQ(name, "i");
        }
    }
    EXPECT_THAT(groupsOf(stops.back()), Not(Contains(std::string(PageVariables::fieldsGroup))))
        << "loop.jsp declares nothing";
}

TEST_F(VariablesTest, AllVariablesShowsJaspersAndTomcatsOwnToo) {
    ScriptedMonitor monitor;
    ASSERT_EQ(debugWithVariables("/loop.jsp?user=Ann", monitor, true).kind,
              RequestResult::Kind::Ended);
    const std::vector<Entries> stops = variablesOf(monitor.recordsOf(0));
    ASSERT_FALSE(stops.empty());
    const auto names = namesIn(stops.back(), PageVariables::localsGroup);
    for (const char* name : {"request", "response", "pageContext", "out", "_jspx_page_context"}) {
        EXPECT_THAT(names, Contains(std::string(name)));
    }
    const auto request = find(stops.back(), PageVariables::localsGroup, "request");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->type, "jakarta.servlet.http.HttpServletRequest");
    EXPECT_THAT(request->value, StartsWith("org.apache.catalina.connector.RequestFacade@"));
    EXPECT_THAT(childrenOf(stops.back(), PageVariables::localsGroup, "request"), Not(IsEmpty()));
    EXPECT_THAT(namesIn(stops.back(), PageVariables::pageAttributesGroup),
                Contains(std::string("jakarta.servlet.jsp.jspRequest")));
    EXPECT_THAT(namesIn(stops.back(), PageVariables::applicationAttributesGroup),
                Contains(std::string("jakarta.servlet.context.tempdir")));
}

TEST_F(VariablesTest, NotOneVariablesRecordWhileTheMonitorDoesNotAsk) {
    TempDir dir;
    const fs::path settings = dir.path / "jspdebug.properties";
    const auto debugWithSettings = [&](ScriptedMonitor& monitor) {
        auto settingsSwitch = std::make_shared<tracehook::VariablesSwitch>(settings.string());
        return tomcat_->debug("/loop.jsp?user=Ann", monitor, [&](RequestOptions& options) {
            options.sendVariables = [settingsSwitch] {
                return settingsSwitch->enabled();
            };
        });
    };
    const auto variablesSent = [](const ScriptedMonitor& monitor) {
        const auto records = monitor.recordsOf(0);
        return std::count_if(records.begin(), records.end(),
                             [](const std::string& r) { return r.starts_with("%V"); });
    };
    {
        SCOPED_TRACE("no settings file");
        ScriptedMonitor monitor;
        EXPECT_EQ(debugWithSettings(monitor).kind, RequestResult::Kind::Ended);
        EXPECT_FALSE(monitor.recordsOf(0).empty());
        EXPECT_EQ(variablesSent(monitor), 0);
    }
    {
        SCOPED_TRACE("the key off");
        std::ofstream(settings) << "port=8082\nSendVariables=false\n";
        ScriptedMonitor monitor;
        EXPECT_EQ(debugWithSettings(monitor).kind, RequestResult::Kind::Ended);
        EXPECT_EQ(variablesSent(monitor), 0);
    }
    {
        SCOPED_TRACE("no switch at all");
        ScriptedMonitor monitor;
        EXPECT_EQ(tomcat_->debug("/loop.jsp?user=Ann", monitor).kind, RequestResult::Kind::Ended);
        EXPECT_EQ(variablesSent(monitor), 0);
    }
    {
        SCOPED_TRACE("the key on");
        std::ofstream(settings) << "port=8082\nSendVariables=true\n";
        ScriptedMonitor monitor;
        EXPECT_EQ(debugWithSettings(monitor).kind, RequestResult::Kind::Ended);
        const auto lines = tomcattest::jspLines(monitor.recordsOf(0)).size();
        EXPECT_EQ(variablesSent(monitor), static_cast<std::ptrdiff_t>(lines));
    }
}

TEST_F(VariablesTest, ASessionAttributeSetByOnePageIsSeenByTheNextRequest) {
    const std::string body = tomcat_->plainBody("/setsession.jsp");
    // The page writes "session=ID;" with the session's id in hexadecimal.
    const std::size_t at = body.find("session=");
    ASSERT_NE(at, std::string::npos) << body;
    const std::size_t from = at + 8;
    const std::size_t end = body.find_first_not_of("0123456789ABCDEF", from);
    ASSERT_TRUE(end != std::string::npos && end > from && body[end] == ';') << body;
    const std::string id = body.substr(from, end - from);
    ScriptedMonitor monitor;
    const RequestResult result = debugWithVariables("/showsession.jsp;jsessionid=" + id, monitor);
    ASSERT_EQ(result.kind, RequestResult::Kind::Ended) << result.message;
    EXPECT_THAT(result.body, HasSubstr("[apple, pear]"));
    const std::vector<Entries> stops = variablesOf(monitor.recordsOf(0));
    ASSERT_FALSE(stops.empty());
    // Already at the first line, before the page touches its session.
    const Entries& first = stops.front();
    const auto basket = find(first, PageVariables::sessionAttributesGroup, "basket");
    ASSERT_TRUE(basket) << ::testing::PrintToString(groupsOf(first));
    EXPECT_EQ(basket->type, "java.util.ArrayList");
    EXPECT_EQ(basket->value, "java.util.ArrayList (size 2)");
    const Entries items = childrenOf(first, PageVariables::sessionAttributesGroup, "basket");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "[0]");
    EXPECT_EQ(items[0].value, "\"apple\"");
    EXPECT_EQ(items[1].value, "\"pear\"");
    const auto owner = find(first, PageVariables::sessionAttributesGroup, "owner");
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->value, "\"Ann\"");
    // A request without the session sees none of it.
    ScriptedMonitor other;
    ASSERT_EQ(debugWithVariables("/showsession.jsp", other).kind, RequestResult::Kind::Ended);
    for (const Entries& stop : variablesOf(other.recordsOf(0))) {
        EXPECT_FALSE(find(stop, PageVariables::sessionAttributesGroup, "basket"));
    }
}

TEST_F(VariablesTest, ScopesFieldsAndValuesAsADebuggerShowsThem) {
    ScriptedMonitor monitor;
    ASSERT_EQ(debugWithVariables("/holdings.jsp", monitor).kind, RequestResult::Kind::Ended);
    const std::vector<Entries> stops = variablesOf(monitor.recordsOf(0));
    ASSERT_FALSE(stops.empty());
    // The last stop, after the scriptlet ran.
    const Entries& last = stops.back();

    // No parameters, and nothing in the new session: those groups are left out.
    EXPECT_EQ(groupsOf(last), (std::vector<std::string>{PageVariables::localsGroup,
                                                        PageVariables::pageAttributesGroup,
                                                        PageVariables::requestAttributesGroup,
                                                        PageVariables::applicationAttributesGroup,
                                                        PageVariables::fieldsGroup}));

    // The page's declarations, and none of Jasper's fields.
    EXPECT_EQ(namesIn(last, PageVariables::fieldsGroup),
              (std::vector<std::string>{"visits", "GREETING"}));
    EXPECT_EQ(find(last, PageVariables::fieldsGroup, "visits")->type, "int");
    EXPECT_EQ(find(last, PageVariables::fieldsGroup, "GREETING")->value, "\"Hello\"");

    const auto local = [&](const std::string& name) {
        const auto v = find(last, PageVariables::localsGroup, name);
        EXPECT_TRUE(v) << name;
        return v.value_or(PageVariable{});
    };
    // A value past the bound arrives cut, and says so.
    const PageVariable longText = local("longText");
    EXPECT_TRUE(longText.cut);
    EXPECT_LE(longText.value.size(), PageVariables::maxValueBytes);
    EXPECT_THAT(longText.value, StartsWith("\"xxxx"));
    EXPECT_FALSE(local("ratio").cut);
    EXPECT_EQ(local("ratio").value, "1.5");
    EXPECT_EQ(local("grade").value, "'A'");
    EXPECT_EQ(local("price").value, "12.50");
    EXPECT_EQ(local("price").type, "java.math.BigDecimal");
    EXPECT_EQ(local("numbers").value, "int[3]");
    const Entries numbers = childrenOf(last, PageVariables::localsGroup, "numbers");
    ASSERT_EQ(numbers.size(), 3u);
    EXPECT_EQ(numbers[2].name, "[2]");
    EXPECT_EQ(numbers[2].value, "3");
    EXPECT_EQ(numbers[2].type, "int");
    // A map's entries are named by their keys, in the map's order.
    EXPECT_EQ(local("counts").value, "java.util.LinkedHashMap (size 2)");
    const Entries counts = childrenOf(last, PageVariables::localsGroup, "counts");
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0].name, "\"apple\"");
    EXPECT_EQ(counts[0].value, "3");
    EXPECT_EQ(counts[0].type, "java.lang.Integer");
    EXPECT_EQ(counts[1].name, "\"pear\"");

    // Attributes by scope; the implicit objects Jasper keeps in the page scope are its own.
    EXPECT_EQ(namesIn(last, PageVariables::pageAttributesGroup), std::vector<std::string>{"shape"});
    EXPECT_EQ(find(last, PageVariables::pageAttributesGroup, "shape")->value, "\"round\"");
    EXPECT_EQ(find(last, PageVariables::requestAttributesGroup, "colour")->value, "\"red\"");
    EXPECT_FALSE(find(last, PageVariables::requestAttributesGroup, "shape"));
    // Tomcat's own application attributes are left out.
    EXPECT_EQ(namesIn(last, PageVariables::applicationAttributesGroup),
              std::vector<std::string>{"hits"});
    EXPECT_EQ(find(last, PageVariables::applicationAttributesGroup, "hits")->type,
              "java.lang.Integer");

    // Before the scriptlet ran, its locals are not there yet.
    EXPECT_FALSE(find(stops.front(), PageVariables::localsGroup, "counts"));
}

TEST_F(VariablesTest, WhatChangesBetweenStopsShowsAtTheNextStop) {
    ScriptedMonitor monitor;
    ASSERT_EQ(debugWithVariables("/changes.jsp", monitor).kind, RequestResult::Kind::Ended);
    // The variables of each stop by the JSP line about to run.
    std::map<int, Entries> atLine;
    const auto records = monitor.recordsOf(0);
    for (std::size_t i = 1; i < records.size(); ++i) {
        if (records[i].starts_with("%L") && records[i - 1].starts_with("%V")) {
            const int line = tomcattest::jspLines({records[i]}).at(0);
            atLine.emplace(line, PageVariables::parse(records[i - 1]).value().entries);
        }
    }
    for (int line : {3, 4, 5, 6}) {
        ASSERT_TRUE(atLine.contains(line)) << "no stop at line " << line;
    }
    const auto value = [&](int line, const char* group, const char* name) {
        const auto v = find(atLine[line], group, name);
        return v ? v->value : std::string("(none)");
    };
    const auto basket = [&](int line) {
        std::vector<std::string> shown;
        for (const PageVariable& v :
             childrenOf(atLine[line], PageVariables::localsGroup, "basket")) {
            shown.push_back(v.name + "=" + v.value);
        }
        std::sort(shown.begin(), shown.end());
        return shown;
    };
    // An application attribute (a ConcurrentHashMap) and a page attribute (a HashMap) that
    // come, change and go, and a map of the page's own.
    EXPECT_EQ(value(3, PageVariables::applicationAttributesGroup, "step"), "(none)");
    EXPECT_EQ(value(4, PageVariables::applicationAttributesGroup, "step"), "1");
    EXPECT_EQ(value(5, PageVariables::applicationAttributesGroup, "step"), "2");
    EXPECT_EQ(value(6, PageVariables::applicationAttributesGroup, "step"), "(none)");
    EXPECT_EQ(value(3, PageVariables::pageAttributesGroup, "mark"), "(none)");
    EXPECT_EQ(value(4, PageVariables::pageAttributesGroup, "mark"), "\"a\"");
    EXPECT_EQ(value(5, PageVariables::pageAttributesGroup, "mark"), "\"b\"");
    EXPECT_EQ(value(6, PageVariables::pageAttributesGroup, "mark"), "(none)");
    EXPECT_THAT(basket(3), IsEmpty());
    EXPECT_EQ(basket(4), (std::vector<std::string>{"\"apple\"=1"}));
    EXPECT_EQ(basket(5), (std::vector<std::string>{"\"apple\"=2", "\"pear\"=1"}));
    EXPECT_EQ(basket(6), (std::vector<std::string>{"\"pear\"=1"}));
    EXPECT_EQ(value(6, PageVariables::localsGroup, "basket"), "java.util.HashMap (size 1)");
}

} // namespace
