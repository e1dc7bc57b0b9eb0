#pragma once

#include <QPainter>
#include <QWidget>
#include <functional>

// A plain surface that its owner paints.
class TPaintBox : public QWidget {
public:
    using QWidget::QWidget;

    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (OnPaint)
            OnPaint(painter);
    }
};
