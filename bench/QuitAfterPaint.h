#pragma once
// For the whole-process first-paint harnesses: an event filter that ends the process once
// the widget it watches has painted (what a user would see is on screen), after printing
// the peak memory as {"peak_kib": N} for bench/first_paint.py.

#include <sys/resource.h>
#include <unistd.h>

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <utility>

class QuitAfterPaint : public QObject {
public:
    // `beforeExit` undoes what the skipped teardown would have (files a normal exit
    // removes), so that the next run starts as it would after a normal exit.
    explicit QuitAfterPaint(std::function<void()> beforeExit = {})
        : beforeExit_(std::move(beforeExit)) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, [this] {
                if (beforeExit_) beforeExit_();
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                std::printf("{\"peak_kib\": %ld}\n", usage.ru_maxrss);
                std::fflush(stdout);
                _exit(0);  // no teardown: the figure is start to first paint
            });
        return false;
    }

private:
    std::function<void()> beforeExit_;
};
