// The main of the dialog tests on the suite database: a QApplication (offscreen platform unless
// one is given) that also loads QtSql's ODBC driver.
#include <QApplication>

#include "support/OdbcTestMain.h"

int main(int argc, char** argv) {
    return ov::test::RunOdbcTests<QApplication>(argc, argv, true);
}
