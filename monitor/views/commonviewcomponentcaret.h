#pragma once

#include "core/fileposition.h"

#include <QRect>
#include <memory>
#include <optional>

class QPainter;
class QTimer;

namespace tracewin {

class CommonViewComponent;

// The blinking caret of a source text component and the mark it leaves behind.
class CommonViewComponentCaret {
public:
    static constexpr int BLINK_INTERVAL_MS = 500;
    // The strip repainted around the caret on each blink.
    static constexpr int STRIP_WIDTH = 3;

    explicit CommonViewComponentCaret(CommonViewComponent& component);
    ~CommonViewComponentCaret();
    CommonViewComponentCaret(const CommonViewComponentCaret&) = delete;
    CommonViewComponentCaret& operator=(const CommonViewComponentCaret&) = delete;

    // Puts caret and mark at fp, clamped into the text; the caret is scrolled into view.
    // Nothing happens while there are no lines.
    void setPosition(const FilePosition& fp);
    // Moves the caret alone and highlights from the mark to it.
    void movePosition(const FilePosition& fp);
    FilePosition getPosition() const { return currentPosition_; }
    FilePosition getMark() const { return mark_; }
    bool isSelecting() const { return selecting_; }
    // The blink phase: whether the caret is drawn now.
    bool isVisible() const { return visible_; }
    // The blink timer starts with the first paint.
    bool isBlinking() const;

    void paint(QPainter& painter, const QRect& clip);
    // One blink: flip the phase and repaint the caret's strip.
    void blink();

private:
    std::optional<FilePosition> clamped(const FilePosition& fp) const;
    void moveTo(const FilePosition& fp);
    QRect strip(const FilePosition& fp) const;

    CommonViewComponent& comViewComponent_;
    FilePosition currentPosition_{0, 0};
    FilePosition mark_{0, 0};
    bool selecting_ = false;
    bool visible_ = true;
    std::unique_ptr<QTimer> timer_;
};

} // namespace tracewin
