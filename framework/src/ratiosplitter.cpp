#include "ratiosplitter.h"

#include "panekit/toolpane.h"

#include <numeric>

namespace panekit {

RatioSplitter::RatioSplitter(Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent) {
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this] { userMoved_ = true; });
}

void RatioSplitter::setRatios(QList<int> ratios) {
    ratios_ = std::move(ratios);
    for (int i = 0; i < count(); ++i) {
        if (auto* pane = qobject_cast<ToolPane*>(widget(i)))
            connect(pane, &ToolPane::minimizedChanged, this, &RatioSplitter::reshare,
                    Qt::UniqueConnection);
    }
    applyRatios();
}

void RatioSplitter::reshare() {
    // A pane folded or unfolded by the user: share the area out again.
    userMoved_ = false;
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
    // Hidden and minimised children get nothing (a minimised pane keeps its title bar, its
    // minimum size); shares that add up to nothing split the area evenly.
    QList<int> shares;
    for (int i = 0; i < count(); ++i) {
        const auto* pane = qobject_cast<const ToolPane*>(widget(i));
        const bool folded = widget(i)->isHidden() || (pane && pane->isMinimized());
        shares << (folded ? 0 : qMax(0, ratios_[i]));
    }
    if (std::accumulate(shares.begin(), shares.end(), qint64(0)) == 0) {
        for (int i = 0; i < count(); ++i)
            shares[i] = widget(i)->isHidden() ? 0 : 1;
    }
    // 64 bits: ratios from a file may be as large as an int holds.
    const qint64 sum = std::accumulate(shares.begin(), shares.end(), qint64(0));
    int handles = 0;
    bool first = true;
    for (int i = 0; i < count(); ++i) {
        if (widget(i)->isHidden())
            continue;
        if (!first)
            handles += handleWidth();
        first = false;
    }
    const int extent = (orientation() == Qt::Horizontal ? width() : height()) - handles;
    if (extent <= 0 || sum <= 0)
        return;
    QList<int> sizes;
    qint64 upTo = 0;
    int given = 0;
    for (int share : shares) {
        // Rounded cumulatively, so the sizes add up to the extent exactly.
        upTo += share;
        const int end = static_cast<int>((extent * upTo + sum / 2) / sum);
        sizes << end - given;
        given = end;
    }
    const QSignalBlocker block(this);
    setSizes(sizes);
}

} // namespace panekit
