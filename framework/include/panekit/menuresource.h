#pragma once

#include <QChar>
#include <QHash>
#include <QKeySequence>
#include <QString>

namespace panekit {

// A menu text from the resources: "&Step@CTRL+VK_S" is the label "Step", the mnemonic 'S'
// and the accelerator Ctrl+S.
struct MenuResource {
    QString label;
    QChar mnemonic;           // null when the text marks none
    QKeySequence accelerator; // empty when there is none or its key is unknown

    // The label as a Qt text, with "&" before the mnemonic (and other "&" doubled).
    QString qtText() const;
};

// Splits a resource text: the part after the first "@" is the accelerator, the "&" in the
// label marks the mnemonic and is removed.
MenuResource parseMenuText(const QString& text);
// "CTRL+SHIFT+VK_F5": modifiers CTRL, SHIFT, META, ALT and one key named "VK_" + a single
// character or a name of the key table; anything unknown gives an empty sequence.
QKeySequence parseAccelerator(const QString& text);
// Key names without the "VK_" prefix ("F5", "ENTER", "PAGE_UP", ...) to Qt key codes.
const QHash<QString, int>& menuKeyMap();
// label with "&" placed before the first occurrence of mnemonic.
QString withMnemonic(const QString& label, QChar mnemonic);

} // namespace panekit
