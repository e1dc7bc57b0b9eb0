#include "editor/spin_edit.h"

#include "model/field_text.h"
#include "support/numeric.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <cmath>
#include <utility>

namespace {

QString DecimalPoint() {
    return QLocale().decimalPoint();
}

} // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText(QStringLiteral("0"));
    told_ = text();
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
        if (!Unreadable() && std::exchange(told_, text()) != text())
            emit changed();
    });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { focus_.Touch(); });
    lineEdit()->installEventFilter(this);
}

void TSpinEdit::SetDecimals(int decimals) {
    decimals_ = decimals;
    Show(Rounded(shown_));
}

void TSpinEdit::SetMinValue(double v) {
    SetLimits(v, max_);
}
void TSpinEdit::SetMaxValue(double v) {
    SetLimits(min_, v);
}

void TSpinEdit::SetLimits(double min, double max) {
    min_ = min;
    max_ = max;
    const double now = Value();
    if (Limit(now) != now)
        Show(Limit(now));
}

void TSpinEdit::SetTypingEnabled(bool on) {
    typing_ = on;
    lineEdit()->setReadOnly(!on);
}

double TSpinEdit::Limit(double v) const {
    if (!HasLimits())
        return v;
    if (v < min_)
        return min_;
    if (v > max_)
        return max_;
    return v;
}

double TSpinEdit::Rounded(double v) const {
    const double scale = std::pow(10.0, decimals_);
    const double r = RoundHalfEven(v * scale) / scale;
    return std::isfinite(r) ? r : v;
}

void TSpinEdit::SetValue(double v) {
    Show(Limit(Rounded(v)));
}

double TSpinEdit::Value() const {
    return Parse(text()).value_or(shown_);
}

void TSpinEdit::Show(double v) {
    shown_ = v;
    const QString t = FixedText(v, decimals_, DecimalPoint());
    if (lineEdit()->text() != t)
        lineEdit()->setText(t);
}

std::optional<double> TSpinEdit::Parse(const QString& text) const {
    return ParseFixed(text, decimals_, DecimalPoint());
}

bool TSpinEdit::Unreadable() const {
    return !Parse(text()) &&
           FixedTextShape(text(), decimals_, DecimalPoint()) != FixedTextState::Empty;
}

bool TSpinEdit::Leave() {
    if (Unreadable()) {
        refusal_.Refuse(QStringLiteral("'%1' is not a valid %2 value")
                            .arg(text(), decimals_ ? QStringLiteral("floating point")
                                                   : QStringLiteral("integer")));
        return false;
    }
    // An empty text stands for the last value shown.
    Show(Limit(Value()));
    emit exited();
    return true;
}

void TSpinEdit::stepBy(int steps) {
    focus_.Touch();
    Show(Limit(Rounded(Value() + steps * increment_)));
    if (typing_)
        selectAll();
}

// Nothing typed is dropped: dropping the "," of "5,4" would leave 54.
QValidator::State TSpinEdit::validate(QString& input, int&) const {
    return Parse(input) ? QValidator::Acceptable : QValidator::Intermediate;
}

void TSpinEdit::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
    if (!isEnabled())
        return StepNone;
    if (!HasLimits())
        return StepUpEnabled | StepDownEnabled;
    const double v = Value();
    StepEnabled e = StepNone;
    if (v < max_)
        e |= StepUpEnabled;
    if (v > min_)
        e |= StepDownEnabled;
    return e;
}

void TSpinEdit::focusInEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusInEvent(event);
    if (focus_.Enter(*event))
        entryText_ = text();
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    if (focus_.Leave(*event))
        Leave();
}

// A click into the edit enters it, also when a page change had put the
// focus there already: on the spin buttons here, on the text in its edit.
void TSpinEdit::mousePressEvent(QMouseEvent* event) {
    focus_.Touch();
    QAbstractSpinBox::mousePressEvent(event);
}

bool TSpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonPress)
        focus_.Touch();
    return QAbstractSpinBox::eventFilter(watched, event);
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && Unreadable()) {
        lineEdit()->setText(entryText_);
        selectAll();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}
