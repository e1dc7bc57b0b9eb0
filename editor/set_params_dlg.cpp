// The settings editor's life cycle: building, showing and loading, OK.
// The pages are built in set_params_pages.cpp and set_params_display_page.cpp,
// the controls load and store in set_params_controls.cpp, the tank files are
// in set_params_tank_file.cpp.

#include "editor/set_params_dlg.h"

#include "editor/mask_edit.h"
#include "editor/radio_group.h"
#include "editor/set_params_shared.h"
#include "editor/spin_edit.h"
#include "editor/string_grid.h"
#include "model/field_edit.h"
#include "model/mk.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "ui/message_boxes.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>

using namespace SetParams;

TMK_SetParamsDlg::TMK_SetParamsDlg(TMK& mk, QWidget* parent) : QDialog(parent), mk_(mk) {
    setObjectName(QStringLiteral("TMK_SetParamsDlg"));
    setWindowTitle(Text("Настройки МК"));
    setFixedSize(kClientWidth, kClientHeight);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setGeometry(0, 0, kClientWidth, kPagesHeight);
    tsCorr = AddPage("tsCorr", "Поправки");
    tsSources = AddPage("tsSources", "Источники");
    tsLimits = AddPage("tsLimits", "Границы");
    tsDisplay = AddPage("tsDisplay", "Дисплей");
    tsVoice = AddPage("tsVoice", "Озвуч.сообщения");
    tsAverages = AddPage("tsAverages", "Средние");
    tsTank = AddPage("tsTank", "Бак");
    tsTO = AddPage("tsTO", "ТО");

    BuildCorrPage();
    BuildSourcesPage();
    BuildLimitsPage();
    BuildDisplayPage();
    BuildVoicePage();
    BuildAveragesPage();
    BuildTankPage();
    BuildTOPage();
    ConfigureSpinEdits();
    ConnectControls();

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(kClientWidth - 190, kPagesHeight + 6, 85, 27);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(kClientWidth - 95, kPagesHeight + 6, 85, 27);
    connect(OKBtn, &QPushButton::clicked, this, &TMK_SetParamsDlg::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &TMK_SetParamsDlg::reject);
}

TMK_SetParamsDlg::~TMK_SetParamsDlg() = default;

TSettingsRecord& TMK_SetParamsDlg::S() const {
    return mk_.Settings;
}

void TMK_SetParamsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (QScreen* s = screen()) {
        const QRect avail = s->availableGeometry();
        move(avail.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    bool loaded = false;
    RunGuarded([&] {
        FormShow();
        loaded = true;
    });
    // Should loading fail all the same, the error has been shown, and
    // closing without OK leaves everything as it was.
    if (!loaded) {
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    // Damaged values are named once the dialog stands, over it.
    if (!openingNotes_.isEmpty())
        QTimer::singleShot(0, this, [notes = openingNotes_] {
            for (const QString& note : notes)
                ShowError(note);
        });
}

void TMK_SetParamsDlg::FormShow() {
    for (int r = 0; r < sgPalette->rowCount(); ++r)
        sgPalette->SetCell(0, r, Text("Цвет #") + QString::number(r));
    const QStringList digitRows = {Text("Цвет 1"), Text("Фон 1"), Text("Цвет 2"), Text("Фон 2")};
    for (int r = 0; r < digitRows.size(); ++r)
        sgDigit->SetCell(0, r, digitRows[r]);
    PageControl->setCurrentWidget(tsCorr);
    RefreshColours();
    LoadControls();
    LoadTankCalibration();
    tankFolder_ = FileDialogFolder(QCoreApplication::applicationDirPath());
    LoadAccumulators();
}

void TMK_SetParamsDlg::accept() {
    for (QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget()) {
        // An edit the user never entered stores nothing; an entry the edit
        // refuses keeps the dialog open.
        if (auto* e = qobject_cast<TSpinEdit*>(w)) {
            if (e->Entered() && !e->Leave())
                return;
            break;
        }
        if (auto* m = qobject_cast<TMaskEdit*>(w)) {
            if (m->Entered() && !m->Leave())
                return;
            break;
        }
        if (auto* g = qobject_cast<TRadioGroup*>(w)) {
            // A group that stores on leaving stores now.
            for (const EditField& f : EditFields())
                if (f.onLeaving && QLatin1String(f.control) == g->objectName())
                    RunGuarded([&] { StoreItem(f, g->ItemIndex()); });
            break;
        }
    }
    QDialog::accept();
}
