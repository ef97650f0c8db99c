// Opening the filter dialog on 10^4 stations with 10 sensors each (10^5 sensor rows) in SQLite:
// the time from its creation, which reads every row of both tables for the columns' values, to
// its first painted frame. Target: under 1 s.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <string>

#include "DialogBench.h"
#include "database/DatabaseConnection.h"
#include "database/MessageBoxes.h"
#include "ui/FileDialogs.h"
#include "ui/FilterSelect.h"

namespace {

using Clock = std::chrono::steady_clock;

class TNoBoxes : public ov::IMessageBoxes {
  public:
    void ShowError(const QString& text) override { Text = text; }
    void ShowInformation(const QString& text) override { Text = text; }
    QString Text;
};

class TNoFileDialogs : public ov::IFileDialogs {
  public:
    bool Execute(QWidget*, const ov::TFileDialogRequest&, QString&) override { return false; }
};

void BM_FilterSelect_OpenToFirstFrame(benchmark::State& state) {
    std::unique_ptr<QApplication> own;
    if (!ov::bench::DialogWorldReady(state, own, "FilterSelect")) return;
    TNoBoxes boxes;
    TNoFileDialogs files;
    ov::TDatabaseConnection connection(boxes);
    connection.SetLogin(ov::bench::StationDatabase().ConnectionString(), "", "");
    if (!connection.ConnectDatabase()) {
        state.SkipWithError(boxes.Text.toStdString().c_str());
        return;
    }

    double created = 0, shown = 0;
    int columns = 0, values = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto dialog = std::make_unique<ov::TfrmFilterSelect>(nullptr, connection, boxes, files);
        const auto made = Clock::now();
        const bool painted = ov::bench::ShowToFirstPaint(*dialog);
        const auto paintedAt = Clock::now();
        if (!painted) {
            state.SkipWithError("the dialog was not painted within 10 s");
            return;
        }
        const double total = std::chrono::duration<double>(paintedAt - start).count();
        state.SetIterationTime(total);
        created += std::chrono::duration<double>(made - start).count();
        shown += std::chrono::duration<double>(paintedAt - made).count();
        columns = dialog->cboFilterItem->count();
        values = 0;
        for (int i = 0; i < columns; ++i) values += dialog->ValueList(i).Count();
        dialog.reset();
        QCoreApplication::processEvents();  // the deferred deletions, untimed
    }
    const double n = static_cast<double>(state.iterations());
    state.SetLabel("SQLite, 10^4 stations x 10 sensors");
    state.counters["create_ms"] = created / n * 1e3;
    state.counters["show_ms"] = shown / n * 1e3;
    state.counters["columns"] = columns;
    state.counters["values"] = values;
}

BENCHMARK(BM_FilterSelect_OpenToFirstFrame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
