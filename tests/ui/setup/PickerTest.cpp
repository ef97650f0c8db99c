// The station/sensor picker on the example suite database: which nodes can be chosen in each
// view, double clicks, an empty catalogue, the station whose only sensor has no name, and the
// view kept for the whole run while it re-sorts the setup dialog's catalogue.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>

#include "ScratchFolder.h"
#include "SetupTestSupport.h"
#include "database/CatalogueQueries.h"
#include "ui/CatalogueTreeWidget.h"

namespace ov {
namespace {

using test::Cell;
using test::Choose;
using test::Picker;

void ForEachNode(QTreeWidget* tree, const std::function<void(QTreeWidgetItem*)>& visit) {
    std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* node) {
        visit(node);
        for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i));
}

// A double click with the mouse as the window system sends it: press, release, double click,
// release.
void DoubleClick(QTreeWidget* tree, QTreeWidgetItem* node) {
    tree->scrollToItem(node);
    const QPoint at = tree->visualItemRect(node).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, at);
}

struct TLoaded {
    test::TFakeDialogBoxes Boxes;
    TDatabaseConnection Connection{Boxes};
    TStationSensorCache Catalogue;
    explicit TLoaded(const std::string& filter = {}) {
        Connection.SetLogin(test::SuiteDsn, "ov", "");
        EXPECT_TRUE(Connection.ConnectDatabase());
        EXPECT_TRUE(LoadStationCatalogue(Connection, Catalogue, filter));
    }
};

// Only a node without children can be chosen, and it carries the pair shown on its path. The
// unnamed sensor of TEST1 hangs on its station node, which has children: it cannot be chosen
// (but for in the sensors view, under "<NULL>").
TEST(Picker, LeavesOfEveryView) {
    TLoaded db;
    const int entries = db.Catalogue.Count();
    ASSERT_GT(entries, 150);
    TfrmSelectOneStationSensor picker;
    EXPECT_EQ(picker.windowTitle(), "Please Select Station.Sensor");
    EXPECT_EQ(picker.actSelect->text(), "&Select");
    EXPECT_EQ(picker.actSelect->toolTip(), "Select the current station.sensor.");
    EXPECT_EQ(picker.cbxView->count(), 10);
    picker.RebuildTree(db.Catalogue);
    for (int view = 0; view < 10; ++view) {
        Choose(picker.cbxView, picker.cbxView->itemText(view));
        EXPECT_EQ(picker.SelectedMode(), FirstSortMode + view);
        const int depth = view < 2 ? 2 : 3;
        int leaves = 0;
        ForEachNode(picker.tvwLeftTree, [&](QTreeWidgetItem* node) {
            picker.tvwLeftTree->setCurrentItem(node);
            const bool leaf = node->childCount() == 0;
            EXPECT_EQ(picker.actSelect->isEnabled(), leaf) << node->text(0).toStdString();
            EXPECT_EQ(picker.btnOK->isEnabled(), leaf);
            if (!leaf) return;
            ++leaves;
            const TStationSensorItem* entry = picker.SelectedItem();
            ASSERT_NE(entry, nullptr);
            int level = 1;
            for (const QTreeWidgetItem* up = node->parent(); up; up = up->parent()) ++level;
            EXPECT_EQ(level, depth);
            const QString station = QString::fromLatin1(entry->StationID);
            const QString sensor = QString::fromLatin1(entry->SensorName);
            EXPECT_EQ(node->text(0), view == 1 ? station : sensor);
            EXPECT_EQ(node->parent()->text(0),
                      view == 1 ? (sensor.isEmpty() ? "<NULL>" : sensor) : station);
        });
        EXPECT_EQ(leaves, view == 1 ? entries : entries - 1) << view;
    }
    Choose(picker.cbxView, "View By Stations");
}

// With nothing loaded the tree is empty and only Cancel closes; a double click chooses a pair
// but only expands or collapses a station.
TEST(Picker, DoubleClicksAndCancel) {
    TfrmSelectOneStationSensor picker;
    TStationSensorCache empty;
    picker.RebuildTree(empty);
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    EXPECT_EQ(picker.tvwLeftTree->topLevelItemCount(), 0);
    EXPECT_FALSE(picker.actSelect->isEnabled());
    picker.actSelect->trigger();
    EXPECT_TRUE(picker.isVisible());
    picker.btnCancel->click();
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(picker.result(), QDialog::Rejected);

    TLoaded db;
    picker.RebuildTree(db.Catalogue);
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    QTreeWidgetItem* station = picker.tvwLeftTree->findItems("RIVER1", Qt::MatchExactly)[0];
    DoubleClick(picker.tvwLeftTree, station);
    EXPECT_TRUE(picker.isVisible());
    EXPECT_EQ(picker.tvwLeftTree->currentItem(), station);
    const bool expanded = station->isExpanded();
    DoubleClick(picker.tvwLeftTree, station);
    EXPECT_NE(station->isExpanded(), expanded);
    EXPECT_TRUE(picker.isVisible());

    station->setExpanded(true);
    QTreeWidgetItem* sensor = station->child(1);
    DoubleClick(picker.tvwLeftTree, sensor);
    EXPECT_FALSE(picker.isVisible());
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    ASSERT_NE(picker.SelectedItem(), nullptr);
    EXPECT_EQ(picker.SelectedItem()->StationID + "." + picker.SelectedItem()->SensorName,
              "RIVER1." + sensor->text(0).toStdString());
}

// A station whose only entry has no sensor name is a node without children in the stations
// view: chosen, it gives the station, "." and nothing.
TEST(Picker, StationWithoutSensorName) {
    test::ScratchFolder folder;
    const std::string filter = (folder / "unnamed.flt").string();
    test::WriteFileText(filter, "OV_SITESENSORS.SENSORNAME IS NULL\r\n");
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "A",
               .Variables = {"A="},
               .MultiVariables = {"A="},
               .Multi = true,
               .Filter = filter});
    Choose(Picker().cbxView, "View By Stations");
    world.PickerMove = [](QDialog& dialog) {
        auto& picker = static_cast<TfrmSelectOneStationSensor&>(dialog);
        EXPECT_EQ(picker.tvwLeftTree->topLevelItemCount(), 1);
        picker.tvwLeftTree->setCurrentItem(picker.tvwLeftTree->topLevelItem(0));
        EXPECT_TRUE(picker.actSelect->isEnabled());
        picker.actSelect->trigger();
        return dialog.result();
    };
    TfrmOptionSetup& form = world.Show();
    EXPECT_EQ(form.StationCatalogue().Count(), 1);
    form.BrowseButtons()[0]->click();
    EXPECT_EQ(Cell(form.grdVariablesMulti, 0, 1), "TEST1.");
}

// The picker's view change re-sorts the shared catalogue; the setup dialog's tree keeps its
// nodes and their entries. The view chosen stays for the next showing.
TEST(Picker, ViewKeptForTheRun) {
    {
        test::TSetupWorld world;
        TfrmOptionSetup& form = world.Show();
        Choose(Picker().cbxView, "View By Stations");
        QStringList before;
        std::vector<std::pair<QString, const TStationSensorItem*>> entries;
        ForEachNode(form.tvwLeftTree, [&](QTreeWidgetItem* node) {
            before << node->text(0);
            entries.emplace_back(node->text(0), TCatalogueTreeWidget::ItemOf(node));
        });
        const std::string first = form.StationCatalogue().Items(0).StationID;
        Choose(Picker().cbxView, "View By Sensors");
        EXPECT_NE(form.StationCatalogue().Items(0).StationID, first);
        EXPECT_EQ(form.StationCatalogue().Items(0).SensorName, "");  // TEST1's unnamed sensor
        QStringList after;
        ForEachNode(form.tvwLeftTree, [&](QTreeWidgetItem* node) { after << node->text(0); });
        EXPECT_EQ(after, before);
        for (const auto& [text, entry] : entries) {
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(QString::fromLatin1(entry->StationID), text);
        }
        EXPECT_EQ(Picker().tvwLeftTree->topLevelItem(0)->text(0), "<NULL>");
    }
    // The dialog gone, the picker refers to nothing; the next showing rebuilds it in its view.
    EXPECT_EQ(Picker().tvwLeftTree->topLevelItemCount(), 0);
    test::TSetupWorld world;
    world.Show();
    EXPECT_EQ(Picker().cbxView->currentText(), "View By Sensors");
    EXPECT_EQ(Picker().tvwLeftTree->topLevelItem(0)->text(0), "<NULL>");
    Choose(Picker().cbxView, "View By Stations");
}

}  // namespace
}  // namespace ov
