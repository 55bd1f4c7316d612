#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace tracewin {

// The About box of the Help menu: what the program is, and the version that runs.
class AboutBox {
public:
    using Texts = std::function<QString(const char* key)>;

    // "tracewin 1.2.3" and the rest of the box's text, from the monitor's bundle.
    static QString text(const Texts& texts);
    // Opens the box over parent without waiting for it to be closed; it deletes itself
    // when closed.
    static QMessageBox* open(QWidget* parent, const Texts& texts);
};

} // namespace tracewin
