#pragma once

#include "editor/leave_refusal.h"

#include <QLineEdit>
#include <QList>

// An edit mask as the settings editor writes it: "<mask>;<keep literals>;<blank>",
// e.g. "!90:00;1;_". Mask characters: 0 digit, 9 optional digit, # optional
// digit or sign, L/l letter, A/a letter or digit, C/c any character (upper
// case required, lower case optional), > < <> case conversion, \ literal next,
// ! optional positions kept where they stand, _ a literal blank; anything
// else is a literal. Qt's input masks use other letters for the same things
// (its 9 is a required digit and its 0 an optional one), so the mask is
// translated, never handed over as it is.
struct TEditMask {
    enum Position { Literal, Required, Optional };
    QString qtMask; // for QLineEdit::setInputMask, blank included; empty for none
    QChar blank = QLatin1Char('_');
    bool keepLiterals = true;
    QList<Position> positions;

    static TEditMask Parse(const QString& mask);
};

// A masked edit: typing is held to the mask; leaving a changed entry that
// leaves a required position blank is refused with an error box, the focus
// stays (its page is brought back if another was chosen) and nothing is stored; Escape then brings
// back the text it had when entered.
class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(QWidget* parent = nullptr);

    void SetEditMask(const QString& mask);
    const QString& EditMask() const { return editMask_; }
    // The text as stored: a blank position reads as a space, literals are
    // there when the mask keeps them. The empty text of "!90:00;1;_" is "  :  ".
    QString Text() const;
    // Shows text; spaces stand for blank positions. Counts as no change.
    void SetText(const QString& text);
    // Every required position holds a character.
    bool IsComplete() const;

    // Whether the user has entered the edit (see TFocusEntry): only then
    // does leaving it act.
    bool Entered() const { return focus_.IsEntered(); }
    // What leaving the edit does: refuses a changed, incomplete entry (the
    // error box, focus back here), else exited(). Answers whether it was left.
    bool Leave();

    static const char* const kInvalidInput;

signals:
    // Focus left for another control and the entry was accepted.
    void exited();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int FirstBlankRequired() const;

    QString editMask_;
    TEditMask mask_;
    QString entryText_; // display text when the focus came in
    TFocusEntry focus_;
    TLeaveRefusal refusal_{this, focus_};
};
