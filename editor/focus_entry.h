#pragma once

#include <QFocusEvent>

// Whether focus going out of an edit leaves it, for the edits that act on
// leaving. An edit is entered only when the user puts the focus there (a
// click, Tab, a mnemonic) or acts on it while it has the focus; focus that a
// page change or the window's opening put there goes out without acting, so
// a loaded value the edit cannot show keeps its field. Another window or a
// context menu taking the focus is no leaving, nor is focus passing out of an
// edit it never came into (a control that refuses to be left can pass the
// focus through without it arriving).
class TFocusEntry {
public:
    // Focus came in; answers whether it arrived anew, not coming back from
    // another window or after a refused leaving.
    bool Enter(const QFocusEvent& event) {
        if (state_ != Away)
            return false;
        state_ = ByUser(event.reason()) ? Entered : Focused;
        return true;
    }
    // The user typed, spun or clicked in the edit: where the focus was put
    // by the program, the edit is entered now.
    void Touch() {
        if (state_ == Focused)
            state_ = Entered;
    }
    // Focus went out; answers whether the edit is left.
    bool Leave(const QFocusEvent& event) {
        if (event.reason() == Qt::ActiveWindowFocusReason || event.reason() == Qt::PopupFocusReason)
            return false;
        const bool entered = state_ == Entered;
        state_ = Away;
        return entered;
    }
    bool IsEntered() const { return state_ == Entered; }
    // A leaving was refused: the focus coming back is no new arrival.
    void Stay() { state_ = Entered; }

private:
    static bool ByUser(Qt::FocusReason reason) {
        return reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
               reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    }

    enum State { Away, Focused, Entered };
    State state_ = Away;
};
