// screenshots: the README's pictures. Saves the main window in Russian and in
// English, the review before a write and every page of the settings editor as
// PNG files into a folder.
// scripts/screenshots runs it on Qt's offscreen platform.
//
//   screenshots DIR

#include "core/app_ini.h"
#include "editor/set_params_dlg.h"
#include "model/mk.h"
#include "model/settings_diff.h"
#include "shell/main_form.h"
#include "shell/window_language.h"
#include "shell/write_review.h"
#include "ui/application.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QTabWidget>

#include <cstdio>

namespace {

bool Save(QWidget& w, const QString& dir, const QString& name) {
    QCoreApplication::processEvents();
    const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
    if (!w.grab().save(file, "PNG")) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: screenshots DIR\n");
        return 2;
    }
    // Absolute: the window makes its own folder the current one.
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(dir);
    bool ok = true;

    // The window creates its INI file beside the program; do not leave one.
    const QString ini = TMIniFile::DefaultFileName();
    const bool hadIni = QFileInfo::exists(ini);
    {
        TMainForm form;
        // No port is looked for: the pictures do not depend on the machine.
        form.DemoDevicePath = QStringLiteral("/dev/null");
        form.show();
        for (bool english : {false, true}) {
            form.cbEnglishVersion->setChecked(english);
            form.cbEnglishVersionClick();
            ok = Save(form, dir,
                      english ? QStringLiteral("main-window-en")
                              : QStringLiteral("main-window-ru")) &&
                 ok;
        }
    }

    // The review of a write that changes a few settings of the defaults.
    {
        SetWindowLanguage(false);
        TMK device;
        device.Version = 3;
        device.Image = QByteArray(2048, '\0');
        device.UnpackSettings();
        device.Settings = TSettingsRecord::Defaults();
        TMK edited;
        edited.Version = device.Version;
        edited.Image = device.Image;
        edited.Settings = device.Settings;
        edited.Settings.AccCorr = 5;
        edited.Settings.VelocityLimit = 110;
        edited.Settings.LiqTemperLimit = 105;
        edited.Settings.TOPath = 15000000; // 15 thousand km
        TWriteReviewDlg review(CompareSettings(DiffSideOf(QStringLiteral("COM3"), device),
                                               DiffSideOf(QStringLiteral("COM3"), edited)),
                               QStringLiteral("COM3 (/dev/ttyUSB0)"), device.Version);
        review.show();
        ok = Save(review, dir, QStringLiteral("write-review-ru")) && ok;
    }

    // The editor as it opens on a fresh model: the defaults of the record.
    TMK mk;
    mk.BuildProtocolList();
    mk.BuildParameterList();
    TMK_SetParamsDlg dlg(mk);
    dlg.show();
    for (int i = 0; i < dlg.PageControl->count(); ++i) {
        dlg.PageControl->setCurrentIndex(i);
        ok = Save(dlg, dir, QStringLiteral("editor-") + dlg.PageControl->widget(i)->objectName()) &&
             ok;
    }
    if (!hadIni)
        QFile::remove(ini);
    return ok ? 0 : 1;
}
