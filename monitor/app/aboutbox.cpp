#include "app/aboutbox.h"

#include "tracewin/version.h"

#include <QMessageBox>
#include <QtGlobal>

namespace tracewin {

QString AboutBox::text(const Texts& texts) {
    return texts("L-AboutText")
        .arg(QString::fromLatin1(version.data(), static_cast<qsizetype>(version.size())),
             QString::fromLatin1(qVersion()));
}

QMessageBox* AboutBox::open(QWidget* parent, const Texts& texts) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, texts("L-AboutTitle"), text(texts),
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setTextFormat(Qt::RichText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (parent)
        box->setIconPixmap(parent->windowIcon().pixmap(64, 64));
    box->open();
    return box;
}

} // namespace tracewin
