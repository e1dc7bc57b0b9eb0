#pragma once

#include "shell/progress_form.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

// Plays the user who clicks Cancel in the progress window once `ready` says
// so. `look` may note what the window shows just before the click; the test
// asserts on it after the transfer has returned, so a failing check can never
// skip the click and leave the test waiting. The timer belongs to this object:
// it cannot fire into a later test.
class TCancelClick {
public:
    explicit TCancelClick(std::function<bool()> ready,
                          std::function<void(TProgressForm&)> look = {})
        : ready_(std::move(ready)), look_(std::move(look)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
        poll_.start(20);
    }
    // Ready `ms` milliseconds after it was made.
    static std::function<bool()> After(int ms) {
        auto since = std::make_shared<QElapsedTimer>();
        since->start();
        return [since, ms] { return since->elapsed() >= ms; };
    }
    bool Clicked() const { return clicked_.isValid(); }
    // Milliseconds since the click.
    qint64 SinceClick() const { return clicked_.elapsed(); }

private:
    void Poll() {
        TProgressForm* p = TProgressObserver::Current();
        if (!p || clicked_.isValid() || !ready_())
            return;
        if (look_)
            look_(*p);
        poll_.stop();
        clicked_.start();
        QTest::mouseClick(p->BitBtn1, Qt::LeftButton);
    }

    std::function<bool()> ready_;
    std::function<void(TProgressForm&)> look_;
    QTimer poll_;
    QElapsedTimer clicked_;
};
