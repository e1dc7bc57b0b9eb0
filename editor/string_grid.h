#pragma once

#include <QTableWidget>
#include <functional>

class QPainter;

// A grid of texts, selected a whole row at a time and never edited in place.
// A mouse press anywhere in a row selects it, the first column included; a
// press outside every cell changes nothing.
class TStringGrid : public QTableWidget {
    Q_OBJECT
public:
    TStringGrid(const QString& name, int rows, int columns, QWidget* parent = nullptr);

    void SetRowHeight(int pixels);
    QString Cell(int column, int row) const;
    void SetCell(int column, int row, const QString& text);
    // The selected row, -1 for none.
    int Row() const { return currentRow(); }
    // Selects a row as the user would; rowSelected() follows.
    void SetRow(int row);
    // Width and height that show every column and row without scrolling.
    QSize FullSize() const;

    // Paints a cell itself and answers true, or leaves it to the grid.
    std::function<bool(QPainter&, const QRect&, int column, int row)> OnDrawCell;

signals:
    // A row became the selected one, by mouse, keyboard or program.
    void rowSelected(int row);
    // Double click anywhere on the grid.
    void dblClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
