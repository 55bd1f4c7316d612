#include "panekit/cellcontainer.h"

#include <QGridLayout>
#include <QVBoxLayout>

namespace panekit {

CellContainer::CellContainer(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this)) {}

void CellContainer::addToCell(QWidget* component, int column, int row, int width, int height) {
    if (!component || find(component))
        return;
    // Each component sits in a holder whose margins give its insets and padding and whose
    // layout gives its fill and anchor inside the cell.
    auto* holder = new QWidget(this);
    auto* layout = new QVBoxLayout(holder);
    layout->addWidget(component);
    grid_->addWidget(holder, row, column, qMax(1, height), qMax(1, width));
    cells_.push_back(
        Cell{component, holder, column, row, qMax(1, width), qMax(1, height), defaults_});
    apply(cells_.back());
    updateStretch();
}

CellContainer::Cell* CellContainer::find(QWidget* component) {
    for (Cell& cell : cells_)
        if (cell.component == component)
            return &cell;
    return nullptr;
}

void CellContainer::apply(Cell& cell) {
    const Constraints& c = cell.constraints;
    auto* layout = static_cast<QVBoxLayout*>(cell.holder->layout());
    layout->setContentsMargins(c.insets.left() + c.padX, c.insets.top() + c.padY,
                               c.insets.right() + c.padX, c.insets.bottom() + c.padY);
    Qt::Alignment alignment = c.anchor;
    if (c.fill == Fill::HORIZONTAL || c.fill == Fill::BOTH)
        alignment &= ~Qt::AlignHorizontal_Mask;
    if (c.fill == Fill::VERTICAL || c.fill == Fill::BOTH)
        alignment &= ~Qt::AlignVertical_Mask;
    layout->setAlignment(cell.component, alignment);
    QSizePolicy policy = cell.component->sizePolicy();
    if (c.fill == Fill::HORIZONTAL || c.fill == Fill::BOTH)
        policy.setHorizontalPolicy(QSizePolicy::Expanding);
    if (c.fill == Fill::VERTICAL || c.fill == Fill::BOTH)
        policy.setVerticalPolicy(QSizePolicy::Expanding);
    cell.component->setSizePolicy(policy);
}

void CellContainer::updateStretch() {
    for (int c = 0; c < grid_->columnCount(); ++c)
        grid_->setColumnStretch(c, 0);
    for (int r = 0; r < grid_->rowCount(); ++r)
        grid_->setRowStretch(r, 0);
    for (const Cell& cell : cells_) {
        grid_->setColumnStretch(cell.column,
                                qMax(grid_->columnStretch(cell.column), cell.constraints.weightX));
        grid_->setRowStretch(cell.row, qMax(grid_->rowStretch(cell.row), cell.constraints.weightY));
    }
}

void CellContainer::setWeight(int x, int y) {
    defaults_.weightX = x;
    defaults_.weightY = y;
}
void CellContainer::setFill(Fill fill) {
    defaults_.fill = fill;
}
void CellContainer::setAnchor(Qt::Alignment anchor) {
    defaults_.anchor = anchor;
}
void CellContainer::setFillAndAnchor(Fill fill, Qt::Alignment anchor) {
    defaults_.fill = fill;
    defaults_.anchor = anchor;
}
void CellContainer::setInsets(int top, int left, int bottom, int right) {
    defaults_.insets = QMargins(left, top, right, bottom);
}
void CellContainer::setPadding(int x, int y) {
    defaults_.padX = x;
    defaults_.padY = y;
}

void CellContainer::setWeight(QWidget* component, int x, int y) {
    if (Cell* cell = find(component)) {
        cell->constraints.weightX = x;
        cell->constraints.weightY = y;
        updateStretch();
    }
}
void CellContainer::setFill(QWidget* component, Fill fill) {
    if (Cell* cell = find(component)) {
        cell->constraints.fill = fill;
        apply(*cell);
    }
}
void CellContainer::setAnchor(QWidget* component, Qt::Alignment anchor) {
    if (Cell* cell = find(component)) {
        cell->constraints.anchor = anchor;
        apply(*cell);
    }
}
void CellContainer::setFillAndAnchor(QWidget* component, Fill fill, Qt::Alignment anchor) {
    if (Cell* cell = find(component)) {
        cell->constraints.fill = fill;
        cell->constraints.anchor = anchor;
        apply(*cell);
    }
}
void CellContainer::setInsets(QWidget* component, int top, int left, int bottom, int right) {
    if (Cell* cell = find(component)) {
        cell->constraints.insets = QMargins(left, top, right, bottom);
        apply(*cell);
    }
}
void CellContainer::setPadding(QWidget* component, int x, int y) {
    if (Cell* cell = find(component)) {
        cell->constraints.padX = x;
        cell->constraints.padY = y;
        apply(*cell);
    }
}

} // namespace panekit
