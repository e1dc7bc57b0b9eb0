#include "editor/leave_refusal.h"

#include "support/errors.h"
#include "ui/application.h"

#include <QApplication>
#include <QEvent>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

void TLeaveRefusal::Refuse(const QString& message) {
    focus_.Stay();
    if (!edit_->hasFocus())
        edit_->setFocus(Qt::OtherFocusReason);
    if (justRefused_)
        return;
    // The mouse press that moved the focus away is still on its way to its
    // control; it must not act. The box comes once that input is done.
    justRefused_ = true;
    qApp->installEventFilter(this);
    QTimer::singleShot(0, this, [this, message] {
        justRefused_ = false;
        qApp->removeEventFilter(this);
        // A page change that took the focus away is over by now.
        if (!edit_->isVisible()) {
            ShowOwnPage();
            edit_->setFocus(Qt::OtherFocusReason);
        }
        RunGuarded([&] { throw TripError(message); });
    });
}

// The focus comes back only to a control the user can see: when another
// page was chosen, the edit's own page returns.
void TLeaveRefusal::ShowOwnPage() {
    for (QWidget* w = edit_; w && w != edit_->window(); w = w->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
        if (!stack || stack->currentWidget() == w)
            continue;
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
            tabs->setCurrentWidget(w);
        else
            stack->setCurrentWidget(w);
    }
}

bool TLeaveRefusal::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* w = qobject_cast<QWidget*>(watched);
        return justRefused_ && w && w != edit_ && w->window() == edit_->window();
    }
    default:
        return false;
    }
}
