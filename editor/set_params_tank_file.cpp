// The tank calibration and its files ("Бак"): save and load the four
// calibration values, shown again after loading.

#include "editor/set_params_dlg.h"

#include "editor/set_params_shared.h"
#include "editor/spin_edit.h"

#include "model/field_edit.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "support/errors.h"
#include "ui/dialogs.h"
#include "ui/message_boxes.h"
#include <QGroupBox>

using namespace SetParams;

namespace {

const char* const kTankFilter = "Файлы настроек бака (*.tarvo)";
const char* const kTankSuffix = "tarvo";

FileDialogOptions TankFileOptions(const QString& folder) {
    return {QString(), Text(kTankFilter), QString::fromLatin1(kTankSuffix), folder};
}

} // namespace

void TMK_SetParamsDlg::LoadTankCalibration() {
    for (const EditField& f : EditFields())
        if (f.kind == EditKind::Number &&
            SpinEditOf(f)->parentWidget() == static_cast<QWidget*>(gbTankCalibration))
            LoadSpinEdit(f);
}

void TMK_SetParamsDlg::bOilSaveClick() {
    const QString name = Dialogs().SaveFileName(this, TankFileOptions(tankFolder_));
    if (name.isEmpty())
        return;
    // A failure goes to the general handler; the record is untouched.
    SaveTankFile(mk_, name);
}

void TMK_SetParamsDlg::bOilLoadClick() {
    const QString name = Dialogs().OpenFileName(this, TankFileOptions(tankFolder_));
    if (name.isEmpty())
        return;
    try {
        LoadTankFile(mk_, name);
    } catch (const std::exception& e) {
        ShowError(ExceptionMessage(e));
    }
    LoadTankCalibration();
}
