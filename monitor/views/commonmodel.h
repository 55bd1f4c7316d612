#pragma once

// Qt headers first: moc cannot parse <compare> (from fileposition.h) ahead of them.
// clang-format off
#include "panekit/model.h"
#include "views/linelist.h"
#include "core/fileposition.h"
// clang-format on

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace tracewin {

class CommonModel;
class CommonViewState;
class TextLines;

// One display line of a model. Lines are shared between a model and the snapshots taken
// of it, so text appended later shows through every snapshot that holds the line.
class SourceInformation {
public:
    SourceInformation(CommonModel& owner, QString text);
    // A line that belongs to no model: a copy handed to a reader.
    SourceInformation(QString text, int startPos)
        : owner_(nullptr), text_(std::move(text)), startPos_(startPos) {}

    QString getViewLine() const { return text_; }
    const QString& text() const { return text_; }
    int length() const { return static_cast<int>(text_.size()); }
    // Replaces the text; the owning model's running character count grows by its length.
    void setViewLine(const QString& text);
    void appendText(const QString& text) { text_ += text; }
    int getStartPos() const { return startPos_; }

private:
    CommonModel* owner_;
    QString text_;
    int startPos_;
};

using SourceLine = std::shared_ptr<SourceInformation>;
using SourceLines = std::vector<SourceLine>;

// Line objects as a source text component reads them.
class SourceLinesList final : public LineList {
public:
    explicit SourceLinesList(const SourceLines& lines) : lines_(&lines) {}
    std::size_t size() const override { return lines_->size(); }
    CharsView text(std::size_t index) const override { return charsOf((*lines_)[index]->text()); }

private:
    const SourceLines* lines_;
};

// What a snapshot keeps of a model that holds its lines as text blocks, not line objects:
// the store, shared, and how many of its lines were the model's.
struct KeptText {
    std::shared_ptr<TextLines> store;
    std::size_t lines = 0;
};

// A snapshot of one model and view for one file, taken in an execution state.
struct CommonModelViewInfo {
    CommonModelViewInfo(const CommonModel& model, const CommonViewState* view, int statesValue);
    CommonModelViewInfo(std::optional<QString> filename, SourceLines lines, int textPos,
                        int statesValue, bool focus, int currentViewLine,
                        std::optional<QString> statusLineMsg);

    std::optional<QString> filename;
    SourceLines lines;
    KeptText text;
    int textPos = 0;
    int statesValue = 0;
    bool focus = false;
    int currentViewLine = -1;
    std::optional<QString> statusLineMsg;
};

// What a snapshot asks of a view.
class CommonViewState {
public:
    virtual ~CommonViewState() = default;
    virtual bool getFocus() const = 0;
    virtual int getCurrentViewLine() const = 0;
    // Only the JSP view keeps a status-line message.
    virtual std::optional<QString> getStatusLineMsg() const { return std::nullopt; }
};

// The base of every source model: the display lines of a file or of produced text, and
// what a snapshot of it needs to bring a JSP file of the request back with its display
// intact. It is a framework model, so a view tool finds it with getModel().
class CommonModel : public panekit::Model {
public:
    static inline const QString tabSpaces = QStringLiteral("  ");
    static constexpr const char* agentCallPrefix = "vlmAgent.line(";

    CommonModel() = default;
    ~CommonModel() override = default;
    CommonModel(const CommonModel&) = delete;
    CommonModel& operator=(const CommonModel&) = delete;

    // Loads the model from a UTF-8 file: tabs become two spaces; with filterAgentLines, a
    // leading instrumentation call ("vlmAgent.line(...);") is cut off each line and the
    // number of characters cut is remembered; without noLineTerminator every line ends
    // in "\n" and one more line holding "\n" follows. A null name leaves an empty model.
    // False when the file cannot be read (the model is then empty). The lines are kept as
    // text blocks, which snapshots share: a generated servlet of a million lines is not a
    // million objects.
    [[nodiscard]] bool primeModel(const std::optional<QString>& filename, bool filterAgentLines,
                                  bool noLineTerminator);
    // Appends the file's lines again, each with "\n". False when it cannot be read.
    [[nodiscard]] bool primeModel();

    // The lines as a source text component reads them.
    virtual const LineList& lineList() const { return lineList_; }
    // The lines as line objects, shared with the snapshots taken of the model. A model
    // whose line list is not made of line objects (text blocks) hands out a copy of its
    // lines, made on each call; changes to the copy are not the model's.
    const SourceLines& getLines() const;
    // Whether a list of line objects is the one this model hands out.
    bool holdsLines(const SourceLines& lines) const {
        return &lines == &lines_ || &lines == &lineObjects_;
    }
    void setLines(SourceLines lines);
    int lineCount() const { return static_cast<int>(lineList().size()); }
    // The view text of a 1-based line, or an empty text outside the model.
    QString viewLine(int line) const;
    const std::optional<QString>& getFilename() const { return filename_; }
    int getTextPos() const { return textPos_; }

    int getNumOfRemovedChar(int line) const;
    // True when the line holds nothing but blanks and line breaks: nothing on it runs.
    bool getIsCurrentLineExecutable(int line) const;
    // An exclusive end position as an inclusive one.
    FilePosition convertToInclusivePos(const FilePosition& p) const;

    // Back to a snapshot: file name, a copy of its lines, text position.
    virtual void restoreCanvas(const CommonModelViewInfo& info);
    // What a snapshot keeps of lines held as text blocks; nothing for line objects.
    virtual KeptText keptText() const;

protected:
    SourceLine newLine(QString text);
    // Takes back the text blocks a snapshot kept (restoreCanvas calls it).
    virtual void restoreText(const KeptText& text);
    SourceLines lines_;

private:
    friend class SourceInformation;
    friend struct CommonModelViewInfo;

    // The model's lines: a primed file's text blocks, or else its line objects.
    class ModelLines final : public LineList {
    public:
        explicit ModelLines(const CommonModel& model) : model_(model) {}
        std::size_t size() const override;
        CharsView text(std::size_t index) const override;

    private:
        const CommonModel& model_;
    };
    // A primed file's lines as line objects, for appending to them.
    void takeLinesAsObjects();
    // Where the primed file's first line starts in the running character count.
    int fileTextStart() const;

    ModelLines lineList_{*this};
    // The lines of the file primed last, shared with the snapshots taken since.
    std::shared_ptr<TextLines> fileText_;
    // The copy getLines hands out when the lines are not line objects.
    mutable SourceLines lineObjects_;

    std::optional<QString> filename_;
    int textPos_ = 0;
    // The characters cut off each filtered line: (line, count), by line.
    std::vector<std::pair<int, int>> filteredLineInfoLst_;
};

} // namespace tracewin
