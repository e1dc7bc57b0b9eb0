#include "editor/radio_group.h"

#include <QApplication>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& name, const QString& caption, const QStringList& items,
                         int columns, QWidget* parent)
    : QGroupBox(caption, parent) {
    setObjectName(name);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setSpacing(2);
    const int perColumn = (int(items.size()) + columns - 1) / std::max(columns, 1);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("%1_%2").arg(objectName()).arg(i));
        grid->addWidget(b, i % perColumn, i / perColumn);
        connect(b, &QRadioButton::clicked, this, [this, i] { ButtonClicked(i); });
        buttons_.append(b);
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now && old && now->window() == window() && isAncestorOf(old) && !isAncestorOf(now))
            emit exited();
    });
}

void TRadioGroup::ButtonClicked(int i) {
    if (!buttons_[i]->isChecked())
        return;
    index_ = i;
    emit clicked();
}

void TRadioGroup::SetItemIndex(int i) {
    if (i < 0 || i >= Count()) {
        index_ = -1;
        for (QRadioButton* b : buttons_) {
            // Auto-exclusive buttons refuse to uncheck the last checked one.
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
        return;
    }
    buttons_[i]->setChecked(true);
    index_ = i;
    emit clicked();
}

void TRadioGroup::SetItemEnabled(int i, bool on) {
    if (i >= 0 && i < Count())
        buttons_[i]->setEnabled(on);
}

bool TRadioGroup::ItemEnabled(int i) const {
    return i >= 0 && i < Count() && buttons_[i]->isEnabled();
}

bool TRadioGroup::HasFocusWithin() const {
    QWidget* f = QApplication::focusWidget();
    return f && isAncestorOf(f);
}
