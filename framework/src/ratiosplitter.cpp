#include "ratiosplitter.h"

#include <numeric>

namespace panekit {

RatioSplitter::RatioSplitter(Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent) {
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this] { userMoved_ = true; });
}

void RatioSplitter::setRatios(QList<int> ratios) {
    ratios_ = std::move(ratios);
    applyRatios();
}

void RatioSplitter::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    if (!userMoved_)
        applyRatios();
}

void RatioSplitter::applyRatios() {
    if (ratios_.size() != count())
        return;
    const int total = std::accumulate(ratios_.begin(), ratios_.end(), 0);
    // Shares that add up to nothing split the area evenly.
    QList<int> shares = total > 0 ? ratios_ : QList<int>(ratios_.size(), 1);
    const int sum = std::accumulate(shares.begin(), shares.end(), 0);
    int handles = 0;
    for (int i = 1; i < count(); ++i)
        handles += widget(i)->isHidden() ? 0 : handleWidth();
    const int extent = (orientation() == Qt::Horizontal ? width() : height()) - handles;
    if (extent <= 0 || sum <= 0)
        return;
    QList<int> sizes;
    int given = 0;
    for (int i = 0; i < shares.size(); ++i) {
        // Rounded cumulatively, so the sizes add up to the extent exactly.
        const int upTo =
            static_cast<int>((static_cast<qint64>(extent) *
                                  std::accumulate(shares.begin(), shares.begin() + i + 1, 0) +
                              sum / 2) /
                             sum);
        sizes << upTo - given;
        given = upTo;
    }
    const QSignalBlocker block(this);
    setSizes(sizes);
}

} // namespace panekit
