#include "editor/string_grid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

class TCellDelegate : public QStyledItemDelegate {
public:
    explicit TCellDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (grid_->OnDrawCell) {
            painter->save();
            const bool done = grid_->OnDrawCell(*painter, option.rect, index.column(), index.row());
            painter->restore();
            if (done)
                return;
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    TStringGrid* grid_;
};

} // namespace

TStringGrid::TStringGrid(const QString& name, int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent) {
    setObjectName(name);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setItemDelegate(new TCellDelegate(this));
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int, int oldRow, int) {
        if (row >= 0 && row != oldRow)
            emit rowSelected(row);
    });
}

void TStringGrid::SetRowHeight(int pixels) {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(pixels);
    for (int r = 0; r < rowCount(); ++r)
        setRowHeight(r, pixels);
}

QString TStringGrid::Cell(int column, int row) const {
    const QTableWidgetItem* i = item(row, column);
    return i ? i->text() : QString();
}

void TStringGrid::SetCell(int column, int row, const QString& text) {
    if (QTableWidgetItem* i = item(row, column)) {
        i->setText(text);
        return;
    }
    auto* i = new QTableWidgetItem(text);
    i->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, i);
}

void TStringGrid::SetRow(int row) {
    setCurrentCell(row, currentColumn() >= 0 ? currentColumn() : 0);
}

QSize TStringGrid::FullSize() const {
    int w = 2 * frameWidth(), h = 2 * frameWidth();
    for (int c = 0; c < columnCount(); ++c)
        w += columnWidth(c);
    for (int r = 0; r < rowCount(); ++r)
        h += rowHeight(r);
    return {w, h};
}

void TStringGrid::mousePressEvent(QMouseEvent* event) {
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    emit dblClicked();
}
