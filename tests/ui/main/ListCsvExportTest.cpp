// "CSV書き出し(&E)..." in the ツール menu: the list as shown, its tab and filters, as CP932.
#include <QAction>
#include <QMenuBar>
#include <QTabBar>

#include "MainTestSupport.h"
#include "store/Codec.h"
#include "store/Date.h"
#include "ui/main/ListCsvExport.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class CsvExportMenu : public MainWindowTest {
protected:
    void SetUp() override {
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田"),
             item(ItemKind::GasStation, "駅前SS"), item(ItemKind::Vehicle, "ワゴン")});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("10");  // ワゴン hidden
        s.setDriverMask("1");
        auto fuel = makeRecord(encodeDate(2003, 4, 1), 0, 1, 4500, 1);
        fuel.setDistance2(32.25);
        fuel.setTax(225);
        fuel.setPlace(2);
        fuel.setRemarks("満タン, \"洗車\"");
        auto hidden = makeRecord(encodeDate(2003, 4, 2), 3, 1, 100, 1);
        auto drive = makeRecord(encodeDate(2003, 4, 3), 0, 1, 0, 0);
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {fuel, hidden, drive});
    }
    void TearDown() override {
        quil::ui::ListCsvExport::setFileChooserForTesting({});
        MainWindowTest::TearDown();
    }
};

}  // namespace

TEST_F(CsvExportMenu, SitsInTheToolsMenuBeforeHelp) {
    start();
    const auto menus = main->menuBar()->actions();
    int tools = -1, help = -1;
    for (int i = 0; i < menus.size(); ++i) {
        if (menus[i]->text() == QStringLiteral("ツール(&T)")) tools = i;
        if (menus[i]->text() == QStringLiteral("ヘルプ(&H)")) help = i;
    }
    ASSERT_GE(tools, 0);
    EXPECT_EQ(tools + 1, help);
    QAction* a = main->action(QStringLiteral("CsvExport1"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(), QStringLiteral("CSV書き出し(&E)..."));
}

TEST_F(CsvExportMenu, WritesTheRowsOfTheCurrentTabAsShown) {
    start();
    main->TabControl1->setCurrentIndex(1);
    QString suggested;
    const std::string target = tmp.file("給油.csv");
    quil::ui::ListCsvExport::setFileChooserForTesting([&](const QString& s) {
        suggested = s;
        return QString::fromStdString(target);
    });
    main->action(QStringLiteral("CsvExport1"))->trigger();
    EXPECT_TRUE(suggested.endsWith(QStringLiteral("給油記録.csv")));
    EXPECT_EQ(
        readBytes(target),
        toCp932("No,年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
                "1,2003/04/01,軽トラ,山田,32.3,4500,225,駅前SS,\"満タン, \"\"洗車\"\"\"\r\n"));

    // The UTF-8 choice writes the same rows in UTF-8, after the byte-order mark Excel needs.
    quil::ui::ListCsvExport::write(*main->listModel(), tmp.file("utf8.csv"),
                                   quil::store::TextEncoding::Utf8);
    EXPECT_EQ(readBytes(tmp.file("utf8.csv")),
              "\xEF\xBB\xBF" + fromCp932(*readBytes(target)));

    // Cancelling the file dialog writes nothing.
    std::filesystem::remove(target);
    quil::ui::ListCsvExport::setFileChooserForTesting([](const QString&) { return QString(); });
    main->action(QStringLiteral("CsvExport1"))->trigger();
    EXPECT_FALSE(std::filesystem::exists(target));
}
