// The calculation group setup dialog "Setup": creates, edits, copies and deletes the main
// window's calculation groups in place, offering the stations and sensors of the suite
// database's station catalogue, the station/sensor picker and the filter dialog, and checking
// each equation with the calculator. Made for one showing and freed afterwards. Its controls
// are made in ui/SetupControls, its editor's mapping to and from a group and the checks of a
// save are ui/SetupForm; the dialog wires them together.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "calc/GroupRules.h"
#include "catalogue/CatalogueViews.h"
#include "catalogue/StationSensorCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupParams.h"
#include "ui/SetupControls.h"
#include "ui/SetupForm.h"

class QPushButton;
class QRadioButton;
class QTreeWidgetItem;

namespace ov {

class IDialogBoxes;
class TCatalogueTreeWidget;
class TDatabaseConnection;
class TfrmSelectOneStationSensor;

// Shows the filter dialog modally on the open connection: true on OK with fileName set.
using TFilterSelectProc =
    std::function<bool(QWidget* parent, TDatabaseConnection& connection, QString& fileName)>;
// Shows a dialog modally and answers its result (QDialog::Accepted or Rejected).
using TModalProc = std::function<int(QDialog& dialog)>;

// What the dialog works with besides the groups; everything outlives the dialog.
struct TSetupContext {
    TDatabaseConnection& Connection;      // opened at the showing, closed at the end
    IDialogBoxes& Boxes;                  // errors and questions
    TfrmSelectOneStationSensor& Picker;   // the picker of the whole run
    const TDataServerSetup& DataServer;   // read when the dialog is shown
    TFilterSelectProc FilterSelect = {};  // empty: the filter dialog
    TModalProc ShowModal = {};            // empty: QDialog::exec (the picker)
    QString HelpFile = {};                // the Help button opens it at the dialog's topic
};

class TfrmOptionSetup : public QDialog, public TSetupControls {
    Q_OBJECT
  public:
    // The dialog on groups (edited in place, not owned).
    TfrmOptionSetup(QWidget* parent, TCalcGroups& groups, TSetupContext context);
    // Frees the row controls, the similar stations and the catalogue; the picker forgets it.
    ~TfrmOptionSetup() override;

    // At least one save succeeded during the showing.
    bool SetupSaved() const { return setupSaved_; }

    // The dialog's state, for the tests.
    bool Saved() const { return saved_; }
    bool EquationChanged() const { return equationChanged_; }
    int ShownGroupIndex() const { return shownGroupIndex_; }
    const TCalcGroupItem* PendingGroup() const { return pendingGroup_.get(); }
    const QString& CatalogueFilter() const { return catalogueFilter_; }
    TStationSensorCache& StationCatalogue() { return *catalogue_; }
    const std::vector<QPushButton*>& BrowseButtons() const { return browseButtons_; }
    const std::vector<QRadioButton*>& TriggerButtons() const { return triggerButtons_; }

    // Action availability; also run whenever the event loop goes idle.
    void UpdateActions();

    // The dialog's operations, each as the control or action that runs it.
    void ReloadCatalogue();
    void RefreshOutputStations();
    void LoadGroup(int index);
    void PrepareRowControls(int position);
    void edtFunctionExit();  // the equation analysis, when the equation changed
    // Lists the equation's variables in both grids, keeping the assignments of the names that
    // remain; raises the calculator's error on a syntax error (the grids then stay as they are).
    void AnalyseEquation();
    void edtFilterFileExit();           // reloads the catalogue for a changed filter file
    void btnFilterClick();              // the filter dialog
    void BrowseClick(QObject* sender);  // a row's "..." button: the picker
    void AddSimilarStation(const std::string& stationID, const TStationSensorItem* entry);
    void AddNode(QTreeWidgetItem* node);
    void AddSelectedNode();  // the add button, a double click on the tree
    void AddAllSites();
    void DeleteSelectedSites();  // the remove button, a double click on the list, Delete
    void DeleteAllSites();
    // A drag over the similar-stations list is accepted only from the station tree; a drop
    // adds the tree's selected node.
    bool lstSiteSensorsDragOver(QObject* source) const;
    void lstSiteSensorsDragDrop(QObject* source);
    // The save: the editor checked (TSetupForm::Validate), then stored into the shown group
    // (a pending group gets its number). Raises the first failing check, or what the
    // equation's analysis or the storing raised.
    void StoreGroup();
    // Before leaving the editor: false when the user cancelled (or the save failed).
    bool AskSave();
    void cbxGroupChange();
    void cbxOutputStationChange();
    void actSaveExecute();
    void actNewExecute();
    void actCopyExecute();
    void actDeleteExecute();
    void actDeleteAllExecute();

  public Q_SLOTS:
    // The close request: refused when the user cancels the question about unsaved changes.
    void reject() override;
    // The dialog closes: the suite database is disconnected.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ConnectControls();
    void FormShow();
    void MarkUnsaved() { saved_ = false; }
    TSortMode ViewMode() const;
    // The smallest number from 1 to 999 that no cbxGroup item shows; 0 when none is free.
    int FreeGroupNumber() const;
    void ClearEditor();
    void NewPendingGroup();
    // What the editor holds now.
    TSetupForm ReadForm() const;
    // The rows of both grids, with the row controls of the multiple-station grid shown for
    // them (one empty row without them when the form has none).
    void ShowVariables(const TSetupForm& form);
    // The station catalogue's answer, for the similar stations' check.
    THasSensor CatalogueHasSensor() const;
    void PlaceRowControls(int position);
    void HideRowControls(int from);
    void UncheckTrigger(int position);
    void UpdateVariableEditor();
    void WriteVariableCell();
    void grdVariablesMultiSelectCell(int row, int column);
    void ShowError(const std::exception& error);

    TCalcGroups& editedGroups_;
    TSetupContext context_;
    int shownGroupIndex_ = -1;
    std::unique_ptr<TCalcGroupItem> pendingGroup_;
    bool saved_ = true;
    bool equationChanged_ = false;
    bool setupSaved_ = false;
    bool shown_ = false;
    QString catalogueFilter_;
    // Row position i of grdVariablesMulti: its "..." button and trigger radio (children of
    // the grid, kept while the dialog lives).
    std::vector<QPushButton*> browseButtons_;
    std::vector<QRadioButton*> triggerButtons_;
    std::unique_ptr<TStationSensorCache> catalogue_;
    std::unique_ptr<TCatalogueTreeWidget> leftTree_;
    // The station and sensors of each cbxOutputStation item; index = item position.
    std::vector<TOutputStation> outputStations_;
    // The texts of lstSiteSensors, for the duplicate check of large lists.
    std::unordered_set<std::string> similarIDs_;
};

}  // namespace ov
