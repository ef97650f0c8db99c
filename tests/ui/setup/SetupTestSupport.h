// What the setup dialog's tests share: boxes that record and answer, a setup dialog on the
// example suite database (the database fixture's SQLite data source) with the picker of the
// run, groups made in a line, and the user's moves on the real widgets.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QStringList>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "database/DatabaseConnection.h"
#include "model/CalcGroups.h"
#include "suite/SetupParams.h"
#include "ui/DialogBoxes.h"
#include "ui/SelectOneStationSensor.h"
#include "ui/Setup.h"

namespace ov::test {

// The example suite database of tests/database/suite_db_fixture.sh.
inline constexpr const char* SuiteDsn = "OVSuiteSQLite";

class TFakeDialogBoxes : public IDialogBoxes {
  public:
    void ShowError(const QString& text) override { Errors << text; }
    void ShowInformation(const QString& text) override { Informations << text; }
    TBoxAnswer AskYesNoCancel(const QString& text) override {
        Questions << text;
        if (Answers.empty()) return DefaultAnswer;
        const TBoxAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool ConfirmOkCancel(const QString& text) override {
        Confirmations << text;
        return ConfirmAnswer;
    }
    void Clear() {
        Errors.clear();
        Informations.clear();
        Questions.clear();
        Confirmations.clear();
    }

    QStringList Errors;
    QStringList Informations;
    QStringList Questions;
    QStringList Confirmations;
    std::deque<TBoxAnswer> Answers;  // for the questions, in turn; then DefaultAnswer
    TBoxAnswer DefaultAnswer = TBoxAnswer::baCancel;
    bool ConfirmAnswer = true;
};

// A group as the configuration file would hold it.
struct TGroupFields {
    int Number = 0;
    std::string Equation = {};
    std::string OutputStation = {};
    std::string OutputSensor = {};
    std::vector<std::string> Variables = {};
    std::vector<std::string> MultiVariables = {};
    bool Multi = false;
    int Trigger = -1;
    std::vector<std::string> Similar = {};
    std::string Filter = {};
};

inline std::unique_ptr<TCalcGroupItem> MakeGroup(const TGroupFields& fields) {
    auto group = std::make_unique<TCalcGroupItem>();
    group->CGIndex = fields.Number;
    group->GroupName = "CalcGroup:" + std::to_string(fields.Number);
    group->FuncName = fields.Equation;
    group->OutputStation = fields.OutputStation;
    group->OutputSensor = fields.OutputSensor;
    group->Variables = fields.Variables;
    group->MultiVariables = fields.MultiVariables;
    group->MultiStations = fields.Multi;
    group->MultiVariablesTrigger = fields.Trigger;
    group->SimilarStations = fields.Similar;
    group->Filter = fields.Filter;
    return group;
}

// The picker lives for the whole test process, as for the program's run.
inline TfrmSelectOneStationSensor& Picker() {
    static TfrmSelectOneStationSensor* picker = new TfrmSelectOneStationSensor;
    return *picker;
}

// One showing of the setup dialog on the example suite database.
class TSetupWorld {
  public:
    TSetupWorld() {
        DataServer.DatabaseAlias = SuiteDsn;
        DataServer.DatabaseUser = "ov";
        DataServer.StorageOption = soOracle;
    }
    void Add(const TGroupFields& fields) { Groups.Add(MakeGroup(fields)); }

    // Makes and shows the dialog (the showing loads the catalogue and the first group).
    TfrmOptionSetup& Show() {
        TSetupContext context{.Connection = Connection,
                              .Boxes = Boxes,
                              .Picker = Picker(),
                              .DataServer = DataServer,
                              .FilterSelect =
                                  [this](QWidget*, TDatabaseConnection&, QString& name) {
                                      ++FilterShown;
                                      if (FilterAnswer.isNull()) return false;
                                      name = FilterAnswer;
                                      return true;
                                  },
                              .ShowModal =
                                  [this](QDialog& dialog) {
                                      ++PickerShown;
                                      return PickerMove ? PickerMove(dialog)
                                                        : int(QDialog::Rejected);
                                  },
                              .HelpFile = HelpFile};
        if (RealFilterDialog) context.FilterSelect = nullptr;
        Form = std::make_unique<TfrmOptionSetup>(nullptr, Groups, context);
        Form->show();
        Form->activateWindow();
        if (!QTest::qWaitForWindowActive(Form.get())) ADD_FAILURE() << "the dialog is not active";
        return *Form;
    }

    TFakeDialogBoxes Boxes;
    TDatabaseConnection Connection{Boxes};
    TDataServerSetup DataServer;
    TCalcGroups Groups;
    QString FilterAnswer;  // the filter dialog's file name on OK; null: Cancel
    int FilterShown = 0;
    bool RealFilterDialog = false;            // "Browse" shows the filter dialog itself
    std::function<int(QDialog&)> PickerMove;  // what the user does in the picker
    int PickerShown = 0;
    QString HelpFile;  // what the Help button opens
    std::unique_ptr<TfrmOptionSetup> Form;
};

// ---- the user's moves ----------------------------------------------------------------------

// Lets the event loop wait for a moment, as it does between the user's moves (the dialog's
// actions follow its state then).
inline void Idle() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

// Chooses the item of a drop-down list as a user does (case ignored); false when absent.
inline bool Choose(QComboBox* box, const QString& text) {
    const int index = box->findText(text, Qt::MatchFixedString);
    if (index < 0) return false;
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
    return true;
}

// Types an equation and leaves the field for the Enable box.
inline void EnterEquation(TfrmOptionSetup& form, const QString& equation) {
    form.edtFunction->setFocus(Qt::MouseFocusReason);
    form.edtFunction->selectAll();
    if (equation.isEmpty()) {
        QTest::keyClick(form.edtFunction, Qt::Key_Delete);
    } else {
        QTest::keyClicks(form.edtFunction, equation);
    }
    form.chkEnable->setFocus(Qt::TabFocusReason);
}

inline QString Cell(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

// Column 0 and 1 of every row, "name=value".
inline QStringList Rows(const QTableWidget* grid) {
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r) rows << Cell(grid, r, 0) + "=" + Cell(grid, r, 1);
    return rows;
}

// Assigns a sensor to row r of the single-station grid through its drop-down list.
inline bool AssignSensor(TfrmOptionSetup& form, int row, const QString& sensor) {
    form.grdVariables->setFocus(Qt::MouseFocusReason);
    form.grdVariables->setCurrentCell(row, 1);
    if (!form.cbxVariable->isVisible()) return false;
    form.cbxVariable->setFocus(Qt::MouseFocusReason);
    if (!Choose(form.cbxVariable, sensor)) return false;
    form.chkEnable->setFocus(Qt::TabFocusReason);
    return true;
}

inline QStringList Texts(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    return texts;
}

}  // namespace ov::test
