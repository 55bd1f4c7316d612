#include "panekit/menuresource.h"

#include <QStringList>

namespace panekit {

const QHash<QString, int>& menuKeyMap() {
    static const QHash<QString, int> map = [] {
        QHash<QString, int> m{
            {"ENTER", Qt::Key_Return},
            {"ESCAPE", Qt::Key_Escape},
            {"SPACE", Qt::Key_Space},
            {"TAB", Qt::Key_Tab},
            {"BACK_SPACE", Qt::Key_Backspace},
            {"DELETE", Qt::Key_Delete},
            {"INSERT", Qt::Key_Insert},
            {"HOME", Qt::Key_Home},
            {"END", Qt::Key_End},
            {"PAGE_UP", Qt::Key_PageUp},
            {"PAGE_DOWN", Qt::Key_PageDown},
            {"UP", Qt::Key_Up},
            {"DOWN", Qt::Key_Down},
            {"LEFT", Qt::Key_Left},
            {"RIGHT", Qt::Key_Right},
            {"PAUSE", Qt::Key_Pause},
            {"PRINTSCREEN", Qt::Key_Print},
            {"HELP", Qt::Key_Help},
            {"CANCEL", Qt::Key_Cancel},
            {"CLEAR", Qt::Key_Clear},
            {"PLUS", Qt::Key_Plus},
            {"MINUS", Qt::Key_Minus},
            {"COMMA", Qt::Key_Comma},
            {"PERIOD", Qt::Key_Period},
            {"SLASH", Qt::Key_Slash},
            {"BACK_SLASH", Qt::Key_Backslash},
            {"SEMICOLON", Qt::Key_Semicolon},
            {"EQUALS", Qt::Key_Equal},
            {"OPEN_BRACKET", Qt::Key_BracketLeft},
            {"CLOSE_BRACKET", Qt::Key_BracketRight},
            {"QUOTE", Qt::Key_Apostrophe},
            {"BACK_QUOTE", Qt::Key_QuoteLeft},
            {"MULTIPLY", Qt::Key_Asterisk},
            {"ADD", Qt::Key_Plus},
            {"SUBTRACT", Qt::Key_Minus},
            {"DIVIDE", Qt::Key_Slash},
            {"DECIMAL", Qt::Key_Period},
            {"CAPS_LOCK", Qt::Key_CapsLock},
            {"NUM_LOCK", Qt::Key_NumLock},
            {"SCROLL_LOCK", Qt::Key_ScrollLock},
        };
        for (int i = 1; i <= 24; ++i)
            m.insert(QStringLiteral("F%1").arg(i), Qt::Key_F1 + i - 1);
        for (int i = 0; i <= 9; ++i)
            m.insert(QStringLiteral("NUMPAD%1").arg(i), Qt::Key_0 + i);
        return m;
    }();
    return map;
}

QKeySequence parseAccelerator(const QString& text) {
    int modifiers = 0;
    int key = 0;
    for (const QString& raw : text.split(u'+')) {
        const QString token = raw.trimmed().toUpper();
        if (token == "CTRL")
            modifiers |= Qt::ControlModifier;
        else if (token == "SHIFT")
            modifiers |= Qt::ShiftModifier;
        else if (token == "META")
            modifiers |= Qt::MetaModifier;
        else if (token == "ALT")
            modifiers |= Qt::AltModifier;
        else if (token.startsWith(QLatin1String("VK_")) && key == 0) {
            const QString name = token.mid(3);
            if (name.size() == 1 && name[0].isLetterOrNumber() && name[0].unicode() < 128)
                key = name[0].unicode(); // Qt::Key_A.. and Key_0.. are the characters
            else
                key = menuKeyMap().value(name, 0);
            if (key == 0)
                return {};
        } else {
            return {}; // an unknown token: no accelerator rather than a wrong one
        }
    }
    if (key == 0)
        return {};
    return QKeySequence(QKeyCombination::fromCombined(modifiers | key));
}

MenuResource parseMenuText(const QString& text) {
    MenuResource r;
    const qsizetype at = text.indexOf(u'@');
    QString label = at < 0 ? text : text.left(at);
    if (at >= 0)
        r.accelerator = parseAccelerator(text.mid(at + 1));
    const qsizetype amp = label.indexOf(u'&');
    if (amp >= 0) {
        if (amp + 1 < label.size())
            r.mnemonic = label[amp + 1];
        label.remove(amp, 1);
    }
    r.label = label;
    return r;
}

QString withMnemonic(const QString& label, QChar mnemonic) {
    QString escaped = label;
    escaped.replace(u'&', QStringLiteral("&&"));
    if (mnemonic.isNull())
        return escaped;
    const qsizetype at = escaped.indexOf(mnemonic, 0, Qt::CaseInsensitive);
    if (at >= 0 && mnemonic != u'&')
        escaped.insert(at, u'&');
    return escaped;
}

QString MenuResource::qtText() const {
    return withMnemonic(label, mnemonic);
}

} // namespace panekit
