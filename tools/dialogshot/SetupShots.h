// dialogshot's pictures of the group setup dialog and the station/sensor picker.
#pragma once

// The setup dialog on the groups of EXAMPLES/OVCalc.OVG and the suite database behind the data
// source dsn, written as DIR/setup-dialog.png (a single-station group with its sensor list
// open), DIR/setup-multiple.png (the multiple-station group) and DIR/picker.png. Exit status:
// 0 when all three were written.
int SetupPictures(const char* examples, const char* dsn, const char* dir);
