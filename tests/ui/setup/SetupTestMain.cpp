// The setup dialog's tests: a QApplication on the offscreen platform unless one is given.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// LeakSanitizer's built-in suppressions of this program (tests/lsan-odbc.supp): the ODBC
// driver manager and drivers, not built with it, keep allocations to the process's end.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libodbcinst.so\nleak:libodbc.so\nleak:psqlodbcw.so\nleak:libsqlite3odbc\n"
           "leak:libpq.so\n";
}

int main(int argc, char** argv) {
    // The ODBC libraries stay mapped to the end, so that LeakSanitizer can name them.
    for (const char* library : {"libodbc.so.2", "libodbcinst.so.2"})
        ::dlopen(library, RTLD_NOW | RTLD_NODELETE);
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
