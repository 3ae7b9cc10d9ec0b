#include "gui/transfer/managewindow.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

namespace {

using SendList = QList<QPair<QString, QString>>;

QStringList rows(ManageWindow *window)
{
    auto *table = window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row)
        out.append(QStringLiteral("%1|%2|%3")
                       .arg(table->item(row, 0)->text(), table->item(row, 1)->text(), table->item(row, 2)->text()));
    return out;
}

QString address(ManageWindow *window)
{
    return window->findChild<QLabel *>(QStringLiteral("address"))->text();
}

QTableWidget *table(ManageWindow *window)
{
    return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

void doubleClickRow(ManageWindow *window, int row)
{
    QTableWidget *view = table(window);
    const QRect cell = view->visualItemRect(view->item(row, 0));
    // An item view takes a double click only after the press that begins it.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
}

QMenu *openMenu()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        if (auto *menu = qobject_cast<QMenu *>(widget); menu && menu->isVisible())
            return menu;
    return nullptr;
}

// Right-clicks a point of the table and, when a menu opens, chooses "删除".
bool removeAt(ManageWindow *window, const QPoint &point)
{
    QTableWidget *view = table(window);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, view->viewport()->mapToGlobal(point));
    QApplication::sendEvent(view->viewport(), &event);
    QMenu *menu = openMenu();
    if (!menu)
        return false;
    const QList<QAction *> actions = menu->actions();
    if (actions.size() != 1 || actions.first()->text() != QStringLiteral("删除"))
        return false;
    actions.first()->trigger();
    menu->hide();
    return true;
}

QPoint rowCenter(ManageWindow *window, int row)
{
    return table(window)->visualItemRect(table(window)->item(row, 0)).center();
}

} // namespace

class TestManageWindow : public QObject
{
    Q_OBJECT

private slots:
    void plainFilesAtTheRoot();
    void browsesTheTree();
    void upAtTheRootIsRefused();
    void removals_data();
    void removals();
    void rightClickBelowTheRowsOpensNoMenu();
};

void TestManageWindow::plainFilesAtTheRoot()
{
    ManageWindow window({ { QStringLiteral("one.txt"), QStringLiteral("1B") },
                            { QStringLiteral("two.txt"), QStringLiteral("2.50KB") } },
        nullptr);
    QCOMPARE(window.windowTitle(), QStringLiteral("管理发送文件"));
    QCOMPARE(window.windowModality(), Qt::ApplicationModal);
    QCOMPARE(address(&window), QStringLiteral("/"));
    QCOMPARE(rows(&window), QStringList({ QStringLiteral("one.txt|文件|1B"), QStringLiteral("two.txt|文件|2.50KB") }));
    auto *buttons = window.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("保存"));
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

void TestManageWindow::browsesTheTree()
{
    ManageWindow window(
        { { QStringLiteral("a/x.txt"), QStringLiteral("1B") }, { QStringLiteral("a/b/y.txt"), QStringLiteral("2B") },
            { QStringLiteral("top.txt"), QStringLiteral("3B") },
            { QStringLiteral("a/B/z.txt"), QStringLiteral("4B") } },
        nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(rows(&window), QStringList({ QStringLiteral("a|文件夹|"), QStringLiteral("top.txt|文件|3B") }));
    doubleClickRow(&window, 1); // a file: nothing happens
    QCOMPARE(address(&window), QStringLiteral("/"));
    doubleClickRow(&window, 0);
    QCOMPARE(address(&window), QStringLiteral("/a/"));
    // Subfolders by name, upper case first, then the files in list order.
    QCOMPARE(rows(&window),
        QStringList({ QStringLiteral("B|文件夹|"), QStringLiteral("b|文件夹|"), QStringLiteral("x.txt|文件|1B") }));
    doubleClickRow(&window, 1);
    QCOMPARE(address(&window), QStringLiteral("/a/b/"));
    QCOMPARE(rows(&window), QStringList({ QStringLiteral("y.txt|文件|2B") }));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("up_btn")), Qt::LeftButton);
    QCOMPARE(address(&window), QStringLiteral("/a/"));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("up_btn")), Qt::LeftButton);
    QCOMPARE(address(&window), QStringLiteral("/"));

    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR")) {
        doubleClickRow(&window, 0);
        QTest::qWait(200);
        window.grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/managewindow.png"));
    }
}

void TestManageWindow::upAtTheRootIsRefused()
{
    ManageWindow window({ { QStringLiteral("a/x.txt"), QStringLiteral("1B") } }, nullptr);
    window.show();
    testsupport::ModalAnswerer answerer;
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("up_btn")), Qt::LeftButton);
    QCOMPARE(answerer.texts(), QStringList({ QStringLiteral("已经是根目录了！") }));
    QCOMPARE(answerer.titles(), QStringList({ QStringLiteral("错误") }));
    QCOMPARE(address(&window), QStringLiteral("/"));
    QCOMPARE(rows(&window), QStringList({ QStringLiteral("a|文件夹|") }));
}

void TestManageWindow::removals_data()
{
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("save");
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<QStringList>("left");
    QTest::addRow("folder, saved") << QStringList() << 0 << true << QList<int> { 3, 1, 2 }
                                   << QStringList({ QStringLiteral("top.txt|文件|1B") });
    QTest::addRow("folder, cancelled") << QStringList() << 0 << false << QList<int>()
                                       << QStringList({ QStringLiteral("top.txt|文件|1B") });
    QTest::addRow("file in a folder") << QStringList({ QStringLiteral("a") }) << 1 << true << QList<int> { 3 }
                                      << QStringList({ QStringLiteral("b|文件夹|") });
}

void TestManageWindow::removals()
{
    QFETCH(QStringList, path);
    QFETCH(int, row);
    QFETCH(bool, save);
    QFETCH(QList<int>, reported);
    QFETCH(QStringList, left);
    QPointer<ManageWindow> window = new ManageWindow(
        { { QStringLiteral("top.txt"), QStringLiteral("1B") }, { QStringLiteral("a/b/y.txt"), QStringLiteral("2B") },
            { QStringLiteral("a/b/z.txt"), QStringLiteral("3B") },
            { QStringLiteral("a/x.txt"), QStringLiteral("4B") } },
        nullptr);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QSignalSpy saved(window.data(), &ManageWindow::saveSetting);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    for (const QString &folder : path) {
        QCOMPARE(table(window)->item(0, 0)->text(), folder);
        doubleClickRow(window, 0);
    }
    QVERIFY(removeAt(window, rowCenter(window, row)));
    QCOMPARE(rows(window), left);
    auto *buttons = window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QTest::mouseClick(buttons->button(save ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
    QTRY_VERIFY(!window);
    QCOMPARE(saved.count(), save ? 1 : 0);
    if (save)
        QCOMPARE(saved.at(0).at(0).value<QList<int>>(), reported);
}

void TestManageWindow::rightClickBelowTheRowsOpensNoMenu()
{
    ManageWindow window({ { QStringLiteral("x.txt"), QStringLiteral("1B") } }, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint below = rowCenter(&window, 0) + QPoint(0, 5 * table(&window)->rowHeight(0));
    QVERIFY(!removeAt(&window, below));
    QCOMPARE(rows(&window), QStringList({ QStringLiteral("x.txt|文件|1B") }));
    // The same gesture on the row does open it.
    QVERIFY(removeAt(&window, rowCenter(&window, 0)));
    QVERIFY(rows(&window).isEmpty());
}

ORVEX_TEST_MAIN(TestManageWindow)
#include "tst_managewindow.moc"
