#include "views/commonmodel.h"

#include "views/textlines.h"

#include <QFile>
#include <algorithm>

namespace tracewin {

SourceInformation::SourceInformation(CommonModel& owner, QString text)
    : owner_(&owner), text_(std::move(text)), startPos_(owner.textPos_) {
    owner.textPos_ += length();
}

void SourceInformation::setViewLine(const QString& text) {
    text_ = text;
    if (owner_)
        owner_->textPos_ += length();
}

CommonModelViewInfo::CommonModelViewInfo(const CommonModel& model, const CommonViewState* view,
                                         int statesValue_)
    : filename(model.getFilename()), lines(model.lines_), text(model.keptText()),
      textPos(model.getTextPos()), statesValue(statesValue_),
      focus(view ? view->getFocus() : false),
      currentViewLine(view ? view->getCurrentViewLine() : -1),
      statusLineMsg(view ? view->getStatusLineMsg() : std::nullopt) {}

CommonModelViewInfo::CommonModelViewInfo(std::optional<QString> filename_, SourceLines lines_,
                                         int textPos_, int statesValue_, bool focus_,
                                         int currentViewLine_,
                                         std::optional<QString> statusLineMsg_)
    : filename(std::move(filename_)), lines(std::move(lines_)), textPos(textPos_),
      statesValue(statesValue_), focus(focus_), currentViewLine(currentViewLine_),
      statusLineMsg(std::move(statusLineMsg_)) {}

SourceLine CommonModel::newLine(QString text) {
    return std::make_shared<SourceInformation>(*this, std::move(text));
}

std::size_t CommonModel::ModelLines::size() const {
    return model_.fileText_ ? model_.fileText_->size() : model_.lines_.size();
}

CharsView CommonModel::ModelLines::text(std::size_t index) const {
    return model_.fileText_ ? model_.fileText_->text(index) : charsOf(model_.lines_[index]->text());
}

void CommonModel::setLines(SourceLines lines) {
    lines_ = std::move(lines);
    fileText_.reset();
}

KeptText CommonModel::keptText() const {
    if (!fileText_)
        return {};
    return {fileText_, fileText_->size()};
}

void CommonModel::restoreText(const KeptText& text) {
    fileText_ = text.store;
}

namespace {

// Copies of the lines as line objects of no model, the first one starting at startPos.
SourceLines lineObjectsOf(const LineList& lines, int startPos) {
    SourceLines objects;
    objects.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const CharsView text = lines.text(i);
        objects.push_back(std::make_shared<SourceInformation>(toQString(text), startPos));
        startPos += static_cast<int>(text.size());
    }
    return objects;
}

} // namespace

int CommonModel::fileTextStart() const {
    // The running character count ends with the file's lines, as it did for line objects.
    int start = textPos_;
    for (std::size_t i = 0; i < fileText_->size(); ++i)
        start -= static_cast<int>(fileText_->length(i));
    return start;
}

void CommonModel::takeLinesAsObjects() {
    if (!fileText_)
        return;
    // The running character count already holds these lines: they are not counted again.
    lines_ = lineObjectsOf(lineList_, fileTextStart());
    fileText_.reset();
}

const SourceLines& CommonModel::getLines() const {
    const LineList& lines = lineList();
    if (&lines == &lineList_ && !fileText_)
        return lines_;
    lineObjects_ = lineObjectsOf(lines, &lines == &lineList_ ? fileTextStart() : 0);
    return lineObjects_;
}

QString CommonModel::viewLine(int line) const {
    if (line < 1 || line > lineCount())
        return {};
    return toQString(lineList().text(static_cast<std::size_t>(line - 1)));
}

namespace {

// Splits UTF-8 bytes at LF, CR and CR LF and hands each line over, without its
// terminator, still encoded: each line is decoded alone, so that a file of a million lines
// is never held a second time as one decoded text. A final terminator does not start
// another line.
template <class Fn> void forEachLine(const QByteArray& bytes, Fn&& fn) {
    const char* data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if (c != '\n' && c != '\r')
            continue;
        fn(QByteArrayView(data + start, i - start));
        if (c == '\r' && i + 1 < n && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        fn(QByteArrayView(data + start, n - start));
}

// A line's text with its tabs as two spaces each.
QString decodeLine(QByteArrayView utf8) {
    QString line = QString::fromUtf8(utf8);
    if (utf8.contains('\t'))
        line.replace(u'\t', CommonModel::tabSpaces);
    return line;
}

bool readBytes(const QString& filename, QByteArray& bytes) {
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

bool CommonModel::primeModel(const std::optional<QString>& filename, bool filterAgentLines,
                             bool noLineTerminator) {
    lines_.clear();
    fileText_.reset();
    filteredLineInfoLst_.clear();
    if (!filename)
        return true;
    filename_ = filename;
    QByteArray bytes;
    if (!readBytes(*filename, bytes))
        return false;
    auto text = std::make_shared<TextLines>();
    auto append = [&](QStringView line) {
        text->appendLine(line);
        textPos_ += static_cast<int>(line.size());
    };
    const QString agent = QString::fromLatin1(agentCallPrefix);
    int lineNumber = 0;
    forEachLine(bytes, [&](QByteArrayView utf8) {
        ++lineNumber;
        QString line = decodeLine(utf8);
        qsizetype cut = 0;
        if (filterAgentLines && line.startsWith(agent)) {
            const qsizetype end = line.indexOf(QStringLiteral(");"));
            if (end >= 0) {
                cut = end + 2;
                filteredLineInfoLst_.emplace_back(lineNumber, static_cast<int>(cut));
            }
        }
        if (!noLineTerminator)
            line += u'\n';
        append(QStringView(line).mid(cut));
    });
    if (!noLineTerminator)
        append(u"\n");
    fileText_ = std::move(text);
    return true;
}

bool CommonModel::primeModel() {
    if (!filename_)
        return true;
    takeLinesAsObjects();
    QByteArray bytes;
    if (!readBytes(*filename_, bytes))
        return false;
    forEachLine(bytes, [&](QByteArrayView utf8) {
        lines_.push_back(newLine(QString::fromUtf8(utf8) + u'\n'));
    });
    return true;
}

int CommonModel::getNumOfRemovedChar(int line) const {
    const auto it = std::lower_bound(filteredLineInfoLst_.begin(), filteredLineInfoLst_.end(),
                                     std::pair(line, 0));
    return it != filteredLineInfoLst_.end() && it->first == line ? it->second : 0;
}

bool CommonModel::getIsCurrentLineExecutable(int line) const {
    if (line < 1 || line > lineCount())
        return true;
    return lineList().text(static_cast<std::size_t>(line - 1)).isBlank();
}

FilePosition CommonModel::convertToInclusivePos(const FilePosition& p) const {
    if (p.pos > 1)
        return FilePosition(p.pos - 1, p.line);
    if (p.line > 1 && p.line <= lineCount())
        return FilePosition(
            static_cast<int>(lineList().text(static_cast<std::size_t>(p.line - 2)).size()) + 2,
            p.line - 1);
    return p;
}

void CommonModel::restoreCanvas(const CommonModelViewInfo& info) {
    filename_ = info.filename;
    lines_ = info.lines;
    textPos_ = info.textPos;
    restoreText(info.text);
}

} // namespace tracewin
