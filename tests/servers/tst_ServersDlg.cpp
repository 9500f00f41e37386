#include "CServersDlg.h"
#include "ConnectionRegistry.h"
#include "DialogUnits.h"
#include "HelpRequest.h"
#include "LayoutFaults.h"
#include "MessageBox.h"
#include "ScriptedDictServer.h"
#include "TreeCtrl.h"
#include "WaitUntil.h"

#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <map>

namespace {
const QString Information =
    QStringLiteral("|Information|") + QString::number(static_cast<int>(MessageIcon::Information));
const QString Duplicate = "This server has already been added" + Information;
const QString OutOfRange = "Port number must be between 1 and 65535 inclusive" + Information;
const QString ControlCharacter = "Host name must not contain control characters" + Information;
const QString NotANumber =
    QStringLiteral("Please enter an integer.|Quorlex|") + QString::number(static_cast<int>(MessageIcon::Warning));

template <typename T> T* Child(const QDialog& dialog, const char* name)
{
    T* child = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no control %s", name);
    return child;
}

QLineEdit* Host(const QDialog& dialog)
{
    return Child<QLineEdit>(dialog, "hostName");
}
QSpinBox* Port(const QDialog& dialog)
{
    return Child<QSpinBox>(dialog, "portNumber");
}
QTreeWidget* List(const QDialog& dialog)
{
    return Child<QTreeWidget>(dialog, "serverList");
}
QPushButton* Button(const QDialog& dialog, const char* name)
{
    return Child<QPushButton>(dialog, name);
}

void Click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

void TypePort(QSpinBox* port, const QString& text)
{
    QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(port, Qt::Key_Delete);
    QTest::keyClicks(port, text);
}

QStringList Rows(const QDialog& dialog)
{
    QStringList rows;
    QTreeWidget* list = List(dialog);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + u' ' + list->topLevelItem(i)->text(1);
    return rows;
}

bool IsFocused(const QDialog& dialog, const QWidget* widget)
{
    const QWidget* focus = dialog.focusWidget();
    return focus && (focus == widget || focus->parentWidget() == widget);
}
}  // namespace

class TestServersDlg : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void opensWithEmptyFieldsAndTheListOfServers();
    void controlsSitInDialogUnits();
    void tabOrderFollowsTheTemplate();
    void emptyHostDoesNothing();
    void duplicateHostIsRefused();
    void otherLetterCaseIsANewServer();
    void badInputIsRefused_data();
    void badInputIsRefused();
    void portFieldTakesDigitsOnly();
    void upDownStepsWithinRangeWithoutWrap();
    void successfulAddConnectsAndSortsTheRowIn();
    void deleteSelectedRemovesTheBranchAtOnce();
    void enterClosesWithoutAdding_data();
    void enterClosesWithoutAdding();
    void escapeKeepsWhatWasDone();
    void helpButtonRequestsHelp();

private:
    int Run(const std::function<void(CServersDlg&)>& steps);
    void AddServer(const std::string& host);
    QStringList Roots() const;

    QWidget m_window;
    QTreeWidget* m_pResults = new QTreeWidget(&m_window);
    TreeCtrl m_tree{m_pResults};
    ScriptedDictServer m_server;
    QStringList m_messages;
    int m_nHelpRequests = 0;
};

void TestServersDlg::initTestCase()
{
    QVERIFY(m_server.Listen());
    m_server.EnableDefaultDictResponder();
    ConnectionRegistry::Instance().AttachTree(&m_tree);
    SetMessageBoxObserver([this](const MessageBoxRecord& record) {
        m_messages << QString::fromStdString(record.text + "|" + record.caption + "|")
                + QString::number(static_cast<int>(record.icon));
    });
    SetHelpHandler([this] { ++m_nHelpRequests; });
}

void TestServersDlg::init()
{
    ConnectionRegistry::Instance().RemoveAllServers();
    m_messages.clear();
    m_nHelpRequests = 0;
}

// Runs the dialog modally; the steps run inside its event loop.
int TestServersDlg::Run(const std::function<void(CServersDlg&)>& steps)
{
    CServersDlg dialog(&m_window);
    QTimer::singleShot(0, &dialog, [&] {
        steps(dialog);
        if (dialog.isVisible())
            dialog.done(-1);
    });
    return dialog.exec();
}

void TestServersDlg::AddServer(const std::string& host)
{
    ConnectionRegistry::Instance().AddServer(host, m_server.Port());
}

QStringList TestServersDlg::Roots() const
{
    QStringList roots;
    for (int i = 0; i < m_tree.GetRootCount(); ++i)
        roots << QString::fromStdString(m_tree.GetItemText(m_tree.GetRootItem(i)));
    return roots;
}

void TestServersDlg::opensWithEmptyFieldsAndTheListOfServers()
{
    Run([](CServersDlg& dialog) {
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Configure DICT Servers"));
        QCOMPARE(Rows(dialog), QStringList());
        QCOMPARE(Host(dialog)->text(), QString());
        QCOMPARE(Port(dialog)->text(), QStringLiteral("2628"));
        QVERIFY(IsFocused(dialog, Button(dialog, "closeButton")));
        QVERIFY(Button(dialog, "closeButton")->isDefault());
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    });
    AddServer("localhost");
    AddServer("127.0.0.1");
    AddServer("LOCALHOST");
    const QString port = QString::number(m_server.Port());
    Run([&](CServersDlg& dialog) {
        QCOMPARE(Rows(dialog), (QStringList{"127.0.0.1 " + port, "LOCALHOST " + port, "localhost " + port}));
        QCOMPARE(Port(dialog)->text(), QStringLiteral("2628"));
    });
}

void TestServersDlg::controlsSitInDialogUnits()
{
    Run([](CServersDlg& dialog) {
        const QFont font = dialog.font();
        const QFontMetrics metrics(font);
        const int bx = (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
        const int by = metrics.height();
        const auto px = [&](int x, int y, int w, int h) {
            const auto round = [](int du, int base, int div) { return (du * base + div / 2) / div; };
            return QRect(round(x, bx, 4), round(y, by, 8), round(w, bx, 4), round(h, by, 8));
        };
        QCOMPARE(DialogUnitsToPixels(font, 307, 159, 50, 14), px(307, 159, 50, 14));
        QCOMPARE(dialog.size(), px(0, 0, 373, 212).size());
        const struct {
            const char* name;
            QRect rect;
            QString text;
        } buttons[] = {
            {"closeButton", px(7, 191, 50, 14), "&Close"},
            {"addButton", px(307, 159, 50, 14), "&Add"},
            {"deleteButton", px(14, 121, 67, 14), "&Delete Selected"},
            {"helpButton", px(316, 191, 50, 14), "&Help"},
        };
        for (const auto& button : buttons) {
            QCOMPARE(Button(dialog, button.name)->geometry(), button.rect);
            QCOMPARE(Button(dialog, button.name)->text(), button.text);
        }
        QCOMPARE(List(dialog)->geometry(), px(14, 18, 343, 100));
        QCOMPARE(Host(dialog)->geometry(), px(93, 159, 99, 14));
        QCOMPARE(Port(dialog)->geometry(), px(245, 159, 51, 14));
        // A label keeps its place and may grow to the width of its text.
        const std::map<QString, QRect> labelRects{{"Host Name/IP Address:", px(15, 162, 76, 8)},
                                                  {"Port Number:", px(199, 162, 44, 8)}};
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            labels << label->text();
            const auto placed = labelRects.find(label->text());
            QVERIFY(placed != labelRects.end());
            QCOMPARE(label->geometry().topLeft(), placed->second.topLeft());
            QCOMPARE(label->height(), placed->second.height());
            QVERIFY(label->width() >= placed->second.width());
        }
        QCOMPARE(labels, (QStringList{"Host Name/IP Address:", "Port Number:"}));
        QCOMPARE(LayoutFaults(dialog).join("; "), QString());
        QStringList groups;
        for (const QGroupBox* group : dialog.findChildren<QGroupBox*>())
            groups << group->title();
        QCOMPARE(groups, (QStringList{"Configured Servers", "New Server"}));
        QTreeWidget* list = List(dialog);
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Host name"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Port number"));
        QCOMPARE(list->columnWidth(0), 300);
        QCOMPARE(list->header()->sectionsClickable(), false);
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    });
}

void TestServersDlg::tabOrderFollowsTheTemplate()
{
    Run([](CServersDlg& dialog) {
        const QList<QWidget*> order{Button(dialog, "closeButton"),
                                    List(dialog),
                                    Host(dialog),
                                    Port(dialog),
                                    Button(dialog, "addButton"),
                                    Button(dialog, "deleteButton"),
                                    Button(dialog, "helpButton")};
        for (qsizetype i = 0; i <= order.size(); ++i) {
            QVERIFY2(IsFocused(dialog, order[i % order.size()]), qPrintable(QString::number(i)));
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        }
    });
}

void TestServersDlg::emptyHostDoesNothing()
{
    Run([&](CServersDlg& dialog) {
        TypePort(Port(dialog), "0");
        Click(Button(dialog, "addButton"));
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(Rows(dialog), QStringList());
        QCOMPARE(Port(dialog)->text(), QStringLiteral("0"));
        QVERIFY(dialog.isVisible());
    });
    QCOMPARE(Roots(), QStringList());
}

void TestServersDlg::duplicateHostIsRefused()
{
    ConnectionRegistry::Instance().AddServer("127.0.0.1", 2700);
    Run([&](CServersDlg& dialog) {
        QTest::keyClicks(Host(dialog), "127.0.0.1");
        TypePort(Port(dialog), "99999");  // a bad port too: only the duplicate is reported
        Click(Button(dialog, "addButton"));
        QCOMPARE(m_messages, QStringList{Duplicate});
        QCOMPARE(Host(dialog)->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(Port(dialog)->text(), QStringLiteral("99999"));
        QCOMPARE(Rows(dialog), QStringList{"127.0.0.1 2700"});
    });
    QCOMPARE(Roots(), QStringList{"127.0.0.1:2700"});
}

void TestServersDlg::otherLetterCaseIsANewServer()
{
    AddServer("localhost");
    const QString port = QString::number(m_server.Port());
    Run([&](CServersDlg& dialog) {
        QTest::keyClicks(Host(dialog), "LocalHost");
        TypePort(Port(dialog), port);
        Click(Button(dialog, "addButton"));
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(Rows(dialog), (QStringList{"LocalHost " + port, "localhost " + port}));
    });
    QCOMPARE(Roots(), (QStringList{"localhost:" + port, "LocalHost:" + port}));
}

void TestServersDlg::badInputIsRefused_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("portAfter");
    QTest::addColumn<QString>("focus");
    const QString host = "127.0.0.2";
    QTest::newRow("0") << host << "0" << OutOfRange << "2628"
                       << "addButton";
    QTest::newRow("65536") << host << "65536" << OutOfRange << "2628"
                           << "addButton";
    QTest::newRow("70000") << host << "70000" << OutOfRange << "2628"
                           << "addButton";
    QTest::newRow("2147483647") << host << "2147483647" << OutOfRange << "2628"
                                << "addButton";
    QTest::newRow("empty") << host << "" << NotANumber << ""
                           << "portNumber";
    // Cut at the NUL, the name would truncate the file "victim".
    QTest::newRow("NUL in host") << QString("victim") + QChar(0) + "x"
                                 << "2628" << ControlCharacter << "2628"
                                 << "addButton";
    QTest::newRow("tab in host") << host + "\t"
                                 << "70000" << ControlCharacter << "70000"
                                 << "addButton";
}

// The host pasted, as a NUL cannot be typed.
void TestServersDlg::badInputIsRefused()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, message);
    QFETCH(QString, portAfter);
    QFETCH(QString, focus);
    Run([&](CServersDlg& dialog) {
        QGuiApplication::clipboard()->setText(host);
        QTest::keySequence(Host(dialog), QKeySequence::Paste);
        TypePort(Port(dialog), port);
        QCOMPARE(Port(dialog)->text(), port);
        Click(Button(dialog, "addButton"));
        QCOMPARE(m_messages, QStringList{message});
        QCOMPARE(Port(dialog)->text(), portAfter);
        QVERIFY(IsFocused(dialog, Child<QWidget>(dialog, qPrintable(focus))));
        QCOMPARE(Host(dialog)->text(), host);
        QCOMPARE(Rows(dialog), QStringList());
    });
    QVERIFY(!ConnectionRegistry::Instance().HasServer(host.toStdString()));
    QCOMPARE(Roots(), QStringList());
}

void TestServersDlg::portFieldTakesDigitsOnly()
{
    Run([&](CServersDlg& dialog) {
        TypePort(Port(dialog), "-1a2 3.4,5");
        QCOMPARE(Port(dialog)->text(), QStringLiteral("12345"));
    });
}

void TestServersDlg::upDownStepsWithinRangeWithoutWrap()
{
    Run([&](CServersDlg& dialog) {
        QSpinBox* port = Port(dialog);
        QTest::keyClick(port, Qt::Key_Up);
        QCOMPARE(port->text(), QStringLiteral("2629"));
        QTest::keyClick(port, Qt::Key_Down);
        QTest::keyClick(port, Qt::Key_Down);
        QCOMPARE(port->text(), QStringLiteral("2627"));
        TypePort(port, "65534");
        QTest::keyClick(port, Qt::Key_Up);
        QTest::keyClick(port, Qt::Key_Up);
        QCOMPARE(port->text(), QStringLiteral("65535"));
        TypePort(port, "65530");
        QTest::keyClick(port, Qt::Key_PageUp);
        QCOMPARE(port->text(), QStringLiteral("65535"));
        TypePort(port, "2");
        QTest::keyClick(port, Qt::Key_Down);
        QTest::keyClick(port, Qt::Key_Down);
        QCOMPARE(port->text(), QStringLiteral("1"));
        TypePort(port, "70000");
        QTest::keyClick(port, Qt::Key_Down);
        QCOMPARE(port->text(), QStringLiteral("65535"));
    });
}

void TestServersDlg::successfulAddConnectsAndSortsTheRowIn()
{
    AddServer("127.0.0.3");
    AddServer("localhost");
    const QString port = QString::number(m_server.Port());
    Run([&](CServersDlg& dialog) {
        QTest::keyClicks(Host(dialog), "LOCALHOST");
        TypePort(Port(dialog), port);
        Click(Button(dialog, "addButton"));
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(Host(dialog)->text(), QString());
        QCOMPARE(Port(dialog)->text(), QStringLiteral("2628"));
        QCOMPARE(Rows(dialog), (QStringList{"127.0.0.3 " + port, "LOCALHOST " + port, "localhost " + port}));
        QCOMPARE(Roots(), (QStringList{"127.0.0.3:" + port, "localhost:" + port, "LOCALHOST:" + port}));
        // Connected at once, while the dialog still runs.
        QVERIFY(WaitUntil([&] { return m_tree.GetItemImage(m_tree.GetRootItem(2)) == 1; }));
    });
    QVERIFY(ConnectionRegistry::Instance().HasServer("LOCALHOST"));
}

void TestServersDlg::deleteSelectedRemovesTheBranchAtOnce()
{
    // A host with a byte order mark, which a row's text must keep.
    const std::string marked = "\xEF\xBB\xBF"
                               "127.0.0.6";
    AddServer("127.0.0.4");
    AddServer("127.0.0.5");
    AddServer(marked);
    const QString port = QString::number(m_server.Port());
    Run([&](CServersDlg& dialog) {
        Click(Button(dialog, "deleteButton"));  // nothing selected: nothing happens
        QCOMPARE(Rows(dialog).size(), 3);
        QTreeWidget* list = List(dialog);
        for (const QString& host : {QStringLiteral("127.0.0.4"), QString(QChar(0xFEFF)) + "127.0.0.6"}) {
            QTreeWidgetItem* row = list->findItems(host, Qt::MatchExactly).value(0);
            QVERIFY(row);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row).center());
            QVERIFY(row->isSelected());
            Click(Button(dialog, "deleteButton"));
        }
        QCOMPARE(Rows(dialog), QStringList{"127.0.0.5 " + port});
        QCOMPARE(Roots(), QStringList{"127.0.0.5:" + port});
        QVERIFY(!ConnectionRegistry::Instance().HasServer("127.0.0.4"));
        QVERIFY(!ConnectionRegistry::Instance().HasServer(marked));
        QCOMPARE(m_messages, QStringList());
    });
}

// Without a number in the port field the dialog stays until one is typed.
void TestServersDlg::enterClosesWithoutAdding_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("host field") << "hostName"
                                << "2629" << QStringList();
    QTest::newRow("port field") << "portNumber"
                                << "2629" << QStringList();
    QTest::newRow("port field empty") << "portNumber"
                                      << "" << QStringList{NotANumber};
    QTest::newRow("Close, port empty") << "closeButton"
                                       << "" << QStringList{NotANumber};
}

void TestServersDlg::enterClosesWithoutAdding()
{
    QFETCH(QString, field);
    QFETCH(QString, port);
    QFETCH(QStringList, messages);
    const int result = Run([&](CServersDlg& dialog) {
        QTest::keyClicks(Host(dialog), "127.0.0.6");
        TypePort(Port(dialog), port);
        QTest::keyClick(Child<QWidget>(dialog, qPrintable(field)), Qt::Key_Return);
        QCOMPARE(m_messages, messages);
        QCOMPARE(dialog.isVisible(), !messages.isEmpty());
        if (dialog.isVisible()) {
            QVERIFY(IsFocused(dialog, Port(dialog)));
            TypePort(Port(dialog), "2629");
            QTest::keyClick(Port(dialog), Qt::Key_Return);
        }
        QVERIFY(!dialog.isVisible());
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!ConnectionRegistry::Instance().HasServer("127.0.0.6"));
    QCOMPARE(Roots(), QStringList());
}

void TestServersDlg::escapeKeepsWhatWasDone()
{
    AddServer("127.0.0.7");
    const QString port = QString::number(m_server.Port());
    const int result = Run([&](CServersDlg& dialog) {
        QTest::keyClicks(Host(dialog), "127.0.0.8");
        TypePort(Port(dialog), port);
        Click(Button(dialog, "addButton"));
        QTreeWidget* list = List(dialog);
        QTreeWidgetItem* row = list->findItems("127.0.0.7", Qt::MatchExactly).value(0);
        QVERIFY(row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row).center());
        Click(Button(dialog, "deleteButton"));
        QTest::keyClicks(Host(dialog), "127.0.0.9");
        QTest::keyClick(Host(dialog), Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(Roots(), QStringList{"127.0.0.8:" + port});
    QVERIFY(!ConnectionRegistry::Instance().HasServer("127.0.0.9"));
}

void TestServersDlg::helpButtonRequestsHelp()
{
    Run([&](CServersDlg& dialog) {
        Click(Button(dialog, "helpButton"));
        QCOMPARE(m_nHelpRequests, 1);
        QVERIFY(dialog.isVisible());
    });
}

QTEST_MAIN(TestServersDlg)
#include "tst_ServersDlg.moc"
