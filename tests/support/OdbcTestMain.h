// The main of the test programs that reach the suite database through ODBC: include this in
// the one file of the program that defines main, and run the tests with the application object
// they need (QtSql loads its ODBC driver only with one).
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

// LeakSanitizer's built-in suppressions of the program (tests/lsan-odbc.supp): the ODBC driver
// manager and drivers, not built with it, keep allocations to the process's end.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libodbcinst.so\nleak:libodbc.so\nleak:psqlodbcw.so\nleak:libsqlite3odbc\n"
           "leak:libpq.so\n";
}

namespace ov::test {

// Runs every test under a TApplication made from argc and argv; with offscreen, on the
// offscreen platform unless QT_QPA_PLATFORM names one.
template <class TApplication>
int RunOdbcTests(int argc, char** argv, bool offscreen = false) {
    // The ODBC libraries stay mapped to the end even when Qt unloads its driver plugin that
    // brought them in, so that LeakSanitizer can name them in the allocations they keep.
    for (const char* library : {"libodbc.so.2", "libodbcinst.so.2"})
        ::dlopen(library, RTLD_NOW | RTLD_NODELETE);
    if (offscreen && !std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result = 0;
    {
        TApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}

}  // namespace ov::test
