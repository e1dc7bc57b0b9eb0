// Figures of the window on Qt's offscreen platform: how long Cancel takes to
// end a transfer that is connecting, how close Step 4's two halves (up to the
// review, and from Write to the closing box) come to their wire time, and how
// long the program takes from its start to the first paint of its window,
// with its peak memory then.
//
// "window_bench --first-paint" is the program as main() starts it, stopping
// at the first paint; the bench runs it as a child to time the start-up.

#include "bench/bench_support.h"
#include "core/app_ini.h"
#include "model/mk.h"
#include "shell/just_one.h"
#include "shell/main_form.h"
#include "shell/progress_form.h"
#include "shell/write_review.h"
#include "ui/application.h"
#include "ui/dialogs.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kCancelClicks = 15;
constexpr int kStarts = 7;
constexpr int kWrites = 5;
constexpr double kBaud = 115200;

// 11 bits a byte: start, 8 data, 2 stop.
double WireMs(int bytes) {
    return bytes * 11 * 1000.0 / kBaud;
}

// No box may wait for a click here; one that appears is reported.
class TNoDialogs : public TDialogs {
public:
    int Message(QWidget*, MessageKind, const QString&, const QString& text) override {
        std::fprintf(stderr, "window_bench: a message box: %s\n", qPrintable(text));
        return 7;
    }
    QString OpenFileName(QWidget*, const FileDialogOptions&) override { return {}; }
    QString SaveFileName(QWidget*, const FileDialogOptions&) override { return {}; }
    int Exec(QDialog*) override { return QDialog::Rejected; }
};

// From the moment a click is due (the timer's due time, so the wait for the
// event loop to take it counts) until the read's click handler has returned
// with the progress window gone. Clicks fall at different points of the
// link's waits.
void CancelFigure() {
    TSimProcess sim({QStringLiteral("--silent")});
    TMainForm form;
    form.DemoDevicePath = sim.Path();
    form.show();
    std::vector<double> latencies;
    for (int i = 0; i < kCancelClicks; ++i) {
        const double due = WallMs() + 300 + 37 * i;
        bool clicked = false;
        QTimer::singleShot(300 + 37 * i, Qt::PreciseTimer, &form, [&] {
            if (TProgressForm* p = TProgressObserver::Current()) {
                p->BitBtn1->click();
                clicked = true;
            }
        });
        form.bGetParams->click();
        const double end = WallMs();
        if (!clicked || TProgressObserver::Current() || form.Busy())
            throw std::runtime_error("the read did not end by Cancel");
        latencies.push_back(end - due);
    }
    std::printf("Cancel while connecting: median %.1f ms, max %.1f ms over %d clicks (from the "
                "click to the progress window gone; goal < 150 ms)\n",
                Median(latencies), Max(latencies), kCancelClicks);
}

// Step 4 with review, backup and read-back against a trip computer that takes
// the wire time of every request and reply at 115200 baud: from the call to
// the review shown, and from Write to the closing box.
class TStep4Dialogs : public TNoDialogs {
public:
    double reviewAt = 0, closedAt = 0, writeAt = 0;
    int Message(QWidget* parent, MessageKind kind, const QString& title,
                const QString& text) override {
        closedAt = WallMs();
        if (kind == MessageKind::Info)
            return 1;
        return TNoDialogs::Message(parent, kind, title, text);
    }
    int Exec(QDialog* dialog) override {
        reviewAt = WallMs();
        auto* review = qobject_cast<TWriteReviewDlg*>(dialog);
        if (!review)
            return QDialog::Rejected;
        writeAt = WallMs();
        review->bReviewWrite->click();
        return review->result();
    }
};

void Step4Figure() {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    TSimProcess sim({QStringLiteral("--baud"), QStringLiteral("115200")});
    TStep4Dialogs dialogs;
    SetDialogs(&dialogs);
    TMainForm form;
    form.DemoDevicePath = sim.Path();
    form.show();
    form.Safety = {true, true, true};
    std::vector<double> toReview, toClose;
    for (int i = 0; i < kWrites; ++i) {
        form.MK()->Version = 1;
        form.MK()->Image = QByteArray(2048, '\0');
        form.MK()->Settings = TSettingsRecord::Defaults();
        form.MK()->Settings.TOTime = uint32_t(1000 + i); // something to write
        dialogs.closedAt = 0;
        const double t0 = WallMs();
        form.WriteToDevice();
        if (dialogs.closedAt == 0 || form.LastBackup.isEmpty())
            throw std::runtime_error("Step 4 did not end with its closing box");
        toReview.push_back(dialogs.reviewAt - t0);
        toClose.push_back(dialogs.closedAt - dialogs.writeAt);
    }
    SetDialogs(nullptr);
    // Up to the review: version, then the 64 blocks. From Write: version, the
    // record's 4 blocks read, 4 written, the closing command, version, 4 read back.
    const double readWire = WireMs(6 + 9 + 64 * (8 + 38));
    const double writeWire =
        WireMs(6 + 9 + 4 * (8 + 38) + 4 * (42 + 6) + 10 + 6 + 6 + 9 + 4 * (8 + 38));
    std::printf("Step 4 to the review: median %.1f ms over %d, wire time %.1f ms, ratio %.3f "
                "(goal <= 1.1)\n",
                Median(toReview), kWrites, readWire, Median(toReview) / readWire);
    std::printf("Step 4 from Write to the closing box: median %.1f ms over %d, wire time %.1f ms, "
                "ratio %.3f (goal <= 1.1)\n",
                Median(toClose), kWrites, writeWire, Median(toClose) / writeWire);
}

// Started the way main() starts the program, with a port present.
void StartUpFigure() {
    const QString ini = TMIniFile::DefaultFileName();
    const bool hadIni = QFile::exists(ini);
    TSimProcess sim({QStringLiteral("--ini"), ini, QStringLiteral("--com"), QStringLiteral("1")});
    std::vector<double> starts, inMain;
    double peakKb = 0;
    for (int i = 0; i < kStarts; ++i) {
        QProcess child;
        const double t0 = WallMs();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--first-paint")});
        if (!child.waitForReadyRead(20000))
            throw std::runtime_error("the window did not paint");
        const double ms = WallMs() - t0;
        const QList<QByteArray> figures = child.readLine().trimmed().split(' ');
        child.waitForFinished(5000);
        if (figures.size() != 2)
            throw std::runtime_error("the child's figures are missing");
        starts.push_back(ms);
        inMain.push_back(figures[0].toDouble());
        peakKb = std::max(peakKb, figures[1].toDouble());
    }
    if (!hadIni)
        QFile::remove(ini);
    std::printf("start-up to the first paint (offscreen): median %.1f ms, max %.1f ms over %d "
                "starts, of which %.1f ms (median) from main()\n",
                Median(starts), Max(starts), kStarts, Median(inMain));
    std::printf("peak memory at the first paint (offscreen): %.1f MiB resident\n", peakKb / 1024);
}

// The child: prints the ms since main() and the peak resident KiB at the
// window's first paint, then ends.
class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(double start) : start_(start) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            const double ms = WallMs() - start_;
            rusage u{};
            ::getrusage(RUSAGE_SELF, &u);
            std::printf("%.2f %ld\n", ms, long(u.ru_maxrss));
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    double start_;
    bool done_ = false;
};

int FirstPaint(int argc, char** argv, double start) {
    TApplication app(argc, argv);
    TNoDialogs dialogs;
    SetDialogs(&dialogs);
    TJustOne justOne(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    if (!justOne.Owned())
        return 1;
    TMainForm form;
    TFirstPaint probe(start);
    form.installEventFilter(&probe);
    form.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    const double start = WallMs();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && QByteArray(argv[1]) == "--first-paint")
        return FirstPaint(argc, argv, start);
    TApplication app(argc, argv);
    TNoDialogs dialogs;
    SetDialogs(&dialogs);
    try {
        CancelFigure();
        Step4Figure();
        SetDialogs(&dialogs);
        StartUpFigure();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window_bench: %s\n", e.what());
        return 1;
    }
    SetDialogs(nullptr);
    return 0;
}
