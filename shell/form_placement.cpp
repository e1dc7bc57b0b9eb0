#include "shell/form_placement.h"

#include "support/ini_file.h"

#include <QWidget>

namespace {

int StateCode(const QWidget* form) {
    if (form->windowState() & Qt::WindowMaximized)
        return 2;
    if (form->windowState() & Qt::WindowMinimized)
        return 1;
    return 0;
}

bool Resizable(const QWidget* form) {
    return form->minimumSize() != form->maximumSize();
}

} // namespace

void LoadFormPlacement(const TIniFile& ini, const QString& section, QWidget* form) {
    const int state = ini.ReadInteger(section, QStringLiteral("State"), StateCode(form));
    form->setWindowState(state == 2   ? Qt::WindowMaximized
                         : state == 1 ? Qt::WindowMinimized
                                      : Qt::WindowNoState);
    if (state == 2)
        return;
    const int left = ini.ReadInteger(section, QStringLiteral("Left"), form->x());
    const int top = ini.ReadInteger(section, QStringLiteral("Top"), form->y());
    form->move(left < 0 ? 0 : left, top < 0 ? 0 : top);
    if (!Resizable(form))
        return;
    const int width = ini.ReadInteger(section, QStringLiteral("Width"), form->width());
    const int height = ini.ReadInteger(section, QStringLiteral("Height"), form->height());
    form->resize(width < 0 ? 100 : width, height < 0 ? 100 : height);
}

void SaveFormPlacement(TIniFile& ini, const QString& section, const QWidget* form) {
    ini.WriteInteger(section, QStringLiteral("State"), StateCode(form));
    ini.WriteInteger(section, QStringLiteral("Left"), form->x());
    ini.WriteInteger(section, QStringLiteral("Top"), form->y());
    ini.WriteInteger(section, QStringLiteral("Width"), form->width());
    ini.WriteInteger(section, QStringLiteral("Height"), form->height());
}
