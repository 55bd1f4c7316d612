#pragma once

#include "text/charsview.h"

#include <QLatin1StringView>
#include <QString>
#include <QStringView>
#include <cstddef>

namespace tracewin {

// What a source text component reads of the lines it shows: how many there are and the
// text of each, by 0-based index, as it is stored. A text stays valid until the list
// changes.
class LineList {
public:
    virtual ~LineList() = default;
    virtual std::size_t size() const = 0;
    virtual CharsView text(std::size_t index) const = 0;
};

// The toolkit's strings seen as the characters a line list gives, and back; a view is
// valid as long as the string it views.
inline CharsView charsOf(QStringView text) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                               static_cast<std::size_t>(text.size()));
}

inline CharsView charsOf(QLatin1StringView text) {
    return CharsView::latin1({text.data(), static_cast<std::size_t>(text.size())});
}

inline QString toQString(CharsView text) {
    if (text.isWide())
        return QStringView(text.wide().data(), static_cast<qsizetype>(text.size())).toString();
    return QString::fromLatin1(text.narrow().data(), static_cast<qsizetype>(text.size()));
}

} // namespace tracewin
