#pragma once

#include <QList>
#include <QSplitter>

namespace panekit {

// A splitter that shares its extent among its children by configured ratios (thousandths)
// and keeps those shares on every resize until the user drags a handle.
class RatioSplitter final : public QSplitter {
    Q_OBJECT

public:
    RatioSplitter(Qt::Orientation orientation, QWidget* parent);

    void setRatios(QList<int> ratios);
    const QList<int>& ratios() const { return ratios_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyRatios();
    void reshare();

    QList<int> ratios_;
    bool userMoved_ = false;
};

} // namespace panekit
