// ovcalc: OV Calc, the calculation engine's desktop program.
#include "app/Program.h"

int main(int argc, char** argv) {
    return ov::RunOVCalc(argc, argv);
}
