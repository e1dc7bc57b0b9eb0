#include "shell/write_review.h"

#include "editor/field_captions.h"
#include "model/field_text.h"
#include "shell/window_language.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

TWriteReviewDlg::TWriteReviewDlg(const SettingsDiff& diff, const QString& port,
                                 uint16_t deviceVersion, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TWriteReviewDlg"));
    setWindowTitle(Lang("Запись настроек в МК", "Writing settings to the trip computer"));
    auto* layout = new QVBoxLayout(this);

    const int count = int(diff.fields.size());
    QString summary =
        Lang("МК на порту %1, версия настроек %2.", "The trip computer on %1, settings version %2.")
            .arg(port)
            .arg(deviceVersion) +
        QLatin1Char('\n');
    summary += count == 0
                   ? Lang("Настройки в МК уже такие же, как записываемые: запись ничего "
                          "не изменит.",
                          "The trip computer already holds these settings: writing them "
                          "changes nothing.")
                   : Lang("Будут изменены поля (%1):", "Fields that will change (%1):").arg(count);
    lReviewSummary = new QLabel(summary, this);
    lReviewSummary->setObjectName(QStringLiteral("lReviewSummary"));
    lReviewSummary->setWordWrap(true);
    lReviewSummary->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
    layout->addWidget(lReviewSummary);

    tvReviewChanges = new QTreeWidget(this);
    tvReviewChanges->setObjectName(QStringLiteral("tvReviewChanges"));
    tvReviewChanges->setAccessibleName(Lang("Изменяемые поля", "Fields that change"));
    tvReviewChanges->setRootIsDecorated(false);
    tvReviewChanges->setHeaderLabels({Lang("Параметр", "Setting"), Lang("Поле", "Field"),
                                      Lang("Сейчас в МК", "Now in the trip computer"),
                                      Lang("Будет записано", "To be written")});
    for (const FieldDifference& d : diff.fields) {
        const QString name = FieldLabel(*d.field);
        auto* item = new QTreeWidgetItem(
            tvReviewChanges, {EditorCaption(name), name, SideText(d, true), SideText(d, false)});
        item->setToolTip(0, item->text(0));
    }
    tvReviewChanges->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tvReviewChanges->setVisible(count > 0);
    layout->addWidget(tvReviewChanges, 1);

    auto* buttons = new QDialogButtonBox(this);
    bReviewWrite = buttons->addButton(Lang("Записать", "Write"), QDialogButtonBox::AcceptRole);
    bReviewWrite->setObjectName(QStringLiteral("bReviewWrite"));
    bReviewCancel = buttons->addButton(Lang("Отмена", "Cancel"), QDialogButtonBox::RejectRole);
    bReviewCancel->setObjectName(QStringLiteral("bReviewCancel"));
    // Return presses Cancel, never Write; Escape rejects as in every dialog.
    bReviewWrite->setAutoDefault(false);
    bReviewCancel->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Tall enough for the rows, up to a screenful's share.
    resize(count > 0 ? 760 : 460, count > 0 ? std::min(160 + 22 * count, 480) : 140);
    bReviewCancel->setFocus();
}
