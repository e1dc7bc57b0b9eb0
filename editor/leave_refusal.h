#pragma once

#include "editor/focus_entry.h"

#include <QObject>
#include <QString>

class QWidget;

// An edit's refusal to be left with an entry it cannot take: the focus stays
// (its page is brought back if another was chosen), the mouse press that
// moved the focus away does not act, and the error box comes once that input
// is done.
class TLeaveRefusal : public QObject {
public:
    TLeaveRefusal(QWidget* edit, TFocusEntry& focus) : edit_(edit), focus_(focus) {}

    void Refuse(const QString& message);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowOwnPage();

    QWidget* edit_;
    TFocusEntry& focus_;
    // Between a refusal and its error box: mouse input to the rest of the
    // window is swallowed.
    bool justRefused_ = false;
};
