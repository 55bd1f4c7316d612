#include "views/breakpointimage.h"

#include "tracehook/jspdebugdynamicpathfactory.h"

#include <QDir>
#include <QPainter>
#include <algorithm>

namespace tracewin {

QString BreakpointImage::path() {
    const std::optional<std::string> installPath =
        tracehook::JspDebugDynamicPathFactory::getMonitorInstallPath();
    if (!installPath)
        return QString::fromLatin1(FILE_NAME);
    return QString::fromStdString(*installPath) + QDir::separator() +
           QString::fromLatin1(FILE_NAME);
}

QPixmap BreakpointImage::load(const QString& path) {
    QPixmap image(path);
    return image.isNull() ? fallback() : image;
}

QPixmap BreakpointImage::fallback() {
    QPixmap disc(FALLBACK_SIZE, FALLBACK_SIZE);
    disc.fill(Qt::transparent);
    QPainter painter(&disc);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x90, 0, 0));
    painter.setBrush(QColor(0xd0, 0x10, 0x10));
    painter.drawEllipse(QRectF(0.5, 0.5, FALLBACK_SIZE - 1, FALLBACK_SIZE - 1));
    return disc;
}

QPixmap BreakpointImage::conditional(const QPixmap& mark) {
    QPixmap image = mark;
    QPainter painter(&image);
    const int w = image.width();
    const int h = image.height();
    const int inset = std::max(2, w / 4);
    const int gap = std::max(1, h / 5);
    const int y = h / 2;
    painter.setPen(QPen(Qt::white, 1));
    painter.drawLine(inset, y - gap, w - 1 - inset, y - gap);
    painter.drawLine(inset, y + gap - (h % 2 == 0 ? 1 : 0), w - 1 - inset,
                     y + gap - (h % 2 == 0 ? 1 : 0));
    return image;
}

} // namespace tracewin
