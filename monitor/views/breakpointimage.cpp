#include "views/breakpointimage.h"

#include "tracehook/jspdebugdynamicpathfactory.h"

#include <QDir>
#include <QPainter>

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

} // namespace tracewin
