// What the group setup dialog's editor holds, without its widgets: how a group fills the
// editor and the editor a group, the rows an equation's analysis leaves in the variables
// grids, the checks of a save in the dialog's order and words, the output stations the
// catalogue offers and the numbers of new groups. The dialog (ui/Setup.h) moves it to and from
// its controls.
#pragma once

#include <string>
#include <vector>

#include "calc/GroupRules.h"
#include "catalogue/StationSensorCache.h"
#include "model/CalcGroups.h"

namespace ov {

// A row of a variables grid: the variable and its sensor (or station.sensor).
struct TVariableRow {
    std::string Name;
    std::string Value;
    bool operator==(const TVariableRow&) const = default;
};

// An output station the catalogue offers, with its sensors in catalogue order.
struct TOutputStation {
    std::string StationID;
    std::vector<std::string> Sensors;
    bool operator==(const TOutputStation&) const = default;
};
// Each station of the catalogue once (letter case ignored, written as its first entry has it),
// in alphabetical order.
std::vector<TOutputStation> OutputStations(const TStationSensorCache& catalogue);

// The name of the group numbered n, "CalcGroup:" followed by n.
std::string SetupGroupName(int n);
// The smallest number from FirstGroupNumber to LastGroupNumber that none of the group list's
// texts shows; 0 when none is free.
int FreeGroupNumber(const std::vector<std::string>& shown);

class TSetupForm {
  public:
    std::string Equation;                      // edtFunction (the group's text, not upper-cased)
    bool Enabled = true;                       // chkEnable
    bool SameStation = false;                  // rdoSameStation
    bool MultipleStations = false;             // rdoMultipleStations
    std::string Filter;                        // edtFilterFile, a file name as it stands
    std::string OutputStation;                 // cbxOutputStation's choice; empty: none
    std::string OutputSensor;                  // cbxOutputSensor's choice; empty: none
    std::vector<TVariableRow> Variables;       // grdVariables, top to bottom
    std::vector<TVariableRow> MultiVariables;  // grdVariablesMulti, as many rows
    int Trigger = -1;  // the last row of grdVariablesMulti whose trigger radio is checked; -1 none
    std::vector<std::string> SimilarStations;  // lstSiteSensors, top to bottom

    // The editor showing group. Both grids get the same rows: a group whose two lists differ
    // in length (written by hand) gets the longer list's rows in both, each grid's values from
    // its own list, and no list at all gives one empty row. A trigger past the last
    // multiple-station variable is pulled down to it in the group itself.
    static TSetupForm OfGroup(TCalcGroupItem& group);

    // The save's fields into group: the lists are emptied and refilled, one entry per row;
    // the mode is kept when neither radio is checked and the trigger when no radio is.
    void Store(TCalcGroupItem& group) const;

    // The first failing check of a save, in the dialog's order, raised as an Exception with
    // the dialog's message. hasSensor is the station catalogue the similar stations are
    // checked against.
    void Validate(const THasSensor& hasSensor) const;

    // The rows of both grids after the equation's analysis found names (sorted, without
    // regard to case): one row per name, keeping each grid's value of a name its rows (in the
    // same order) had, new names unassigned; no name leaves one empty row.
    void ListVariables(const std::vector<std::string>& names);
};

}  // namespace ov
