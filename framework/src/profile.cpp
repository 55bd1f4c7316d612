#include "panekit/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace panekit {
namespace {

QString escape(const QString& text, bool isKey) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'=':
        case u':':
        case u'#':
        case u'!':
            if (isKey || (i == 0 && (c == u'#' || c == u'!')))
                out += u'\\';
            out += c;
            break;
        case u' ':
            if (isKey || i == 0)
                out += u'\\';
            out += c;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QChar unescaped(QChar c) {
    switch (c.unicode()) {
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    default:
        return c;
    }
}

} // namespace

Profile Profile::parse(const QString& text) {
    Profile profile;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        qsizetype i = 0;
        while (i < line.size() && (line.at(i) == u' ' || line.at(i) == u'\t'))
            ++i;
        if (i == line.size() || line.at(i) == u'#' || line.at(i) == u'!')
            continue;
        // Blanks around the separator are dropped; escaped blanks are kept.
        QString key;
        qsizetype keptKey = 0;
        for (; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (c == u'\\' && i + 1 < line.size()) {
                key += unescaped(line.at(++i));
                keptKey = key.size();
            } else if (c == u'=' || c == u':') {
                break;
            } else {
                key += c;
                if (c != u' ' && c != u'\t')
                    keptKey = key.size();
            }
        }
        key.truncate(keptKey);
        ++i;
        while (i < line.size() && (line.at(i) == u' ' || line.at(i) == u'\t'))
            ++i;
        QString value;
        for (; i < line.size(); ++i) {
            const QChar c = line.at(i);
            value += c == u'\\' && i + 1 < line.size() ? unescaped(line.at(++i)) : c;
        }
        profile.set(key, value);
    }
    return profile;
}

QString Profile::toText(const QString& header) const {
    QString text;
    if (!header.isEmpty())
        text += QStringLiteral("# ") + header + u'\n';
    for (const auto& [key, value] : entries_)
        text += escape(key, true) + u'=' + escape(value, false) + u'\n';
    return text;
}

bool Profile::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *this = parse(QString::fromUtf8(file.readAll()));
    return true;
}

bool Profile::save(const QString& path, const QString& header) const {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(toText(header).toUtf8());
    return file.commit();
}

std::optional<QString> Profile::get(const QString& key) const {
    for (const auto& [k, v] : entries_)
        if (k == key)
            return v;
    return std::nullopt;
}

QString Profile::value(const QString& key, const QString& fallback) const {
    return get(key).value_or(fallback);
}

void Profile::set(const QString& key, const QString& value) {
    for (auto& entry : entries_) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    entries_.emplace_back(key, value);
}

bool Profile::remove(const QString& key) {
    const auto before = entries_.size();
    std::erase_if(entries_, [&](const auto& e) { return e.first == key; });
    return entries_.size() != before;
}

QStringList Profile::keys() const {
    QStringList keys;
    for (const auto& entry : entries_)
        keys << entry.first;
    return keys;
}

} // namespace panekit
