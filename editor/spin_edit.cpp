#include "editor/spin_edit.h"

#include "model/field_text.h"
#include "support/numeric.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <cmath>

namespace {

QString DecimalPoint() {
    return QLocale().decimalPoint();
}

bool IsPoint(QChar c) {
    return c == QLatin1Char('.') || QString(c) == DecimalPoint();
}

struct Parts {
    bool negative = false;
    QString whole;
    QString fraction;
    bool point = false;
    bool valid = false; // only digits, sign and at most one point
};

Parts Split(const QString& text) {
    Parts p;
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        p.negative = t[i] == QLatin1Char('-');
        ++i;
    }
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c.isDigit() && c.unicode() < 128) {
            (p.point ? p.fraction : p.whole) += c;
        } else if (IsPoint(c) && !p.point) {
            p.point = true;
        } else {
            return p;
        }
    }
    p.valid = true;
    return p;
}

} // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setText(QStringLiteral("0"));
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { emit changed(); });
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
    const Parts p = Split(text);
    if (!p.valid || (p.whole.isEmpty() && p.fraction.isEmpty()))
        return std::nullopt;
    // Rounded on the decimal digits as typed, so "0.35" is a true half.
    QString digits = p.whole + p.fraction.left(decimals_);
    digits +=
        QString(decimals_ - std::min<qsizetype>(p.fraction.size(), decimals_), QLatin1Char('0'));
    double units = digits.isEmpty() ? 0 : digits.toDouble();
    const QString rest = p.fraction.mid(decimals_);
    if (!rest.isEmpty()) {
        bool tail = false;
        for (qsizetype i = 1; i < rest.size(); ++i)
            tail = tail || rest[i] != QLatin1Char('0');
        if (rest[0] > QLatin1Char('5') || (rest[0] == QLatin1Char('5') && tail) ||
            (rest[0] == QLatin1Char('5') && std::fmod(units, 2.0) != 0))
            units += 1;
    }
    const double v = units / std::pow(10.0, decimals_);
    if (!std::isfinite(v))
        return std::nullopt;
    return p.negative ? -v : v;
}

void TSpinEdit::Leave() {
    Show(Limit(Value()));
    emit exited();
}

void TSpinEdit::stepBy(int steps) {
    Show(Limit(Rounded(Value() + steps * increment_)));
    if (typing_)
        selectAll();
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    const Parts p = Split(input);
    if (!p.valid || (p.point && decimals_ == 0))
        return QValidator::Invalid;
    if (p.whole.isEmpty() && p.fraction.isEmpty())
        return QValidator::Intermediate;
    return QValidator::Acceptable;
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
    focus_.Enter();
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractSpinBox::focusOutEvent(event);
    if (focus_.Leave(*event))
        Leave();
}
