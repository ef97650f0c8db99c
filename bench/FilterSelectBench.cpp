// Opening the filter dialog on 10^4 stations with 10 sensors each (10^5 sensor rows) in SQLite:
// the time from its creation, which reads every row of both tables for the columns' values, to
// its first painted frame. Target: under 1 s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "database/DatabaseConnection.h"
#include "database/MessageBoxes.h"
#include "ui/FileDialogs.h"
#include "ui/FilterSelect.h"

namespace {

using Clock = std::chrono::steady_clock;

// The SQLite database of the catalogue benchmark's rows, made once for the process in a folder
// of its own and reached by a connection string (the process's data sources stay as they are).
struct TFilterWorld {
    std::filesystem::path Folder;
    std::string ConnectionString;
    std::string Error;

    TFilterWorld() {
        Folder = std::filesystem::temp_directory_path() /
                 ("ovbench-filter-" + std::to_string(::getpid()));
        const std::string root = OV_SOURCE_DIR;
        const std::string command = "bash " + root + "/scripts/suite-db.sh sqlite " +
                                    Folder.string() + " OVBenchFilter " + root +
                                    "/examples/suite/schema.sql " + root +
                                    "/tests/database/catalogue_1e5.sql >/dev/null";
        if (std::system(command.c_str()) != 0) {
            Error = "the benchmark database could not be made (scripts/suite-db.sh)";
            return;
        }
        // The driver the script found, named by its path.
        std::ifstream drivers(Folder / "odbcinst.ini");
        std::string line, driver;
        while (driver.empty() && std::getline(drivers, line))
            if (line.rfind("Driver=", 0) == 0) driver = line.substr(7);
        if (driver.empty()) {
            Error = "no SQLite ODBC driver in " + (Folder / "odbcinst.ini").string();
            return;
        }
        ConnectionString =
            "DRIVER=" + driver + ";Database=" + (Folder / "OVBenchFilter.db").string();
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            std::filesystem::create_directories(Folder / "runtime");
            std::filesystem::permissions(Folder / "runtime", std::filesystem::perms::owner_all);
            ::setenv("XDG_RUNTIME_DIR", (Folder / "runtime").c_str(), 1);
        }
    }
    ~TFilterWorld() {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

TFilterWorld& World() {
    static TFilterWorld world;
    return world;
}

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

void BM_FilterSelect_OpenToFirstFrame(benchmark::State& state) {
    std::unique_ptr<QApplication> own;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "ovbench";
        static char* argv[] = {name, nullptr};
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        own = std::make_unique<QApplication>(argc, argv);
    } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        state.SkipWithError(
            "another benchmark keeps a non-widget application: run with "
            "--benchmark_filter=FilterSelect");
        return;
    }
    if (!World().Error.empty()) {
        state.SkipWithError(World().Error.c_str());
        return;
    }
    TNoBoxes boxes;
    TNoFileDialogs files;
    ov::TDatabaseConnection connection(boxes);
    connection.SetLogin(World().ConnectionString, "", "");
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
        TPaintSpy spy(*dialog);
        QCoreApplication::instance()->installEventFilter(&spy);
        dialog->show();
        QElapsedTimer limit;
        limit.start();
        while (!spy.Painted && limit.elapsed() < 10000) QCoreApplication::processEvents();
        const auto painted = Clock::now();
        QCoreApplication::instance()->removeEventFilter(&spy);
        if (!spy.Painted) {
            state.SkipWithError("the dialog was not painted within 10 s");
            return;
        }
        const double total = std::chrono::duration<double>(painted - start).count();
        state.SetIterationTime(total);
        created += std::chrono::duration<double>(made - start).count();
        shown += std::chrono::duration<double>(painted - made).count();
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
