#include "shell/port_dialog.h"

#include "core/port_texts.h"
#include "shell/window_language.h"

#include "ui/dialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kNumberRole = Qt::UserRole;
constexpr int kRescanMs = 1000;

bool SameList(const QList<TPortChoice>& a, const QList<TPortChoice>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.number == y.number && x.devicePath == y.devicePath &&
               x.description == y.description && x.permissionDenied == y.permissionDenied &&
               x.state.kind == y.state.kind && x.state.holder == y.state.holder;
    });
}

QString ItemText(const TPortChoice& p) {
    QString text = QStringLiteral("COM%1    %2").arg(p.number).arg(p.devicePath);
    if (!p.description.isEmpty())
        text += QStringLiteral("    ") + p.description;
    // The same states the start-up box and the command line tell.
    if (p.state.kind != TOpenFailure::Kind::None)
        text += QStringLiteral("    (%1)").arg(PortStateText(p.state));
    return text;
}

} // namespace

TPortNumberDlg::TPortNumberDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("TPortNumberDlg"));
    setWindowTitle(QStringLiteral("Выбор номера порта"));

    Label1 = new QLabel(QStringLiteral("Выберите последовательный порт"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PCB = new QComboBox(this);
    PCB->setObjectName(QStringLiteral("PCB"));
    PCB->setEditable(false);
    PCB->setMinimumWidth(220);
    PCB->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(PCB);
    layout->addWidget(Buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    RescanTimer = new QTimer(this);
    RescanTimer->setObjectName(QStringLiteral("RescanTimer"));
    RescanTimer->setInterval(kRescanMs);
    connect(RescanTimer, &QTimer::timeout, this, &TPortNumberDlg::Rescan);

    connect(PCB, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_)
            if (const std::optional<int> n = SelectedPort())
                wanted_ = *n;
        UpdateOk();
    });
    UpdateOk();
}

void TPortNumberDlg::SetPortSource(std::function<QList<TPortChoice>()> source) {
    source_ = std::move(source);
    if (source_)
        RescanTimer->start();
    else
        RescanTimer->stop();
}

void TPortNumberDlg::Rescan() {
    if (!source_)
        return;
    const QList<TPortChoice> ports = source_();
    // Refilled only on a change, so an open list is not disturbed every second.
    if (!SameList(ports, shown_))
        SetPorts(ports, wanted_);
}

void TPortNumberDlg::SetPorts(const QList<TPortChoice>& ports, int current) {
    filling_ = true;
    shown_ = ports;
    wanted_ = current;
    PCB->clear();
    auto* model = qobject_cast<QStandardItemModel*>(PCB->model());
    int selected = -1;
    for (const TPortChoice& p : ports) {
        PCB->addItem(ItemText(p), p.number);
        if (p.permissionDenied) {
            if (QStandardItem* item = model->item(PCB->count() - 1))
                item->setEnabled(false);
        } else if (p.number == current) {
            selected = PCB->count() - 1;
        }
    }
    PCB->setCurrentIndex(selected);
    filling_ = false;
    UpdateOk();
}

std::optional<int> TPortNumberDlg::SelectedPort() const {
    const int i = PCB->currentIndex();
    if (i < 0)
        return std::nullopt;
    const auto* model = qobject_cast<const QStandardItemModel*>(PCB->model());
    if (const QStandardItem* item = model->item(i); item && !item->isEnabled())
        return std::nullopt;
    return PCB->itemData(i, kNumberRole).toInt();
}

// OK without a usable port selected would have nothing to take.
void TPortNumberDlg::UpdateOk() {
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(SelectedPort().has_value());
}

std::optional<int> RunPortNumberDlg(const QList<TPortChoice>& ports, int current, QWidget* parent,
                                    std::function<QList<TPortChoice>()> rescan) {
    TPortNumberDlg dlg(parent);
    dlg.setWindowTitle(TPortNumberDlg::tr("Port number selection"));
    dlg.Label1->setText(TPortNumberDlg::tr("Select serial port"));
    dlg.SetPorts(ports, current);
    dlg.SetPortSource(std::move(rescan));
    if (Dialogs().Exec(&dlg) != QDialog::Accepted)
        return std::nullopt;
    return dlg.SelectedPort();
}
