// The setup end-to-end test's main: a QApplication on the offscreen platform unless one is
// given, with the example suite database's data source.
#include <QApplication>

#include "support/OdbcTestMain.h"

int main(int argc, char** argv) {
    return ov::test::RunOdbcTests<QApplication>(argc, argv, true);
}
