// The Qt parts of the data-aware layer on the offscreen platform: the record grid's model,
// checked by Qt's model tester over a large table, and the navigator bar.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <cstdio>

#include "document/BoundFields.h"
#include "document/DataSource.h"
#include "document/gui/BoundEdit.h"
#include "document/gui/RecordGrid.h"
#include "document/gui/RecordGridModel.h"
#include "edit/gui/MyDBNavigator97.h"
#include "engine/Query.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"
#include "support/ScriptedUserInterface.h"

namespace mv32::test {
namespace {

using document::GridColumn;
using document::RecordGridModel;
using edit::NavButton;

class DataWindows : public ::testing::Test {
protected:
    std::shared_ptr<MemFileSystem> fs = std::make_shared<MemFileSystem>();
    engine::Table table{fs};
    document::DataSource source;
    ScriptedUserInterface ui;

    void fill(int rows) {
        table.setDirectory("/d");
        table.setTableName("liste");
        table.setFieldDefs({{"Name", engine::FieldType::Text, 20},
                            {"Groesse", engine::FieldType::Int64, 0},
                            {"Memo", engine::FieldType::Memo, 0}});
        table.createTable();
        table.addIndex("", "Name");
        table.open();
        table.beginBulk();
        char name[16];
        for (int i = 0; i < rows; ++i) {
            std::snprintf(name, sizeof name, "D%07d", i);
            table.append();
            table.setAsString("Name", name);
            table.setAsInteger("Groesse", i);
            if (i % 1000 == 0) table.setAsString("Memo", "Beschreibung");
            table.post();
        }
        table.endBulk();
        table.first();
        source.setTable(table);
    }
    static GridColumn column(const char* field, const char* title, int width,
                             Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        GridColumn c;
        c.field = field;
        c.title = QString::fromUtf8(title);
        c.width = width;
        c.alignment = align;
        return c;
    }
    std::vector<GridColumn> columns() {
        return {column("Name", "Dateiname", 200),
                column("Groesse", "Größe", 80, Qt::AlignRight | Qt::AlignVCenter),
                column("Memo", "Memo", 60)};
    }
};

}  // namespace

TEST_F(DataWindows, TheGridModelReadsOnlyTheRowsShownAndMapsRowsToRecords) {
    const int rows = 1000000;
    fill(rows);
    RecordGridModel model(source, columns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), rows);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Größe");
    EXPECT_EQ(model.data(model.index(150000, 0)).toString(), "D0150000");
    EXPECT_EQ(model.data(model.index(150001, 2)).toString(), "");
    EXPECT_EQ(model.data(model.index(150000, 2)).toString(), "(Memo)");
    EXPECT_EQ(model.data(model.index(rows - 1, 1)).toString(), QString::number(rows - 1));
    EXPECT_EQ(model.data(model.index(rows - 1, 1), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);

    // A view reads what it shows, not the table.
    QTableView view;
    view.setModel(&model);
    view.resize(400, 300);
    view.show();
    view.scrollTo(model.index(200000, 0));
    QApplication::processEvents();
    EXPECT_LT(model.rowsRead(), 2000);

    // The current row follows the cursor and moves it.
    std::vector<int> current;
    QObject::connect(&model, &RecordGridModel::currentRowChanged,
                     [&](int r) { current.push_back(r); });
    table.moveTo(42);
    EXPECT_EQ(current.back(), 41);
    model.setCurrentRow(7);
    EXPECT_EQ(table.recNo(), 8);
    EXPECT_EQ(table.asString("Name"), "D0000007");

    // Selected rows stay their records when another record goes.
    auto marks = model.bookmarks({10, 20, 30});
    table.moveTo(15);
    table.remove();
    EXPECT_EQ(model.rowCount(), rows - 1);
    std::vector<std::string> names;
    for (const auto& m : marks) {
        table.gotoBookmark(m);
        names.push_back(table.asString("Name"));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"D0000010", "D0000020", "D0000030"}));
    // An edit of the current record shows once it is posted.
    table.moveTo(1);
    table.edit();
    table.setAsInteger("Groesse", -5);
    table.post();
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "-5");
}

// A search result that is found as it is read grows under the grid as the view reaches its
// end or the cursor goes further, and never shows a row twice or leaves one out.
TEST_F(DataWindows, TheGridGrowsWithAResultFoundAsItIsRead) {
    const int rows = 200000;
    fill(rows);
    engine::Query q(fs);
    q.setDirectory("/d");
    q.useTable(table);
    q.setSql("SELECT Name, Groesse FROM liste WHERE Groesse >= 10");
    q.open();
    document::DataSource results;
    results.setCursor(q);
    RecordGridModel model(results, {column("Name", "Dateiname", 200)});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const int firstRows = model.rowCount();
    EXPECT_GT(firstRows, 0);
    EXPECT_LT(firstRows, rows - 10);
    EXPECT_TRUE(model.canFetchMore(QModelIndex()));
    model.fetchMore(QModelIndex());
    EXPECT_GT(model.rowCount(), firstRows);

    // The view fetches as it scrolls to the end.
    QTableView view;
    view.setModel(&model);
    view.resize(400, 300);
    view.show();
    for (int i = 0; i < 5; ++i) {
        view.scrollToBottom();
        QApplication::processEvents();
    }
    EXPECT_GT(model.rowCount(), firstRows + 1000);

    // The cursor going to the end finds the rest, and the grid shows it.
    std::vector<int> current;
    QObject::connect(&model, &RecordGridModel::currentRowChanged,
                     [&](int r) { current.push_back(r); });
    q.last();
    EXPECT_FALSE(model.canFetchMore(QModelIndex()));
    EXPECT_EQ(model.rowCount(), rows - 10);
    EXPECT_EQ(current.back(), rows - 11);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "D0000010");
    EXPECT_EQ(model.data(model.index(rows - 11, 0)).toString(), "D0199999");
}

// The grid view: its current row and the cursor follow each other, rows picked with Ctrl
// stay their records when another record goes, and it carries its window's title as its name.
TEST_F(DataWindows, TheGridAndTheCursorFollowEachOther) {
    fill(3000);
    document::RecordGrid grid(source, columns(), "Dateiliste");
    EXPECT_EQ(grid.accessibleName(), "Dateiliste");
    grid.resize(500, 300);
    grid.show();
    EXPECT_EQ(grid.currentIndex().row(), 0);
    table.moveTo(2500);
    EXPECT_EQ(grid.currentIndex().row(), 2499);
    EXPECT_GE(grid.rowAt(grid.visualRect(grid.currentIndex()).center().y()), 0);

    auto click = [&](int row, Qt::KeyboardModifiers mods = {}) {
        grid.scrollTo(grid.model()->index(row, 0));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, mods,
                          grid.visualRect(grid.model()->index(row, 1)).center());
    };
    click(2490);
    EXPECT_EQ(table.recNo(), 2491);
    click(2495, Qt::ControlModifier);
    click(2497, Qt::ControlModifier);
    EXPECT_EQ(table.recNo(), 2498);
    EXPECT_EQ(grid.selectedRecordNumbers(), (std::vector<int64_t>{2491, 2496, 2498}));
    QTest::keyClick(&grid, Qt::Key_Up);
    EXPECT_EQ(table.recNo(), 2497);

    click(2490);
    click(2495, Qt::ControlModifier);
    const auto marks = grid.selectedBookmarks();
    table.moveTo(10);
    table.remove();
    std::vector<std::string> names;
    for (const auto& m : marks) {
        table.gotoBookmark(m);
        names.push_back(table.asString("Name"));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"D0002490", "D0002495"}));
    EXPECT_EQ(grid.currentIndex().row(), table.recNo() - 1);
}

TEST_F(DataWindows, TheNavigatorBarShowsTheNavigatorAndNamesItsButtons) {
    fill(3);
    edit::TMyDBNavigator97 bar(ui);
    EXPECT_EQ(bar.size(), QSize(264, 25));
    bar.setHints({"Erster", "Voriger", "Nächster", "Letzter", "Hinzufügen", "Löschen", "Edit",
                  "Speichern", "Rückgängig", "Refresh"});
    EXPECT_EQ(bar.button(NavButton::Next)->accessibleName(), "Nächster");
    EXPECT_EQ(bar.button(NavButton::Bookmark)->accessibleName(), "Bookmark");  // its default
    EXPECT_FALSE(bar.button(NavButton::Next)->isEnabled());                    // no data source yet
    bar.setDataSource(&source);
    EXPECT_TRUE(bar.button(NavButton::Next)->isEnabled());
    EXPECT_FALSE(bar.button(NavButton::Prior)->isEnabled());

    bar.button(NavButton::Bookmark)->click();
    EXPECT_TRUE(bar.button(NavButton::Bookmark)->isChecked());
    bar.button(NavButton::Last)->click();
    EXPECT_EQ(table.recNo(), 3);
    EXPECT_FALSE(bar.button(NavButton::Next)->isEnabled());
    bar.button(NavButton::Bookmark)->click();
    EXPECT_EQ(table.recNo(), 1);
    EXPECT_FALSE(bar.button(NavButton::Bookmark)->isChecked());

    // Six buttons on 100 pixels.
    std::array<bool, edit::kNavButtons> visible{true,  true,  true,  true, false, true,
                                                false, false, false, true, false};
    bar.resize(100, 25);
    bar.setVisibleButtons(visible);
    std::vector<int> widths;
    for (int i = 0; i < edit::kNavButtons; ++i) {
        auto* b = bar.button(static_cast<NavButton>(i));
        if (!b->isHidden()) widths.push_back(b->width());
    }
    EXPECT_EQ(widths, (std::vector<int>{17, 17, 17, 17, 16, 16}));

    // An error of an action is shown as the program shows errors.
    table.edit();
    table.setAsString("Name", "D0000002");  // the key of another record
    bar.button(NavButton::Post)->click();
    ASSERT_FALSE(ui.calls().empty());
    EXPECT_EQ(ui.calls().back().rfind("error \"Schlüsselverletzung", 0), 0u) << ui.calls().back();
}

TEST_F(DataWindows, ABoundBoxIsAnAdapterOfTheRule) {
    fill(2);
    document::BoundFields fields(source);
    QLineEdit box;
    document::bindEdit(fields, &box, "Name");
    EXPECT_EQ(box.text(), "D0000000");
    EXPECT_FALSE(box.isReadOnly());
    QTest::keyClick(&box, Qt::Key_End);
    QTest::keyClicks(&box, "x");
    EXPECT_EQ(table.state(), engine::DataSetState::Edit);
    table.next();  // posts what was typed
    EXPECT_EQ(box.text(), "D0000001");
    table.first();
    EXPECT_EQ(box.text(), "D0000000x");
    // Text the program sets is shown without counting as typed.
    fields.setText(0, "vom Programm");
    EXPECT_EQ(box.text(), "vom Programm");
    EXPECT_EQ(table.state(), engine::DataSetState::Browse);
}

}  // namespace mv32::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
