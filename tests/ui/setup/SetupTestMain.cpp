// The setup dialog's tests: a QApplication on the offscreen platform unless one is given.
#include <QApplication>

#include "support/OdbcTestMain.h"

int main(int argc, char** argv) {
    return ov::test::RunOdbcTests<QApplication>(argc, argv, true);
}
