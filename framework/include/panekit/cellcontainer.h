#pragma once

#include <QMargins>
#include <QWidget>
#include <vector>

class QGridLayout;

namespace panekit {

// A panel laid out on a grid of cells. Weight, fill, anchor, insets and padding apply to
// the components added next (the defaults), or to one component already added.
class CellContainer : public QWidget {
    Q_OBJECT

public:
    enum class Fill { NONE, HORIZONTAL, VERTICAL, BOTH };

    explicit CellContainer(QWidget* parent = nullptr);

    // width and height in cells.
    void addToCell(QWidget* component, int column, int row, int width = 1, int height = 1);

    void setWeight(int x, int y);
    void setFill(Fill fill);
    void setAnchor(Qt::Alignment anchor);
    void setFillAndAnchor(Fill fill, Qt::Alignment anchor);
    void setInsets(int top, int left, int bottom, int right);
    void setPadding(int x, int y);

    void setWeight(QWidget* component, int x, int y);
    void setFill(QWidget* component, Fill fill);
    void setAnchor(QWidget* component, Qt::Alignment anchor);
    void setFillAndAnchor(QWidget* component, Fill fill, Qt::Alignment anchor);
    void setInsets(QWidget* component, int top, int left, int bottom, int right);
    void setPadding(QWidget* component, int x, int y);

private:
    struct Constraints {
        int weightX = 0;
        int weightY = 0;
        Fill fill = Fill::NONE;
        Qt::Alignment anchor = Qt::AlignCenter;
        QMargins insets;
        int padX = 0;
        int padY = 0;
    };
    struct Cell {
        QWidget* component;
        QWidget* holder;
        int column;
        int row;
        int width;
        int height;
        Constraints constraints;
    };

    Cell* find(QWidget* component);
    void apply(Cell& cell);
    void updateStretch();

    QGridLayout* grid_;
    Constraints defaults_;
    std::vector<Cell> cells_;
};

} // namespace panekit
