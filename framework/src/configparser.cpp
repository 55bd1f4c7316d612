#include "panekit/configparser.h"

#include "panekit/configlexer.h"

#include <QHash>
#include <algorithm>
#include <functional>
#include <numeric>

namespace panekit {
namespace {

using T = ConfigLexer::Token;

struct ParseError {
    int line;
    QString message;
};

// A name used before it can be checked (a forward link, or a tool, model, page or workbook
// declared further down); resolved in file order once the scope that may define it ends.
struct PendingLink {
    int line;
    QString name;
    LeafPaneDescription* target;
};

// The descriptions of a whole file by name (the first of a name wins, as in the lookups of
// Configuration), so that resolving many references stays linear.
class NameIndex {
public:
    explicit NameIndex(const Configuration& c) {
        for (const auto& t : c.tools)
            tools_.insert(t->name, t.get());
        for (const auto& m : c.models)
            models_.insert(m->name, m.get());
        for (const auto& p : c.pages)
            pages_.insert(p->name, p.get());
        for (const auto& w : c.workbooks)
            workbooks_.insert(w->name, w.get());
    }
    const ToolDescription* tool(const QString& n) const { return tools_.value(n); }
    const ModelDescription* model(const QString& n) const { return models_.value(n); }
    const PageDescription* page(const QString& n) const { return pages_.value(n); }
    const WorkbookDescription* workbook(const QString& n) const { return workbooks_.value(n); }

private:
    template <class T> struct FirstWins : QHash<QString, const T*> {
        void insert(const QString& key, const T* value) {
            if (!this->contains(key))
                QHash<QString, const T*>::insert(key, value);
        }
    };
    FirstWins<ToolDescription> tools_;
    FirstWins<ModelDescription> models_;
    FirstWins<PageDescription> pages_;
    FirstWins<WorkbookDescription> workbooks_;
};

struct PendingName {
    int line;
    // Looks the name up and fills in the reference; returns the error message, or an
    // empty text when the name was found.
    std::function<QString(const NameIndex&)> resolve;
};

// When the children's shares add up to more than the whole, the last child gives up the
// excess (but never more than it has).
void trimRatios(PaneDescription& composite) {
    auto& children = composite.panes;
    const qint64 sum = std::accumulate(children.begin(), children.end(), qint64(0),
                                       [](qint64 s, const auto& c) { return s + c->ratio; });
    if (sum > 1000 && !children.empty()) {
        const qint64 trimmed = children.back()->ratio - (sum - 1000);
        children.back()->ratio = static_cast<int>(qMax<qint64>(0, trimmed));
    }
}

class Parser {
public:
    explicit Parser(const QByteArray& text) : lexer_(QString::fromUtf8(text)) { lexer_.next(); }

    Configuration parse();

private:
    T tok() const { return lexer_.token(); }
    void advance() { lexer_.next(); }
    bool atName() const { return tok() == T::IDENTIFIER || tok() == T::STRING; }

    [[noreturn]] void fail(const QString& message) const {
        throw ParseError{lexer_.line(), message};
    }
    // "<what>'<token>' found", or the end-of-file message when the file ended instead.
    [[noreturn]] void expected(const char* what) const {
        if (tok() == T::END)
            fail(QStringLiteral("Unexpected end-of-file"));
        fail(QString::fromLatin1(what) + lexer_.text() + QStringLiteral("' found"));
    }
    // End of file inside a block whose items are read until "}".
    [[noreturn]] void endInsideBlock() const {
        fail(QStringLiteral("Syntax error: Unexpected end-of-file"));
    }
    [[noreturn]] void unexpectedToken() const {
        fail(QStringLiteral("Syntax error: '") + lexer_.text() + QStringLiteral("' found"));
    }

    void expect(T token, const char* what) {
        if (tok() != token)
            expected(what);
        advance();
    }
    QString name(const char* what) {
        if (!atName())
            expected(what);
        QString n = lexer_.text();
        advance();
        return n;
    }
    int ratio();
    void enter() {
        if (++depth_ > ConfigParser::maxNesting)
            fail(QStringLiteral("Syntax error: nesting deeper than %1 levels")
                     .arg(ConfigParser::maxNesting));
    }
    void leave() { --depth_; }

    void toolsBlock();
    void modelsBlock();
    void page();
    void section();
    void workbook();
    void dataBlock();
    void header(PageDescription& page);
    std::vector<PageReference> pageList(bool inSection);
    std::unique_ptr<LeafPaneDescription> controller();
    std::unique_ptr<PaneDescription> pane();
    std::unique_ptr<PaneDescription> split(PaneDescription::Mode mode);
    std::unique_ptr<PaneDescription> leaf();
    std::unique_ptr<PaneDescription> workbookPane(bool minor);
    void linkClause(LeafPaneDescription& pane, T follower);
    Params params(T terminator);
    QVariant value(const char* what);
    void registerPane(LeafPaneDescription& pane);
    void resolveLinks();
    void requirePages(std::vector<PageReference>& list, bool inSection);
    void requireTool(LeafPaneDescription& pane, const QString& toolName, int line);

    ConfigLexer lexer_;
    Configuration config_;
    int depth_ = 0;
    // Per page: its leaves and controller by id, and the links not yet resolved.
    QHash<QString, LeafPaneDescription*> pagePanes_; // first of a name wins
    int pageLeaves_ = 0;
    std::vector<PendingLink> pendingLinks_;
    std::vector<PendingName> pendingNames_;
};

Configuration Parser::parse() {
    for (;;) {
        switch (tok()) {
        case T::END: {
            const NameIndex index(config_);
            for (const PendingName& p : pendingNames_) {
                const QString message = p.resolve(index);
                if (!message.isEmpty())
                    throw ParseError{p.line, message};
            }
            if (config_.workbooks.empty()) {
                auto main = std::make_unique<WorkbookDescription>();
                main->name = QStringLiteral("main");
                main->line = lexer_.line();
                for (const auto& p : config_.pages)
                    main->pages.push_back(PageReference{p->name, p.get(), {}, {}, p->line});
                config_.all.push_back(main.get());
                config_.workbooks.push_back(std::move(main));
            }
            return std::move(config_);
        }
        case T::TOOLS:
            toolsBlock();
            break;
        case T::MODELS:
            modelsBlock();
            break;
        case T::PAGE:
            page();
            break;
        case T::SECTION:
            section();
            break;
        case T::WORKBOOK:
            workbook();
            break;
        case T::IDENTIFIER:
            dataBlock();
            break;
        default:
            unexpectedToken();
        }
    }
}

int Parser::ratio() {
    bool ok = false;
    const int r = tok() == T::INTEGER ? lexer_.text().toInt(&ok) : 0;
    if (!ok)
        expected("Ratio expected, '");
    advance();
    return r;
}

void Parser::toolsBlock() {
    advance();
    expect(T::LBRACE, "'{' expected, '");
    while (tok() != T::RBRACE) {
        if (tok() == T::END)
            endInsideBlock();
        auto tool = std::make_unique<ToolDescription>();
        tool->line = lexer_.line();
        if (tok() == T::VISUAL || tok() == T::NONVISUAL) {
            tool->visual = tok() == T::VISUAL;
            advance();
        }
        tool->name = name("Tool name expected, '");
        expect(T::COLON, "':' expected, '");
        tool->className = name("Tool class name expected, '");
        expect(T::SEMICOLON, "';' expected, '");
        config_.all.push_back(tool.get());
        config_.tools.push_back(std::move(tool));
    }
    advance();
}

void Parser::modelsBlock() {
    advance();
    expect(T::LBRACE, "'{' expected, '");
    while (tok() != T::RBRACE) {
        if (tok() == T::END)
            endInsideBlock();
        auto model = std::make_unique<ModelDescription>();
        model->line = lexer_.line();
        if (tok() == T::DEFAULT) {
            model->defaultModel = true;
            advance();
        }
        model->name = name("Model name expected, '");
        expect(T::COLON, "':' expected, '");
        model->className = name("Model class name expected, '");
        expect(T::SEMICOLON, "';' expected, '");
        config_.all.push_back(model.get());
        config_.models.push_back(std::move(model));
    }
    advance();
}

void Parser::header(PageDescription& page) {
    if (tok() != T::COLON)
        return;
    advance();
    page.title = name("Page title expected, '");
    if (tok() != T::COLON)
        return;
    advance();
    page.image = name("Page image key expected, '");
}

void Parser::page() {
    auto page = std::make_unique<PageDescription>();
    page->line = lexer_.line();
    advance();
    page->name = name("Page name expected, '");
    header(*page);
    expect(T::LBRACE, "'{' expected, '");
    enter();
    std::vector<std::unique_ptr<PaneDescription>> panes;
    while (tok() != T::RBRACE) {
        if (tok() == T::END)
            endInsideBlock();
        if (tok() == T::CONTROLLER) {
            if (page->controller)
                fail(QStringLiteral("Page can have only one controller"));
            page->controller = controller();
        } else {
            panes.push_back(pane());
        }
    }
    advance();
    leave();
    if (panes.size() == 1) {
        page->clientPane = std::move(panes.front());
    } else if (!panes.empty()) {
        // Several panes side by side: the page itself splits its area among them.
        auto root = std::make_unique<PaneDescription>(PaneDescription::Mode::SPLIT_HORIZONTAL);
        root->ratio = 1000;
        root->line = page->line;
        root->panes = std::move(panes);
        for (auto& child : root->panes)
            child->parent = root.get();
        page->clientPane = std::move(root);
    }
    if (page->clientPane && !page->clientPane->isLeaf())
        trimRatios(*page->clientPane);
    resolveLinks();
    config_.all.push_back(page.get());
    config_.pages.push_back(std::move(page));
}

void Parser::registerPane(LeafPaneDescription& pane) {
    if (!pane.controller)
        pane.paneId = pageLeaves_++;
    if (!pagePanes_.contains(pane.name))
        pagePanes_.insert(pane.name, &pane);
}

void Parser::resolveLinks() {
    // Every link of the page is resolved against all of its panes, so a link may name a
    // pane that is read later in the page.
    for (const PendingLink& link : pendingLinks_) {
        LeafPaneDescription* source = pagePanes_.value(link.name);
        if (!source)
            throw ParseError{link.line, QStringLiteral("link pane ") + link.name +
                                            QStringLiteral(" not found.")};
        link.target->links.push_back(source);
    }
    pendingLinks_.clear();
    pagePanes_.clear();
    pageLeaves_ = 0;
}

void Parser::section() {
    auto section = std::make_unique<SectionDescription>();
    section->line = lexer_.line();
    advance();
    section->name = name("Section name expected, '");
    header(*section);
    expect(T::LBRACE, "'{' expected, '");
    if (tok() == T::SECTION)
        fail(QStringLiteral("Nested sections not supported."));
    if (tok() == T::CONTROLLER) {
        section->controller = controller();
        resolveLinks();
    }
    section->pages = pageList(true);
    requirePages(section->pages, true);
    config_.all.push_back(section.get());
    config_.pages.push_back(std::move(section));
}

// Registers the page names of a finished list; the list no longer grows, so pointers to
// its entries stay valid.
void Parser::requirePages(std::vector<PageReference>& list, bool inSection) {
    for (PageReference& ref : list) {
        PageReference* target = &ref;
        const QString pageName = ref.name;
        pendingNames_.push_back(
            PendingName{ref.line, [target, pageName, inSection](const NameIndex& c) {
                            target->page = c.page(pageName);
                            if (!target->page)
                                return QString(QStringLiteral("Page ") + pageName +
                                               QStringLiteral(" not defined."));
                            if (inSection && target->page->isSection())
                                return QString(QStringLiteral("Nested sections not supported."));
                            return QString();
                        }});
    }
}

std::vector<PageReference> Parser::pageList(bool inSection) {
    std::vector<PageReference> list;
    for (;;) {
        if (tok() == T::SECTION && inSection)
            fail(QStringLiteral("Nested sections not supported."));
        if (tok() != T::PAGE)
            break;
        PageReference ref;
        ref.line = lexer_.line();
        advance();
        ref.name = name("page name expected, '");
        if (tok() == T::COLON) {
            advance();
            ref.title = name("Page title expected, '");
            if (tok() == T::COLON) {
                advance();
                ref.image = name("Page image key expected, '");
                expect(T::SEMICOLON, "';' expected, '");
            } else {
                expect(T::SEMICOLON, "';' or ':' expected, '");
            }
        } else {
            expect(T::SEMICOLON, "';' or ':' expected, '");
        }
        list.push_back(ref);
    }
    // A bare name here is a list entry that lacks its keyword.
    if (atName())
        expected("'page' expected, '");
    expect(T::RBRACE, "'}' expected, '");
    return list;
}

void Parser::workbook() {
    auto book = std::make_unique<WorkbookDescription>();
    book->line = lexer_.line();
    advance();
    book->name = name("Workbook name expected, '");
    expect(T::LBRACE, "'{' expected, '");
    if (tok() == T::CONTROLLER) {
        book->controller = controller();
        resolveLinks();
    }
    book->pages = pageList(false);
    requirePages(book->pages, false);
    config_.all.push_back(book.get());
    config_.workbooks.push_back(std::move(book));
}

void Parser::dataBlock() {
    auto block = std::make_unique<DataBlockDescription>();
    block->line = lexer_.line();
    block->type = lexer_.text();
    advance();
    if (!atName())
        unexpectedToken();
    block->name = lexer_.text();
    advance();
    expect(T::LBRACE, "'{' expected, '");
    enter();
    block->params = params(T::RBRACE);
    leave();
    config_.all.push_back(block.get());
    config_.blocks.push_back(std::move(block));
}

std::unique_ptr<LeafPaneDescription> Parser::controller() {
    auto c = std::make_unique<LeafPaneDescription>();
    c->line = lexer_.line();
    c->controller = true;
    advance();
    c->name = name("Controller id expected, '");
    registerPane(*c);
    if (tok() == T::LINK)
        linkClause(*c, T::COLON);
    expect(T::COLON, "':' expected, '");
    const int toolLine = lexer_.line();
    requireTool(*c, name("tool name expected, '"), toolLine);
    if (tok() == T::PARAM) {
        advance();
        c->params = params(T::SEMICOLON);
    } else {
        expect(T::SEMICOLON, "';' expected, '");
    }
    return c;
}

std::unique_ptr<PaneDescription> Parser::pane() {
    const int line = lexer_.line();
    bool input = false;
    bool stated = false;
    auto state = LeafPaneDescription::State::NORMAL;
    if (tok() == T::INPUT) {
        input = true;
        advance();
    }
    switch (tok()) {
    case T::MINIMIZED:
        state = LeafPaneDescription::State::MINIMIZED;
        break;
    case T::MAXIMIZED:
        state = LeafPaneDescription::State::MAXIMIZED;
        break;
    case T::HIDDEN:
        state = LeafPaneDescription::State::HIDDEN;
        break;
    case T::FLOATING:
        state = LeafPaneDescription::State::FLOATING;
        break;
    default:
        break;
    }
    if (state != LeafPaneDescription::State::NORMAL) {
        stated = true;
        advance();
    }

    std::unique_ptr<PaneDescription> result;
    switch (tok()) {
    case T::PANE:
        result = leaf();
        break;
    case T::VSPLIT:
    case T::HSPLIT:
        if (input || stated)
            fail(QStringLiteral("illegal state of composite pane"));
        return split(tok() == T::VSPLIT ? PaneDescription::Mode::SPLIT_VERTICAL
                                        : PaneDescription::Mode::SPLIT_HORIZONTAL);
    case T::MINOR:
        advance();
        if (tok() != T::WORKBOOK)
            expected("Workbook expected, '");
        result = workbookPane(true);
        break;
    case T::WORKBOOK:
        result = workbookPane(false);
        break;
    default:
        expected("Pane or split pane expected, '");
    }
    auto* leafPane = static_cast<LeafPaneDescription*>(result.get());
    leafPane->inputPane = input;
    leafPane->state = state;
    leafPane->line = line;
    return result;
}

std::unique_ptr<PaneDescription> Parser::split(PaneDescription::Mode mode) {
    auto composite = std::make_unique<PaneDescription>(mode);
    composite->line = lexer_.line();
    advance();
    composite->ratio = ratio();
    expect(T::LBRACE, "'{' expected, '");
    enter();
    while (tok() != T::RBRACE) {
        if (tok() == T::END)
            endInsideBlock();
        auto child = pane();
        child->parent = composite.get();
        composite->panes.push_back(std::move(child));
    }
    advance();
    leave();
    trimRatios(*composite);
    return composite;
}

std::unique_ptr<PaneDescription> Parser::leaf() {
    auto p = std::make_unique<LeafPaneDescription>();
    advance();
    p->name = name("Pane id expected, '");
    registerPane(*p);
    p->ratio = ratio();
    if (tok() != T::LINK)
        expected("'link' expected, '");
    linkClause(*p, T::VIEW);
    expect(T::VIEW, "'view' expected, '");
    const int toolLine = lexer_.line();
    requireTool(*p, name("view name expected, '"), toolLine);
    if (tok() == T::MODEL) {
        advance();
        const int modelLine = lexer_.line();
        const QString modelName = name("model name expected, '");
        LeafPaneDescription* target = p.get();
        pendingNames_.push_back(PendingName{
            modelLine, [target, modelName](const NameIndex& c) {
                target->model = c.model(modelName);
                return target->model ? QString() : QStringLiteral("unknown model: ") + modelName;
            }});
    }
    if (tok() == T::COLON) {
        advance();
        p->viewType = name("view type expected, '");
    }
    if (tok() == T::PARAM) {
        advance();
        p->params = params(T::SEMICOLON);
    } else {
        expect(T::SEMICOLON, "';' expected, '");
    }
    return p;
}

std::unique_ptr<PaneDescription> Parser::workbookPane(bool minor) {
    auto p = std::make_unique<WorkbookPaneDescription>();
    p->minor = minor;
    advance();
    if (tok() == T::NOTEBOOK) {
        p->notebook = true;
        advance();
    }
    p->name = name("Workbook pane id expected, '");
    registerPane(*p);
    p->ratio = ratio();
    if (tok() != T::LINK)
        expected("'link' expected, '");
    linkClause(*p, T::COLON);
    expect(T::COLON, "':' expected, '");
    const int bookLine = lexer_.line();
    const QString bookName = name("workbook name expected, '");
    WorkbookPaneDescription* target = p.get();
    pendingNames_.push_back(PendingName{bookLine, [target, bookName](const NameIndex& c) {
                                            target->workbook = c.workbook(bookName);
                                            return target->workbook
                                                       ? QString()
                                                       : QStringLiteral("workbook ") + bookName +
                                                             QStringLiteral(" not found.");
                                        }});
    expect(T::SEMICOLON, "';' expected, '");
    return p;
}

void Parser::linkClause(LeafPaneDescription& pane, T follower) {
    advance(); // "link"
    if (tok() == T::REJECT) {
        pane.rejectFocus = true;
        advance();
    }
    if (tok() == T::NULL_) {
        advance();
        return;
    }
    if (tok() == T::FOCUS) {
        pane.focusLinking = true;
        advance();
    }
    while (atName()) {
        pendingLinks_.push_back(PendingLink{lexer_.line(), lexer_.text(), &pane});
        advance();
    }
    if (tok() != follower && (tok() == T::INTEGER || tok() == T::COMMA || tok() == T::BAD_STRING))
        expected("link id expected, '");
}

Params Parser::params(T terminator) {
    Params result;
    while (tok() != terminator) {
        if (!atName())
            expected("parameter name expected, '");
        const QString key = lexer_.text();
        advance();
        if (atName()) {
            // A nested block: type name "{" params "}".
            const QString blockName = lexer_.text();
            advance();
            expect(T::LBRACE, "'{' expected, '");
            enter();
            result.insert(key + u'.' + blockName, params(T::RBRACE));
            leave();
            continue;
        }
        expect(T::EQUALS, "'=' expected, '");
        QVariant v = value("parameter value expected, '");
        if (tok() == T::COMMA) {
            QVariantList list{v};
            while (tok() == T::COMMA) {
                advance();
                list.push_back(value("parameter list value expected, '"));
            }
            v = list;
        }
        result.insert(key, v);
    }
    advance();
    return result;
}

QVariant Parser::value(const char* what) {
    QVariant v;
    if (tok() == T::INTEGER) {
        bool ok = false;
        const qlonglong n = lexer_.text().toLongLong(&ok);
        // A number too large for 64 bits is kept as its text rather than lost.
        v = ok ? QVariant(n) : QVariant(lexer_.text());
    } else if (atName()) {
        v = lexer_.text();
    } else {
        expected(what);
    }
    advance();
    return v;
}

void Parser::requireTool(LeafPaneDescription& pane, const QString& toolName, int line) {
    LeafPaneDescription* target = &pane;
    pendingNames_.push_back(PendingName{line, [target, toolName](const NameIndex& c) {
                                            target->view = c.tool(toolName);
                                            return target->view ? QString()
                                                                : QStringLiteral("unknown tool: ") +
                                                                      toolName;
                                        }});
}

} // namespace

bool ConfigParser::load(const QByteArray& text, const QString& fileName, Configuration& into,
                        QString* error) {
    try {
        Configuration parsed = Parser(text).parse();
        parsed.name = into.name;
        parsed.text = text;
        parsed.timestamp = QDateTime::currentDateTime();
        into = std::move(parsed);
        return true;
    } catch (const ParseError& e) {
        if (error)
            *error = fileName + QStringLiteral(", ") + QString::number(e.line) +
                     QStringLiteral(": ") + e.message;
        return false;
    }
}

bool ConfigParser::load(QIODevice& stream, const QString& fileName, Configuration& into,
                        QString* error) {
    return load(stream.readAll(), fileName, into, error);
}

} // namespace panekit
