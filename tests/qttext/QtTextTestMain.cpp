// The main of the text rule's test: a QApplication (offscreen platform unless one is given)
// that also loads QtSql's ODBC driver for the database edge.
#include <QApplication>

#include "support/OdbcTestMain.h"

int main(int argc, char** argv) {
    return ov::test::RunOdbcTests<QApplication>(argc, argv, true);
}
