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
    setWindowTitle(tr("Writing settings to the trip computer"));
    auto* layout = new QVBoxLayout(this);

    const int count = int(diff.fields.size());
    QString summary =
        tr("The trip computer on %1, settings version %2.").arg(port).arg(deviceVersion) +
        QLatin1Char('\n');
    summary += count == 0 ? tr("The trip computer already holds these settings: writing them "
                               "changes nothing.")
                          : tr("Fields that will change (%1):").arg(count);
    lReviewSummary = new QLabel(summary, this);
    lReviewSummary->setObjectName(QStringLiteral("lReviewSummary"));
    lReviewSummary->setWordWrap(true);
    lReviewSummary->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
    layout->addWidget(lReviewSummary);

    tvReviewChanges = new QTreeWidget(this);
    tvReviewChanges->setObjectName(QStringLiteral("tvReviewChanges"));
    tvReviewChanges->setAccessibleName(tr("Fields that change"));
    tvReviewChanges->setRootIsDecorated(false);
    tvReviewChanges->setHeaderLabels(
        {tr("Setting"), tr("Field"), tr("Now in the trip computer"), tr("To be written")});
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
    bReviewWrite = buttons->addButton(tr("Write"), QDialogButtonBox::AcceptRole);
    bReviewWrite->setObjectName(QStringLiteral("bReviewWrite"));
    bReviewCancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
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
