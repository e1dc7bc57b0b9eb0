#pragma once

#include <QFocusEvent>
#include <utility>

// Whether focus going out of an edit leaves it, for the edits that act on
// leaving. Another window or a context menu taking the focus is no leaving,
// nor is focus passing out of an edit it never came into (a control that
// refuses to be left can pass the focus through without it arriving).
class TFocusEntry {
public:
    // Focus came in; answers whether it is a new entry, not the focus
    // coming back after a refused leaving.
    bool Enter() { return !std::exchange(entered_, true); }
    // Focus went out; answers whether the edit is left.
    bool Leave(const QFocusEvent& event) {
        if (event.reason() == Qt::ActiveWindowFocusReason || event.reason() == Qt::PopupFocusReason)
            return false;
        return std::exchange(entered_, false);
    }
    // A leaving was refused: the focus coming back is no new entry.
    void Stay() { entered_ = true; }

private:
    bool entered_ = false;
};
