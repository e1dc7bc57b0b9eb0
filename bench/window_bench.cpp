// Figures of the window on Qt's offscreen platform: how long Cancel takes to
// end a transfer that is connecting, and how long the program takes from its
// start to the first paint of its window, with its peak memory then.
//
// "window_bench --first-paint" is the program as main() starts it, stopping
// at the first paint; the bench runs it as a child to time the start-up.

#include "bench/bench_support.h"
#include "core/app_ini.h"
#include "shell/just_one.h"
#include "shell/main_form.h"
#include "shell/progress_form.h"
#include "ui/application.h"
#include "ui/dialogs.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kCancelClicks = 15;
constexpr int kStarts = 7;

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
        StartUpFigure();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window_bench: %s\n", e.what());
        return 1;
    }
    SetDialogs(nullptr);
    return 0;
}
