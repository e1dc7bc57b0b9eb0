#include "editor/mask_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace {

// Characters with a meaning in Qt's masks; as literals they need a "\".
bool QtMaskMeta(QChar c) {
    return QStringLiteral("AaNnXx90DdHhBb#><!{}[];\\").contains(c);
}

// The mask's fields split at ";", "\;" being no split.
QStringList Fields(const QString& mask) {
    QStringList fields{QString()};
    for (qsizetype i = 0; i < mask.size(); ++i) {
        if (mask[i] == QLatin1Char('\\') && i + 1 < mask.size()) {
            fields.last() += mask.mid(i, 2);
            ++i;
        } else if (mask[i] == QLatin1Char(';')) {
            fields.append(QString());
        } else {
            fields.last() += mask[i];
        }
    }
    return fields;
}

// An input character of ours, the Qt mask character for it and whether it
// must be filled.
struct MaskInput {
    char ours;
    char qt;
    TEditMask::Position position;
};

constexpr MaskInput kMaskInputs[] = {
    {'0', '9', TEditMask::Required}, {'9', '0', TEditMask::Optional},
    {'#', '#', TEditMask::Optional}, {'L', 'A', TEditMask::Required},
    {'l', 'a', TEditMask::Optional}, {'A', 'N', TEditMask::Required},
    {'a', 'n', TEditMask::Optional}, {'C', 'X', TEditMask::Required},
    {'c', 'x', TEditMask::Optional},
};

const MaskInput* FindInput(QChar c) {
    for (const MaskInput& in : kMaskInputs)
        if (c == QLatin1Char(in.ours))
            return &in;
    return nullptr;
}

} // namespace

const char* const TMaskEdit::kInvalidInput =
    "Invalid input value.  Use escape key to abandon changes";

TEditMask TEditMask::Parse(const QString& text) {
    TEditMask m;
    const QStringList fields = Fields(text);
    const QString& mask = fields[0];
    if (fields.size() > 1 && !fields[1].isEmpty())
        m.keepLiterals = fields[1] != QLatin1String("0");
    if (fields.size() > 2 && !fields[2].isEmpty())
        m.blank = fields[2][0];
    if (mask.isEmpty())
        return m;

    QString qt;
    auto literal = [&](QChar c) {
        if (QtMaskMeta(c))
            qt += QLatin1Char('\\');
        qt += c;
        m.positions.append(Literal);
    };
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        const MaskInput* in = FindInput(c);
        if (in) {
            qt += QLatin1Char(in->qt);
            m.positions.append(in->position);
            continue;
        }
        switch (c.unicode()) {
        case '!': // Qt keeps every character where it was typed
            break;
        case '>':
            qt += QLatin1Char('>');
            break;
        case '<':
            if (i + 1 < mask.size() && mask[i + 1] == QLatin1Char('>')) {
                qt += QLatin1Char('!');
                ++i;
            } else {
                qt += QLatin1Char('<');
            }
            break;
        case '\\':
            if (i + 1 < mask.size())
                literal(mask[++i]);
            break;
        case '_':
            literal(QLatin1Char(' '));
            break;
        default:
            literal(c);
        }
    }
    m.qtMask = qt + QLatin1Char(';') + m.blank;
    return m;
}

TMaskEdit::TMaskEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, [this] { focus_.Touch(); });
}

void TMaskEdit::SetEditMask(const QString& mask) {
    editMask_ = mask;
    mask_ = TEditMask::Parse(mask);
    setInputMask(mask_.qtMask);
}

QString TMaskEdit::Text() const {
    if (mask_.positions.isEmpty())
        return text();
    const QString shown = displayText();
    QString t;
    for (qsizetype i = 0; i < shown.size() && i < mask_.positions.size(); ++i) {
        if (mask_.positions[i] == TEditMask::Literal) {
            if (mask_.keepLiterals)
                t += shown[i];
        } else {
            t += shown[i] == mask_.blank ? QLatin1Char(' ') : shown[i];
        }
    }
    return t;
}

void TMaskEdit::SetText(const QString& text) {
    QString t = text;
    if (mask_.keepLiterals)
        for (qsizetype i = 0; i < t.size() && i < mask_.positions.size(); ++i)
            if (mask_.positions[i] != TEditMask::Literal && t[i] == QLatin1Char(' '))
                t[i] = mask_.blank;
    setText(t);
}

bool TMaskEdit::IsComplete() const {
    return mask_.positions.isEmpty() || hasAcceptableInput();
}

int TMaskEdit::FirstBlankRequired() const {
    const QString shown = displayText();
    for (qsizetype i = 0; i < shown.size() && i < mask_.positions.size(); ++i)
        if (mask_.positions[i] == TEditMask::Required && shown[i] == mask_.blank)
            return int(i);
    return -1;
}

bool TMaskEdit::Leave() {
    if (isModified() && !IsComplete()) {
        refusal_.Refuse(QString::fromLatin1(kInvalidInput));
        const int blank = FirstBlankRequired();
        if (blank >= 0)
            setCursorPosition(blank);
        return false;
    }
    emit exited();
    return true;
}

void TMaskEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (focus_.Enter(*event))
        entryText_ = displayText();
}

void TMaskEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (focus_.Leave(*event))
        Leave();
}

// A click into the edit enters it, also when a page change had put the
// focus there already.
void TMaskEdit::mousePressEvent(QMouseEvent* event) {
    focus_.Touch();
    QLineEdit::mousePressEvent(event);
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && isModified()) {
        setText(entryText_);
        event->accept();
        return;
    }
    // A blank typed into an optional position empties it, as "!" allows.
    const int pos = cursorPosition();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        !hasSelectedText() && pos < mask_.positions.size() &&
        mask_.positions[pos] == TEditMask::Optional) {
        setSelection(pos, 1);
        del();
        setCursorPosition(pos + 1);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
