#pragma once

// What the settings editor's source files share: its sizes and the helpers
// its pages are built with. Not for use outside the editor dialog.

#include <QString>

class QLabel;
class QRect;
class QWidget;

namespace SetParams {

constexpr int kClientWidth = 1021;
constexpr int kClientHeight = 599;
constexpr int kPagesHeight = 561;
constexpr int kRowHeight = 40;

inline QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry);

} // namespace SetParams
