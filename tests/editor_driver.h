#pragma once

// Drives the settings editor as its user would, for the widget tests.

#include "editor/radio_group.h"
#include "editor/set_params_dlg.h"
#include "editor/spin_edit.h"
#include "model/mk.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>
#include <cstring>
#include <functional>

namespace EditorDriver {

using Play = std::function<void(TMK_SetParamsDlg&)>;

// A model holding a full image: the record r, then bytes that must never move.
inline void LoadImage(TMK& mk, const TSettingsRecord& r) {
    mk.Image = QByteArray(2048, char(0xA5));
    const auto bytes = r.ToBytes();
    mk.Image.replace(0, 124, QByteArray(reinterpret_cast<const char*>(bytes.data()), 124));
    mk.UnpackSettings();
}

inline QByteArray Bytes(const TSettingsRecord& r) {
    const auto b = r.ToBytes();
    return QByteArray(reinterpret_cast<const char*>(b.data()), 124);
}

inline TSettingsRecord Packed(const TMK& mk) {
    std::array<uint8_t, 124> b;
    std::memcpy(b.data(), mk.Image.constData(), 124);
    return TSettingsRecord::FromBytes(b);
}

// Shows the dialog as the user sees it and plays; then the button ends it.
inline int Show(TMK_SetParamsDlg& dlg, const Play& play, const char* button) {
    dlg.show();
    if (!QTest::qWaitForWindowActive(&dlg))
        qWarning("editor window not active");
    play(dlg);
    if (button)
        QTest::mouseClick(dlg.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    return dlg.result();
}

// One opening of the editor through the model, ended with OK or Cancel.
inline bool Edit(TMK& mk, const Play& play, const char* button = "OKBtn") {
    return mk.EditSettings([&](TMK& m) {
        TMK_SetParamsDlg dlg(m);
        return Show(dlg, play, button) == QDialog::Accepted;
    });
}

inline void Page(TMK_SetParamsDlg& dlg, QWidget* page) {
    dlg.PageControl->setCurrentWidget(page);
}

// Focus into the edit, replace its text by typing; focus stays in it.
inline void Type(QWidget* e, const QString& text) {
    e->setFocus(Qt::MouseFocusReason);
    QVERIFY(e->hasFocus());
    QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(e, text);
}

inline void Tab(QWidget* w) {
    QTest::keyClick(w, Qt::Key_Tab);
}

// The user's choice in a drop-down list: open it, click the item.
inline void Choose(QComboBox* list, int index) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!view->window()->isVisible());
    QCOMPARE(list->currentIndex(), index);
}

// On the round indicator, where a click always hits the item.
inline void ClickItem(TRadioGroup* g, int i) {
    QRadioButton* b = g->Button(i);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

inline QList<bool> EnabledItems(TRadioGroup* g) {
    QList<bool> on;
    for (int i = 0; i < g->Count(); ++i)
        on << g->ItemEnabled(i);
    return on;
}

inline QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

} // namespace EditorDriver

using namespace EditorDriver;
