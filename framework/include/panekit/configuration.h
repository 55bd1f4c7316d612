#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace panekit {

// Parameters of a pane, controller or data block. A value is a QString (identifier or
// quoted string), a qlonglong (integer), a QVariantList (a comma-separated list) or a
// QVariantMap (a nested block, stored under the key "type.name").
using Params = QVariantMap;

// Base of every top-level item of a configuration file, so that `all` keeps file order.
struct Description {
    enum class Kind { Tool, Model, Page, Section, Workbook, DataBlock };

    virtual ~Description() = default;
    virtual Kind kind() const = 0;

    int line = 0; // where the item starts in its file
};

struct ToolDescription final : Description {
    Kind kind() const override { return Kind::Tool; }

    QString name;
    QString className;
    bool visual = true;
};

struct ModelDescription final : Description {
    Kind kind() const override { return Kind::Model; }

    QString name;
    QString className;
    bool defaultModel = false;
};

struct LeafPaneDescription;
struct WorkbookPaneDescription;
struct WorkbookDescription;

// A node of a page's pane tree: a composite splits its area among its children by their
// ratios; a leaf (LeafPaneDescription) shows one tool.
struct PaneDescription {
    enum class Mode { LEAF, SPLIT_VERTICAL, SPLIT_HORIZONTAL };

    PaneDescription() = default;
    explicit PaneDescription(Mode m) : mode(m) {}
    virtual ~PaneDescription() = default;
    PaneDescription(const PaneDescription&) = delete;
    PaneDescription& operator=(const PaneDescription&) = delete;

    bool isLeaf() const { return mode == Mode::LEAF; }
    virtual const LeafPaneDescription* asLeaf() const { return nullptr; }

    Mode mode = Mode::LEAF;
    int ratio = 0; // thousandths of the parent's extent
    std::vector<std::unique_ptr<PaneDescription>> panes;
    PaneDescription* parent = nullptr;
    int line = 0;
};

// A pane that shows one tool, or a page's or workbook's controller.
struct LeafPaneDescription : PaneDescription {
    enum class State { NORMAL, MAXIMIZED, MINIMIZED, HIDDEN, FLOATING };

    LeafPaneDescription() : PaneDescription(Mode::LEAF) {}

    const LeafPaneDescription* asLeaf() const override { return this; }
    virtual const WorkbookPaneDescription* asWorkbookPane() const { return nullptr; }

    int paneId = -1; // position among the leaves of its page, in file order
    QString name;    // the pane's id in the file
    std::vector<const LeafPaneDescription*> links; // panes whose events this one receives
    Params params;
    const ToolDescription* view = nullptr;
    const ModelDescription* model = nullptr;
    QString viewType;
    bool controller = false;
    bool focusLinking = false;
    bool rejectFocus = false;
    bool inputPane = false;
    State state = State::NORMAL;
};

// A pane that holds a whole workbook.
struct WorkbookPaneDescription final : LeafPaneDescription {
    const WorkbookPaneDescription* asWorkbookPane() const override { return this; }

    const WorkbookDescription* workbook = nullptr;
    bool minor = false;
    bool notebook = false;
};

struct PageDescription : Description {
    Kind kind() const override { return Kind::Page; }
    bool isSection() const { return kind() == Kind::Section; }

    QString name;
    QString title;
    QString image; // an image resource key
    std::unique_ptr<LeafPaneDescription> controller;
    std::unique_ptr<PaneDescription> clientPane; // null for a page without panes
};

// One entry of a workbook's or section's page list; a title or image given in the list
// replaces the page's own for that tab.
struct PageReference {
    QString name; // as listed
    const PageDescription* page = nullptr;
    QString title;
    QString image;
    int line = 0;

    QString effectiveTitle() const;
    QString effectiveImage() const { return image.isEmpty() ? page->image : image; }
};

// A page that holds pages, shown as a nested workbook.
struct SectionDescription final : PageDescription {
    Kind kind() const override { return Kind::Section; }

    std::vector<PageReference> pages;
};

struct WorkbookDescription final : Description {
    Kind kind() const override { return Kind::Workbook; }

    QString name;
    std::vector<PageReference> pages;
    std::unique_ptr<LeafPaneDescription> controller;
};

struct DataBlockDescription final : Description {
    Kind kind() const override { return Kind::DataBlock; }

    QString type;
    QString name;
    Params params;
};

// A parsed configuration file: the tools and models that exist, the pages, sections and
// workbooks built from them, and free data blocks. Descriptions are owned here and refer
// to each other by plain pointers, which stay valid when the configuration is moved.
class Configuration {
public:
    Configuration() = default;
    Configuration(Configuration&&) noexcept = default;
    Configuration& operator=(Configuration&&) noexcept = default;

    const ToolDescription* findTool(const QString& name) const;
    const ModelDescription* findModel(const QString& name) const;
    const PageDescription* findPage(const QString& name) const; // pages and sections, exact name
    const WorkbookDescription* findWorkbook(const QString& name) const;
    const DataBlockDescription* findDataBlock(const QString& type, const QString& name) const;
    const ModelDescription* defaultModel() const;

    QString name;
    QDateTime timestamp;
    QByteArray text; // the bytes it was parsed from, kept so that it can be saved again
    std::vector<std::unique_ptr<ToolDescription>> tools;
    std::vector<std::unique_ptr<ModelDescription>> models;
    std::vector<std::unique_ptr<PageDescription>> pages; // pages and sections
    std::vector<std::unique_ptr<WorkbookDescription>> workbooks;
    std::vector<std::unique_ptr<DataBlockDescription>> blocks;
    std::vector<const Description*> all; // everything above, in file order
};

} // namespace panekit
