#include "shell/backup_list.h"

#include "model/mk.h"
#include "model/settings_diff.h"
#include "shell/window_language.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString DiffersText(const TBackupEntry& e, const TMK* current) {
    if (!current || current->Image.isEmpty())
        return TBackupListDlg::tr("no settings to compare");
    TMK backup;
    backup.Version = e.version;
    backup.Image = e.image;
    backup.UnpackSettings();
    const SettingsDiff d =
        CompareSettings(DiffSideOf(e.path, backup), DiffSideOf(QString(), *current));
    if (!d.Differ())
        return TBackupListDlg::tr("same as the current settings");
    return d.fields.empty() ? TBackupListDlg::tr("differs (outside the settings record)")
                            : TBackupListDlg::tr("differs: %1 fields").arg(d.fields.size());
}

} // namespace

TBackupListDlg::TBackupListDlg(const QString& folder, const QList<TBackupEntry>& backups,
                               const TMK* current, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TBackupListDlg"));
    setWindowTitle(tr("Restore from a backup"));
    auto* layout = new QVBoxLayout(this);
    lBackupFolder =
        new QLabel((backups.isEmpty() ? tr("There are no backups in %1.") : tr("Backups in %1:"))
                       .arg(QDir::toNativeSeparators(folder)),
                   this);
    lBackupFolder->setObjectName(QStringLiteral("lBackupFolder"));
    lBackupFolder->setWordWrap(true);
    layout->addWidget(lBackupFolder);

    tvBackups = new QTreeWidget(this);
    tvBackups->setObjectName(QStringLiteral("tvBackups"));
    tvBackups->setAccessibleName(tr("Backups"));
    tvBackups->setRootIsDecorated(false);
    tvBackups->setHeaderLabels(
        {tr("Date and time"), tr("Port"), tr("Settings version"), tr("Comparison"), tr("File")});
    for (const TBackupEntry& e : backups) {
        const bool usable = e.problem.isEmpty();
        auto* item = new QTreeWidgetItem(
            tvBackups, {e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.port,
                        usable ? QString::number(e.version) : QString(),
                        usable ? DiffersText(e, current) : tr("unreadable: %1").arg(e.problem),
                        QFileInfo(e.path).fileName()});
        item->setData(0, Qt::UserRole, e.path);
        if (!usable)
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    }
    tvBackups->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(tvBackups, 1);

    auto* buttons = new QDialogButtonBox(this);
    bBackupLoad = buttons->addButton(tr("Load"), QDialogButtonBox::AcceptRole);
    bBackupLoad->setObjectName(QStringLiteral("bBackupLoad"));
    bBackupCancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    bBackupCancel->setObjectName(QStringLiteral("bBackupCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tvBackups, &QTreeWidget::itemSelectionChanged, this, &TBackupListDlg::UpdateLoad);
    connect(tvBackups, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item && item->flags().testFlag(Qt::ItemIsEnabled))
            accept();
    });
    layout->addWidget(buttons);
    // The newest usable backup is chosen first.
    for (int i = 0; i < tvBackups->topLevelItemCount(); ++i)
        if (QTreeWidgetItem* item = tvBackups->topLevelItem(i);
            item->flags().testFlag(Qt::ItemIsSelectable)) {
            tvBackups->setCurrentItem(item);
            break;
        }
    UpdateLoad();
    resize(820, 360);
}

QString TBackupListDlg::SelectedPath() const {
    const QList<QTreeWidgetItem*> items = tvBackups->selectedItems();
    return items.isEmpty() ? QString() : items.first()->data(0, Qt::UserRole).toString();
}

void TBackupListDlg::UpdateLoad() {
    bBackupLoad->setEnabled(!SelectedPath().isEmpty());
}
