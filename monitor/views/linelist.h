#pragma once

#include <QStringView>
#include <cstddef>

namespace tracewin {

// What a source text component reads of the lines it shows: how many there are and the
// text of each, by 0-based index. A text stays valid until the list changes.
class LineList {
public:
    virtual ~LineList() = default;
    virtual std::size_t size() const = 0;
    virtual QStringView text(std::size_t index) const = 0;
};

} // namespace tracewin
