#pragma once

#include "editor/leave_refusal.h"

#include <QAbstractSpinBox>
#include <optional>

// A spin edit that lets the user type freely and limits the value only when
// focus leaves it, as the settings editor needs: a loaded value outside the
// range shows as the nearest limit while the field behind it keeps its own
// value until the user passes through the edit.
//
// Integer (Decimals 0) or real with a fixed number of decimals, shown with the
// locale's decimal separator ("." and "," are taken too when typing). Minimum
// and maximum both 0 means no limits. Every keystroke stays as typed: a text
// that is no number (a point in an integer, a second point) is refused when
// leaving, never changed into another number.
class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int Decimals() const { return decimals_; }
    void SetDecimals(int decimals);
    double MinValue() const { return min_; }
    double MaxValue() const { return max_; }
    // A new limit applies to the shown value at once.
    void SetMinValue(double v);
    void SetMaxValue(double v);
    void SetLimits(double min, double max);
    double Increment() const { return increment_; }
    void SetIncrement(double v) { increment_ = v; }
    // When disabled, only the spin buttons and arrow keys change the value.
    bool TypingEnabled() const { return typing_; }
    void SetTypingEnabled(bool on);

    bool HasLimits() const { return !(min_ == 0 && max_ == 0); }
    // v brought into [min, max]; below min gives min, else above max gives max.
    double Limit(double v) const;

    // Shows v, rounded to the decimals and limited; stores nothing.
    void SetValue(double v);
    // The number the text holds now, rounded to the decimals but not limited
    // (the last shown value while the text is not a number).
    double Value() const;

    // Whether the text is no number and more than the start of one.
    bool Unreadable() const;

    // Whether the user has entered the edit (see TFocusEntry): only then
    // does leaving it act.
    bool Entered() const { return focus_.IsEntered(); }
    // What leaving the edit does: refuses an unreadable text (the error box,
    // focus back here; Escape then brings back the text it had when entered),
    // else limits and shows the value, then exited(). Called by focus leaving
    // for another control of the window. Answers whether it was left.
    bool Leave();

    void stepBy(int steps) override;

signals:
    // Focus left for another control; the value is limited already.
    void exited();
    // The text changed, by typing, spinning or the program, to another
    // number or to empty; an unreadable text tells nothing.
    void changed();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    StepEnabled stepEnabled() const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<double> Parse(const QString& text) const;
    double Rounded(double v) const;
    void Show(double v);

    int decimals_ = 0;
    double min_ = 0;
    double max_ = 0;
    double increment_ = 1;
    bool typing_ = true;
    double shown_ = 0;
    QString told_; // the text changed() told of last
    QString entryText_;
    TFocusEntry focus_;
    TLeaveRefusal refusal_{this, focus_};
};
