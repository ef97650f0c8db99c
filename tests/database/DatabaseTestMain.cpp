// The database tests' main: QtSql needs an application object to load its ODBC driver.
#include <QCoreApplication>

#include "support/OdbcTestMain.h"

int main(int argc, char** argv) {
    return ov::test::RunOdbcTests<QCoreApplication>(argc, argv);
}
