// What the dialog benchmarks share: the widget application they need on the SQLite station
// database (StationDatabase.h), and the time from a dialog's showing to its first paint.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string>

#include "StationDatabase.h"

namespace ov::bench {

// A widget application (offscreen unless a platform is set): own holds the one made here.
// False, the benchmark skipped, when another benchmark of the run keeps a non-widget one or the
// database could not be made.
inline bool DialogWorldReady(benchmark::State& state, std::unique_ptr<QApplication>& own,
                             const char* filter) {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "ovbench";
        static char* argv[] = {name, nullptr};
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        own = std::make_unique<QApplication>(argc, argv);
    } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const std::string why = std::string(
                                    "another benchmark keeps a non-widget application: run with "
                                    "--benchmark_filter=") +
                                filter;
        state.SkipWithError(why.c_str());
        return false;
    }
    if (!StationDatabase().Error().empty()) {
        state.SkipWithError(StationDatabase().Error().c_str());
        return false;
    }
    return true;
}

// Notes the first paint of any widget of the watched window.
class TPaintSpy : public QObject {
  public:
    explicit TPaintSpy(QWidget& window) : window_(window) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(object);
            if (widget && widget->window() == &window_) Painted = true;
        }
        return false;
    }
    bool Painted = false;

  private:
    QWidget& window_;
};

// Shows dialog and runs the events until its first paint (10 s at the most): whether it was
// painted.
inline bool ShowToFirstPaint(QWidget& dialog) {
    TPaintSpy spy(dialog);
    QCoreApplication::instance()->installEventFilter(&spy);
    dialog.show();
    QElapsedTimer limit;
    limit.start();
    while (!spy.Painted && limit.elapsed() < 10000) QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&spy);
    return spy.Painted;
}

}  // namespace ov::bench
