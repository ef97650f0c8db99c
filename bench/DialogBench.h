// What the dialog benchmarks share: the SQLite database of 10^4 stations with 10 sensors each,
// the widget application they need, and the time from a dialog's showing to its first paint.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace ov::bench {

// The database, made once for the process in a folder of its own and reached by a connection
// string (the process's data sources stay as they are).
struct TCatalogueDatabase {
    std::filesystem::path Folder;
    std::string ConnectionString;
    std::string Error;

    TCatalogueDatabase() {
        Folder = std::filesystem::temp_directory_path() /
                 ("ovbench-dialogs-" + std::to_string(::getpid()));
        const std::string root = OV_SOURCE_DIR;
        const std::string command = "bash " + root + "/scripts/suite-db.sh sqlite " +
                                    Folder.string() + " OVBenchDialogs " + root +
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
            "DRIVER=" + driver + ";Database=" + (Folder / "OVBenchDialogs.db").string();
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            std::filesystem::create_directories(Folder / "runtime");
            std::filesystem::permissions(Folder / "runtime", std::filesystem::perms::owner_all);
            ::setenv("XDG_RUNTIME_DIR", (Folder / "runtime").c_str(), 1);
        }
    }
    ~TCatalogueDatabase() {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

inline TCatalogueDatabase& CatalogueDatabase() {
    static TCatalogueDatabase database;
    return database;
}

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
    if (!CatalogueDatabase().Error.empty()) {
        state.SkipWithError(CatalogueDatabase().Error.c_str());
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
