#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QRadioButton;

// A captioned group of radio items laid out in columns (filled column by
// column), with an item index (-1: none) and per-item enabling.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    // Items are named "<name>_<i>".
    TRadioGroup(const QString& name, const QString& caption, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int Count() const { return int(buttons_.size()); }
    QRadioButton* Button(int i) const { return buttons_.value(i); }
    int ItemIndex() const { return index_; }
    // Selects item i as a click would, clicked() included; an index without
    // an item clears the selection and emits nothing.
    void SetItemIndex(int i);
    void SetItemEnabled(int i, bool on);
    bool ItemEnabled(int i) const;
    // Whether the keyboard focus is on one of the items.
    bool HasFocusWithin() const;

signals:
    // An item was chosen, by the user or by SetItemIndex.
    void clicked();
    // Focus moved from an item to another control of the same window.
    void exited();

private:
    void ButtonClicked(int i);

    QList<QRadioButton*> buttons_;
    int index_ = -1;
};
