#include "shell/progress_form.h"

#include "support/numeric.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

TProgressForm::TProgressForm(QWidget* centreOn)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TProgressForm"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("Progress..."));
    setFixedSize(261, 113);

    ProgressLabel = new QLabel(QStringLiteral("Прогресс"), this);
    ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    ProgressLabel->setGeometry(4, 2, 253, 41);
    ProgressLabel->setAlignment(Qt::AlignCenter);
    ProgressLabel->setWordWrap(true);

    ProgressGauge = new QProgressBar(this);
    ProgressGauge->setObjectName(QStringLiteral("ProgressGauge"));
    ProgressGauge->setGeometry(20, 45, 220, 25);
    ProgressGauge->setRange(0, 100);
    ProgressGauge->setValue(0);
    ProgressGauge->setFormat(QStringLiteral("%p%"));

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("Cancel"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(93, 78, 75, 27);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    if (centreOn) {
        const QRect r = centreOn->frameGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
}

void TProgressForm::closeEvent(QCloseEvent* event) {
    // No close box and no Escape: the transfer ends the window.
    event->ignore();
}

namespace {
TProgressForm* current = nullptr;
}

TProgressObserver::~TProgressObserver() {
    Close();
}

TProgressForm* TProgressObserver::Current() {
    return current;
}

void TProgressObserver::Open() {
    form_ = std::make_unique<TProgressForm>(centreOn_);
    current = form_.get();
    form_->show();
}

void TProgressObserver::Close() {
    if (current == form_.get())
        current = nullptr;
    form_.reset();
}

namespace {

QString PhaseText(TransferPhase phase) {
    if (phase == TransferPhase::Connecting)
        return Texts::Connecting();
    if (phase == TransferPhase::Writing)
        return Texts::Writing();
    // The window does not tell a read-back from a read.
    return Texts::Reading();
}

// As the gauge always moved: to the share of the blocks done before the
// latest one, so 0 after the first block and short of 100 after the last.
int Gauge(const TransferProgress& p) {
    return p.done == 0 ? 0 : int(RoundHalfEven((p.done - 1) * 100.0 / p.total));
}

} // namespace

void TProgressObserver::Progress(const TransferProgress& progress) {
    const bool connecting = progress.phase == TransferPhase::Connecting;
    form_->BitBtn1->setVisible(connecting);
    form_->ProgressLabel->setText(PhaseText(progress.phase));
    if (!connecting)
        form_->ProgressGauge->setValue(Gauge(progress));
    form_->ProgressGauge->setVisible(!connecting);
}

bool TProgressObserver::Cancelled() {
    return form_ && form_->Cancelled;
}

void TProgressObserver::ProcessEvents() {
    QCoreApplication::processEvents();
}
