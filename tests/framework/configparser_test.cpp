#include "panekit/configlexer.h"
#include "panekit/configparser.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using panekit::ConfigLexer;
using panekit::ConfigParser;
using panekit::Configuration;
using panekit::LeafPaneDescription;
using panekit::PaneDescription;

namespace {

const char* const declarations = "tools { a : A; b : B; } models { m : M; }\n";

struct ParseResult {
    bool ok;
    QString error;
    Configuration config;
};

ParseResult parse(const QByteArray& text) {
    ParseResult r;
    r.ok = ConfigParser::load(text, QStringLiteral("test.cfg"), r.config, &r.error);
    return r;
}

const LeafPaneDescription* leafAt(const PaneDescription* pane, std::initializer_list<int> path) {
    for (int i : path)
        pane = pane->panes.at(static_cast<std::size_t>(i)).get();
    return pane->asLeaf();
}

} // namespace

// ---- errors: one minimal bad file per message ------------------------------------------

struct BadFile {
    const char* text;
    bool withDeclarations;
    const char* message; // what follows "test.cfg, <line>: "
    int line;
};

class ConfigParserErrors : public testing::TestWithParam<BadFile> {};

TEST_P(ConfigParserErrors, ReportsFileLineAndMessage) {
    const BadFile& bad = GetParam();
    QByteArray text = bad.withDeclarations ? QByteArray(declarations) : QByteArray();
    text += bad.text;
    ParseResult r = parse(text);
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error.toStdString(),
              "test.cfg, " + std::to_string(bad.line) + ": " + std::string(bad.message));
}

INSTANTIATE_TEST_SUITE_P(
    EveryMessage, ConfigParserErrors,
    testing::Values(
        BadFile{"page p", false, "Unexpected end-of-file", 1},
        BadFile{"tools { a : ; }", false, "Tool class name expected, ';' found", 1},
        BadFile{"models { : M; }", false, "Model name expected, ':' found", 1},
        BadFile{"models { m : ; }", false, "Model class name expected, ';' found", 1},
        BadFile{"models { m : M }", false, "';' expected, '}' found", 1},
        BadFile{"tools { : A; }", false, "Tool name expected, ':' found", 1},
        BadFile{"tools { a A; }", false, "':' expected, 'A' found", 1},
        BadFile{"tools { a : A }", false, "';' expected, '}' found", 1},
        BadFile{"tools a", false, "'{' expected, 'a' found", 1},
        BadFile{"page p { }\nworkbook w { page p : t x }", false, "';' or ':' expected, 'x' found",
                2},
        BadFile{"page p { }\nworkbook w { page p }", false, "';' or ':' expected, '}' found", 2},
        BadFile{"page p { }\nworkbook w { page p : t : i }", false, "';' expected, '}' found", 2},
        BadFile{"page p { }\nworkbook w { page p; ; }", false, "'}' expected, ';' found", 2},
        BadFile{"data x { a 1 }", false, "'=' expected, '1' found", 1},
        BadFile{"data x { a b 1 }", false, "'{' expected, '1' found", 1},
        BadFile{"page { }", false, "Page name expected, '{' found", 1},
        BadFile{"page p : { }", false, "Page title expected, '{' found", 1},
        BadFile{"page p : t : ; ", false, "Page image key expected, ';' found", 1},
        BadFile{"page p : t ; ", false, "'{' expected, ';' found", 1},
        BadFile{"workbook w { page ; }", false, "page name expected, ';' found", 1},
        BadFile{"workbook w { p; }", false, "'page' expected, 'p' found", 1},
        BadFile{"page p {}\nworkbook w {\n page q; }", false, "Page q not defined.", 3},
        BadFile{"page p { controller c : a; controller d : a; }", true,
                "Page can have only one controller", 2},
        BadFile{"page p {} section s { page p; }\nsection t { page s; }", false,
                "Nested sections not supported.", 2},
        BadFile{"section s { section t { } }", false, "Nested sections not supported.", 1},
        BadFile{"section { }", false, "Section name expected, '{' found", 1},
        BadFile{"workbook { }", false, "Workbook name expected, '{' found", 1},
        BadFile{"page p { minor pane x 1 link view a; }", true, "Workbook expected, 'pane' found",
                2},
        BadFile{"page p { workbook 5 link : w; }", true, "Workbook pane id expected, '5' found", 2},
        BadFile{"page p { workbook x 500 link : ; }", true, "workbook name expected, ';' found", 2},
        BadFile{"page p { workbook x 500 link : nowhere; }", true, "workbook nowhere not found.",
                2},
        BadFile{"page p { workbook x 500 link w; }", true, "':' expected, ';' found", 2},
        BadFile{"page p { controller ; }", true, "Controller id expected, ';' found", 2},
        BadFile{"page p { pane x 500 link 7 view a; }", true, "link id expected, '7' found", 2},
        BadFile{"page p { pane x 500 view a; }", true, "'link' expected, 'view' found", 2},
        BadFile{"page p { pane x 500 link ; }", true, "'view' expected, ';' found", 2},
        BadFile{"page p { pane x 500 link view ; }", true, "view name expected, ';' found", 2},
        BadFile{"page p { pane x 500 link view a : ; }", true, "view type expected, ';' found", 2},
        BadFile{"page p { pane x 500 link view a model ; }", true, "model name expected, ';' found",
                2},
        BadFile{"page p {\n pane x 500 link view nope; }", true, "unknown tool: nope", 3},
        BadFile{"page p { pane x 500 link view a model nope; }", true, "unknown model: nope", 2},
        BadFile{"page p { controller c : ; }", true, "tool name expected, ';' found", 2},
        BadFile{"page p { controller c : nope; }", true, "unknown tool: nope", 2},
        BadFile{"page p { pane 500 link view a; }", true, "Pane id expected, '500' found", 2},
        BadFile{"page p { view }", true, "Pane or split pane expected, 'view' found", 2},
        BadFile{"page p { pane x link view a; }", true, "Ratio expected, 'link' found", 2},
        BadFile{"page p { hidden vsplit 500 { } }", true, "illegal state of composite pane", 2},
        BadFile{"page p { input hsplit 500 { } }", true, "illegal state of composite pane", 2},
        BadFile{"page p { pane x 500 link view a param = 1; }", true,
                "parameter name expected, '=' found", 2},
        BadFile{"page p { pane x 500 link view a param k = ; }", true,
                "parameter value expected, ';' found", 2},
        BadFile{"page p { pane x 500 link view a param k = 1, ; }", true,
                "parameter list value expected, ';' found", 2},
        BadFile{"page p {\n pane x 500 link y view a; }", true, "link pane y not found.", 3},
        BadFile{"page p { controller c link x : a; }", true, "link pane x not found.", 2},
        BadFile{"page p { pane x 500 link view a }", true, "';' expected, '}' found", 2},
        BadFile{"page p { pane x 500 link view a param k = 1 }", true,
                "parameter name expected, '}' found", 2},
        BadFile{"tools {", false, "Syntax error: Unexpected end-of-file", 1},
        BadFile{"models { m : M;\n", false, "Syntax error: Unexpected end-of-file", 2},
        BadFile{"page p {\n", false, "Syntax error: Unexpected end-of-file", 2},
        BadFile{"page p { vsplit 500 { pane x 500 link view a;", true,
                "Syntax error: Unexpected end-of-file", 2},
        BadFile{"tools { a", false, "Unexpected end-of-file", 1},
        BadFile{"} ", false, "Syntax error: '}' found", 1},
        BadFile{"\"quoted\" x { }", false, "Syntax error: 'quoted' found", 1},
        // Keywords are reserved: a pane cannot be named "page" unless quoted.
        BadFile{"page p { pane page 500 link view a; }", true, "Pane id expected, 'page' found", 2},
        // A line end inside a string is an error token of its own.
        BadFile{"page \"open\n {}", false, "Page name expected, 'open' found", 1},
        BadFile{"page p { pane x 99999999999 link view a; }", true,
                "Ratio expected, '99999999999' found", 2},
        BadFile{"page p { pane x 500 link view a; } #", true, "Syntax error: '#' found", 2},
        BadFile{"page p { /* never closed\n }", false, "Syntax error: Unexpected end-of-file", 2}));

// ---- accepted files ------------------------------------------------------------------

TEST(ConfigParser, ReadsEveryKindOfItem) {
    ParseResult r = parse(R"(
// tools and models
tools { visual a : com.x.A; nonvisual b : B; "c d" : "C"; }
models { m : M; default n : N; }
/* a page with
   a split */
page Main : "Main page" : mainIcon {
    controller ctl link right : b param mode = fast;
    vsplit 1000 {
        input pane left 300 link right view a model m : jsp param k = "v" list = 1, two, "3";
        minimized pane right 700 link reject focus left ctl view b;
    }
}
page Other {
    maximized pane only 1000 link null view "c d" param colour rgb { r = 1 g = 2 } big = 123456789012345678901234567890;
}
section Sec : "Section" { controller sc : b; page Main; page Other : "Second"; }
page Holder { minor workbook notebook inner 1000 link : Book; }
workbook Book { controller wc : b; page Sec; page Main : "Again" : icon2; }
settings general { width = 5 names = a, b }
)");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const Configuration& c = r.config;

    ASSERT_EQ(c.tools.size(), 3u);
    EXPECT_TRUE(c.tools[0]->visual);
    EXPECT_EQ(c.tools[0]->className, "com.x.A");
    EXPECT_FALSE(c.tools[1]->visual);
    EXPECT_EQ(c.tools[2]->name, "c d");
    ASSERT_EQ(c.models.size(), 2u);
    EXPECT_FALSE(c.models[0]->defaultModel);
    EXPECT_EQ(c.defaultModel(), c.models[1].get());

    const auto* main = c.findPage("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->title, "Main page");
    EXPECT_EQ(main->image, "mainIcon");
    EXPECT_EQ(main->line, 7);
    ASSERT_NE(main->controller, nullptr);
    EXPECT_TRUE(main->controller->controller);
    EXPECT_EQ(main->controller->view, c.findTool("b"));
    EXPECT_EQ(main->controller->params.value("mode").toString(), "fast");

    const PaneDescription* root = main->clientPane.get();
    ASSERT_EQ(root->mode, PaneDescription::Mode::SPLIT_VERTICAL);
    EXPECT_EQ(root->ratio, 1000);
    ASSERT_EQ(root->panes.size(), 2u);
    const auto* left = leafAt(root, {0});
    const auto* right = leafAt(root, {1});
    EXPECT_EQ(left->parent, root);
    EXPECT_EQ(left->name, "left");
    EXPECT_EQ(left->paneId, 0);
    EXPECT_EQ(right->paneId, 1);
    EXPECT_EQ(left->ratio, 300);
    EXPECT_TRUE(left->inputPane);
    EXPECT_EQ(left->model, c.findModel("m"));
    EXPECT_EQ(left->viewType, "jsp");
    EXPECT_EQ(left->params.value("k").toString(), "v");
    EXPECT_EQ(left->params.value("list").toList(),
              (QVariantList{qlonglong(1), QStringLiteral("two"), QStringLiteral("3")}));
    // A forward link (to a pane read later in the page) is resolved.
    ASSERT_EQ(left->links.size(), 1u);
    EXPECT_EQ(left->links[0], right);
    EXPECT_EQ(main->controller->links, std::vector<const LeafPaneDescription*>{right});
    EXPECT_EQ(right->state, LeafPaneDescription::State::MINIMIZED);
    EXPECT_TRUE(right->rejectFocus);
    EXPECT_TRUE(right->focusLinking);
    EXPECT_EQ(right->links,
              (std::vector<const LeafPaneDescription*>{left, main->controller.get()}));

    const auto* other = c.findPage("Other");
    const auto* only = other->clientPane->asLeaf();
    ASSERT_NE(only, nullptr);
    EXPECT_EQ(only->state, LeafPaneDescription::State::MAXIMIZED);
    EXPECT_TRUE(only->links.empty());
    EXPECT_EQ(only->view, c.findTool("c d"));
    EXPECT_EQ(only->params.value("colour.rgb").toMap().value("g").toLongLong(), 2);
    EXPECT_EQ(only->params.value("big").toString(), "123456789012345678901234567890");
    EXPECT_EQ(other->title, "");

    const auto* sec = c.findPage("Sec");
    ASSERT_TRUE(sec->isSection());
    const auto* section = static_cast<const panekit::SectionDescription*>(sec);
    ASSERT_NE(section->controller, nullptr);
    ASSERT_EQ(section->pages.size(), 2u);
    EXPECT_EQ(section->pages[0].page, main);
    EXPECT_EQ(section->pages[1].effectiveTitle(), "Second");
    EXPECT_EQ(section->pages[0].effectiveTitle(), "Main page");

    const auto* holder = c.findPage("Holder")->clientPane->asLeaf()->asWorkbookPane();
    ASSERT_NE(holder, nullptr);
    EXPECT_TRUE(holder->minor);
    EXPECT_TRUE(holder->notebook);
    EXPECT_EQ(holder->workbook, c.findWorkbook("Book")); // declared further down

    ASSERT_EQ(c.workbooks.size(), 1u); // no implicit "main" when one is declared
    const auto* book = c.findWorkbook("Book");
    ASSERT_NE(book->controller, nullptr);
    ASSERT_EQ(book->pages.size(), 2u);
    EXPECT_EQ(book->pages[0].page, sec);
    EXPECT_EQ(book->pages[1].effectiveTitle(), "Again");
    EXPECT_EQ(book->pages[1].effectiveImage(), "icon2");

    const auto* block = c.findDataBlock("settings", "general");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->params.value("width").toInt(), 5);
    EXPECT_EQ(block->params.value("names").toStringList(), (QStringList{"a", "b"}));
    EXPECT_EQ(c.findDataBlock("settings", "other"), nullptr);

    ASSERT_EQ(c.all.size(), 11u); // 3 tools, 2 models, 4 pages/sections, 1 workbook, 1 block
    EXPECT_EQ(c.all[0], c.tools[0].get());
    EXPECT_EQ(c.all[5], main);
    EXPECT_EQ(c.all[10], block);
}

TEST(ConfigParser, FileWithoutWorkbookGetsMainWithEveryPage) {
    ParseResult r = parse("page A {} section S { page A; } page B {}");
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    ASSERT_EQ(r.config.workbooks.size(), 1u);
    const auto* main = r.config.findWorkbook("main");
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(main->pages.size(), 3u);
    EXPECT_EQ(main->pages[0].name, "A");
    EXPECT_EQ(main->pages[1].name, "S");
    EXPECT_EQ(main->pages[2].name, "B");
    EXPECT_EQ(main->pages[2].page, r.config.findPage("B"));
}

TEST(ConfigParser, TrimsTheLastRatioWhenSharesExceedTheWhole) {
    QByteArray text(declarations);
    text += "page p { hsplit 1000 { pane x 600 link view a; pane y 300 link view a; "
            "pane z 400 link view a; } }"
            "page q { pane u 900 link view a; pane v 2000 link view a; }"
            "page r { vsplit 1000 { pane w 1500 link view a; pane s 200 link view a; } }";
    ParseResult r = parse(text);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const auto* p = r.config.findPage("p")->clientPane.get();
    EXPECT_EQ(p->mode, PaneDescription::Mode::SPLIT_HORIZONTAL);
    EXPECT_EQ(leafAt(p, {0})->ratio, 600);
    EXPECT_EQ(leafAt(p, {1})->ratio, 300);
    EXPECT_EQ(leafAt(p, {2})->ratio, 100);
    // Several panes directly in a page share it side by side, trimmed the same way.
    const auto* q = r.config.findPage("q")->clientPane.get();
    ASSERT_EQ(q->panes.size(), 2u);
    EXPECT_EQ(leafAt(q, {1})->ratio, 100);
    // The last child never goes below nothing.
    EXPECT_EQ(leafAt(r.config.findPage("r")->clientPane.get(), {1})->ratio, 0);
}

TEST(ConfigParser, QuotedKeywordsAreNamesAndLookupIsExact) {
    QByteArray text(declarations);
    text += "page \"page\" { pane \"pane\" 1000 link \"pane\" view a; } page Monitor {}";
    ParseResult r = parse(text);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const auto* leaf = r.config.findPage("page")->clientPane->asLeaf();
    EXPECT_EQ(leaf->name, "pane");
    EXPECT_EQ(leaf->links, std::vector<const LeafPaneDescription*>{leaf});
    EXPECT_EQ(r.config.findPage("monitor"), nullptr);
    EXPECT_NE(r.config.findPage("Monitor"), nullptr);
}

TEST(ConfigParser, FailedLoadLeavesTheTargetUntouched) {
    Configuration c;
    ASSERT_TRUE(ConfigParser::load("page keep {}", "a.cfg", c));
    QString error;
    EXPECT_FALSE(ConfigParser::load("page broken {", "b.cfg", c, &error));
    EXPECT_NE(c.findPage("keep"), nullptr);
    EXPECT_EQ(c.text, "page keep {}");
}

TEST(ConfigLexer, NumbersTokensAsDeclared) {
    ConfigLexer lexer(QStringLiteral("tools input { } ; : = , 42 name \"s\\\"q\" % "));
    const std::vector<int> expected{0, 25, 50, 51, 52, 53, 54, 55, 60, 61, 62, 98, 99, 99};
    for (int token : expected)
        EXPECT_EQ(lexer.next(), token);
    ConfigLexer strings(QStringLiteral("\"a\\\"b\""));
    strings.next();
    EXPECT_EQ(strings.text(), "a\"b");
}

TEST(ConfigLexer, CountsLinesThroughComments) {
    ConfigLexer lexer(QStringLiteral("a // one\n/* two\nthree */ b\n\"x\ny\" c"));
    lexer.next();
    EXPECT_EQ(lexer.line(), 1);
    lexer.next();
    EXPECT_EQ(lexer.text(), "b");
    EXPECT_EQ(lexer.line(), 3);
    EXPECT_EQ(lexer.next(), ConfigLexer::BAD_STRING);
    EXPECT_EQ(lexer.next(), ConfigLexer::IDENTIFIER); // y
    EXPECT_EQ(lexer.line(), 5);
}

// ---- robustness: hostile input ends with an error or a configuration, never a crash ----

TEST(ConfigParserRobustness, DeepNestingIsRefused) {
    QByteArray text(declarations);
    text += "page p { ";
    for (int i = 0; i < 100000; ++i)
        text += "vsplit 1 { ";
    ParseResult r = parse(text);
    ASSERT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains("nesting deeper than")) << r.error.toStdString();

    QByteArray blocks = "data d { ";
    for (int i = 0; i < 100000; ++i)
        blocks += "t n { ";
    EXPECT_FALSE(parse(blocks).ok);
}

TEST(ConfigParserRobustness, NestingWithinTheLimitIsAccepted) {
    QByteArray text(declarations);
    text += "page p { ";
    const int depth = ConfigParser::maxNesting - 1;
    for (int i = 0; i < depth; ++i)
        text += "vsplit 1000 { ";
    text += "pane x 1000 link view a;";
    for (int i = 0; i < depth; ++i)
        text += " }";
    text += " }";
    ParseResult r = parse(text);
    EXPECT_TRUE(r.ok) << r.error.toStdString();
}

TEST(ConfigParserRobustness, RandomBytesNeverCrashOrHang) {
    QRandomGenerator random(12345);
    for (int round = 0; round < 3000; ++round) {
        QByteArray text(static_cast<qsizetype>(random.bounded(1, 400)), '\0');
        for (char& c : text)
            c = static_cast<char>(random.bounded(256));
        ParseResult r = parse(text);
        EXPECT_TRUE(r.ok || r.error.startsWith("test.cfg, ")) << r.error.toStdString();
    }
}

TEST(ConfigParserRobustness, MutatedValidFilesNeverCrash) {
    const QByteArray valid =
        QByteArray(declarations) +
        "page p : t : i { controller c link x : b param q = 1; vsplit 400 { } "
        "hsplit 600 { pane x 500 link focus y c view a model m : t param k = 1, 2; "
        "pane y 500 link reject null view b; } minor workbook notebook w 100 link : W; }"
        "section s { page p; } workbook W { page p; } d e { f g { h = i } }";
    ASSERT_TRUE(parse(valid).ok) << parse(valid).error.toStdString();
    QRandomGenerator random(777);
    const char alphabet[] = "{};:=,\"/* \n0a";
    for (int round = 0; round < 3000; ++round) {
        QByteArray text = valid;
        const int edits = random.bounded(1, 6);
        for (int e = 0; e < edits; ++e) {
            const auto at = static_cast<qsizetype>(random.bounded(static_cast<int>(text.size())));
            switch (random.bounded(3)) {
            case 0:
                text.remove(at, random.bounded(1, 10));
                break;
            case 1:
                text.insert(at, alphabet[random.bounded(static_cast<int>(sizeof alphabet - 1))]);
                break;
            default:
                text.truncate(at);
            }
        }
        ParseResult r = parse(text);
        EXPECT_TRUE(r.ok || r.error.startsWith("test.cfg, ")) << r.error.toStdString();
    }
}

TEST(ConfigParserRobustness, HugeAndUnterminatedInput) {
    EXPECT_FALSE(parse("page \"never closed").ok);
    EXPECT_TRUE(parse("/* an unclosed comment runs to the end").ok);
    EXPECT_FALSE(parse(QByteArray(declarations) + "page p { pane x 5" + QByteArray(5000, '9') +
                       " link view a; }")
                     .ok);
    ParseResult big =
        parse(QByteArray(declarations) + "data d { n = " + QByteArray(5000, '9') + " }");
    ASSERT_TRUE(big.ok);
    EXPECT_EQ(big.config.findDataBlock("data", "d")->params.value("n").toString().size(), 5000);
    EXPECT_FALSE(parse(QByteArray(200000, '{')).ok);
    EXPECT_FALSE(parse(QByteArray("\xff\xfe\x00page", 7)).ok);
}

TEST(ConfigParserRobustness, ManyNamesResolveInLinearTime) {
    // Tens of thousands of pages, panes and references: a quadratic lookup would take
    // minutes here.
    QByteArray text = "tools { t : T; }\npage big {\n";
    const int panes = 40000;
    for (int i = 0; i < panes; ++i)
        text += "pane p" + QByteArray::number(i) + " 0 link p" + QByteArray::number(panes - 1 - i) +
                " view t;\n";
    text += "}\n";
    for (int i = 0; i < panes; ++i)
        text += "page q" + QByteArray::number(i) + " {}\n";
    text += "workbook w {\n";
    for (int i = 0; i < panes; ++i)
        text += "page q" + QByteArray::number(i) + ";\n";
    text += "}\n";
    ParseResult r = parse(text);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const auto* root = r.config.findPage("big")->clientPane.get();
    ASSERT_EQ(root->panes.size(), std::size_t(panes));
    EXPECT_EQ(leafAt(root, {0})->links.front(), leafAt(root, {panes - 1}));
    EXPECT_EQ(leafAt(root, {panes - 1})->paneId, panes - 1);
    EXPECT_EQ(r.config.findWorkbook("w")->pages.back().page, r.config.findPage("q39999"));
}
