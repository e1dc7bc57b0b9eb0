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
        return Lang("нет настроек для сравнения", "no settings to compare");
    TMK backup;
    backup.Version = e.version;
    backup.Image = e.image;
    backup.UnpackSettings();
    const SettingsDiff d =
        CompareSettings(DiffSideOf(e.path, backup), DiffSideOf(QString(), *current));
    if (!d.Differ())
        return Lang("совпадает с текущими", "same as the current settings");
    return d.fields.empty()
               ? Lang("отличается (вне записи настроек)", "differs (outside the settings record)")
               : Lang("отличается: полей %1", "differs: %1 fields").arg(d.fields.size());
}

} // namespace

TBackupListDlg::TBackupListDlg(const QString& folder, const QList<TBackupEntry>& backups,
                               const TMK* current, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("TBackupListDlg"));
    setWindowTitle(Lang("Восстановление из резервной копии", "Restore from a backup"));
    auto* layout = new QVBoxLayout(this);
    lBackupFolder = new QLabel(
        (backups.isEmpty() ? Lang("Резервных копий нет в папке %1.", "There are no backups in %1.")
                           : Lang("Резервные копии в папке %1:", "Backups in %1:"))
            .arg(QDir::toNativeSeparators(folder)),
        this);
    lBackupFolder->setObjectName(QStringLiteral("lBackupFolder"));
    lBackupFolder->setWordWrap(true);
    layout->addWidget(lBackupFolder);

    tvBackups = new QTreeWidget(this);
    tvBackups->setObjectName(QStringLiteral("tvBackups"));
    tvBackups->setAccessibleName(Lang("Резервные копии", "Backups"));
    tvBackups->setRootIsDecorated(false);
    tvBackups->setHeaderLabels({Lang("Дата и время", "Date and time"), Lang("Порт", "Port"),
                                Lang("Версия настроек", "Settings version"),
                                Lang("Сравнение", "Comparison"), Lang("Файл", "File")});
    for (const TBackupEntry& e : backups) {
        const bool usable = e.problem.isEmpty();
        auto* item = new QTreeWidgetItem(
            tvBackups, {e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.port,
                        usable ? QString::number(e.version) : QString(),
                        usable ? DiffersText(e, current)
                               : Lang("не читается: %1", "unreadable: %1").arg(e.problem),
                        QFileInfo(e.path).fileName()});
        item->setData(0, Qt::UserRole, e.path);
        if (!usable)
            item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    }
    tvBackups->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(tvBackups, 1);

    auto* buttons = new QDialogButtonBox(this);
    bBackupLoad = buttons->addButton(Lang("Загрузить", "Load"), QDialogButtonBox::AcceptRole);
    bBackupLoad->setObjectName(QStringLiteral("bBackupLoad"));
    bBackupCancel = buttons->addButton(Lang("Отмена", "Cancel"), QDialogButtonBox::RejectRole);
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
