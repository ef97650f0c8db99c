// What the main-window tests share: a window built without the bus on a scratch folder, and a
// wait that keeps the event loop running.
#pragma once

#include <QString>
#include <QTest>
#include <chrono>
#include <functional>

#include "ScratchFolder.h"
#include "app/CalcMain.h"

namespace ov::test {

// A window that reads and writes its files in folder and stays off the bus.
inline TCalcMainOptions Offline(const ScratchFolder& folder) {
    TCalcMainOptions options;
    options.ExeFolder = QString::fromStdString(folder.Path().string());
    options.UseBus = false;
    return options;
}

// Serves events in 10 ms steps until condition holds; false when limit passed first.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace ov::test
