// The program's start and end as a whole: the first instance runs the
// start-up in this process, later starts are the real program.
#include "ClientApp.h"
#include "ConnectionRegistry.h"
#include "FileBytes.h"
#include "MainWindow.h"
#include "RegStore.h"
#include "ScriptedDictServer.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

namespace {
const QByteArray StoreHeader =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n";
constexpr int ProgramRunMs = 20000;

// Runs the start-up; the steps run in the main window's loop, which they
// leave open or ended as they like.
void RunFirstInstance(const std::function<void(MainWindow&)>& steps)
{
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<MainWindow*>(QApplication::activeModalWidget());
        if (window)
            steps(*window);
        // The registry outlives the window, and this process runs more than one.
        ConnectionRegistry::Instance().RemoveAllServers();
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            open->reject();
        QVERIFY(window);
    });
    ClientApp().InitInstance();
}

void StoreServer(const char* host, int port)
{
    WriteFileBytes(RegStore::FilePath(),
                   StoreHeader + '"' + host + "\"=dword:" + QByteArray::number(port, 16).rightJustified(8, '0') + '\n');
}

bool Finished(QProcess& program)
{
    const bool finished = WaitUntil([&] { return program.state() == QProcess::NotRunning; }, ProgramRunMs);
    program.kill();
    return finished && program.exitStatus() == QProcess::NormalExit;
}
}  // namespace

class ClientAppTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondStartRaisesTheFirstAndTouchesNothing();
    void sessionEndSavesTheServerList_data();
    void sessionEndSavesTheServerList();
    void noDisplayEndsWithOneLine_data();
    void noDisplayEndsWithOneLine();

private:
    QTemporaryDir m_home;
};

void ClientAppTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
        qputenv(variable, m_home.path().toUtf8());
}

void ClientAppTest::secondStartRaisesTheFirstAndTouchesNothing()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDefaultDictResponder();
    StoreServer("127.0.0.1", server.Port());
    const QByteArray store = ReadFileBytes(RegStore::FilePath());
    RunFirstInstance([&](MainWindow& window) {
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.tallowmere.Quorlex"));
        QVERIFY(WaitUntil([] { return ReadFileBytes("127.0.0.1.log").endsWith("[in ] 250 ok\n"); }));
        const QByteArray transcript = ReadFileBytes("127.0.0.1.log");
        QWidget other(&window, Qt::Window);
        other.show();
        other.activateWindow();
        QVERIFY(WaitUntil([&] { return other.isActiveWindow(); }));

        QProcess second;
        second.start(QUORLEX_PROGRAM);
        QVERIFY(Finished(second));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(WaitUntil([&] { return window.isActiveWindow(); }));
        QCOMPARE(ReadFileBytes("127.0.0.1.log"), transcript);
        QCOMPARE(ReadFileBytes(RegStore::FilePath()), store);
        QCOMPARE(server.ConnectionCount(), 1);
    });
}

void ClientAppTest::sessionEndSavesTheServerList_data()
{
    QTest::addColumn<int>("signal");  // 0: the session manager's request to commit data
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("commit data request") << 0;
}

// Added in the servers dialog, then the session's end: the list is saved.
// A signal ends both windows; the request to commit data ends nothing.
void ClientAppTest::sessionEndSavesTheServerList()
{
    QFETCH(int, signal);
    QFile::remove(RegStore::FilePath());
    RunFirstInstance([&](MainWindow& window) {
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QTest::keyClicks(dialog->findChild<QLineEdit*>("hostName"), "127.0.0.9");
            QTest::mouseClick(dialog->findChild<QPushButton*>("addButton"), Qt::LeftButton);
            if (signal == 0) {
                if (auto* manager = qApp->findChild<QSessionManager*>())
                    emit qApp->commitDataRequest(*manager);
                QCoreApplication::processEvents();
                const bool open = QApplication::activeModalWidget() == dialog;
                qobject_cast<QDialog*>(dialog)->reject();
                QVERIFY(open);
                return;
            }
            std::raise(signal);
            const bool ended = WaitUntil([] { return !QApplication::activeModalWidget(); });
            if (!ended)
                qobject_cast<QDialog*>(dialog)->reject();
            QVERIFY(ended);
        });
        window.OnMenuServers();
        QCOMPARE(window.isVisible(), signal == 0);
    });
    QVERIFY(ReadFileBytes(RegStore::FilePath()).contains("\"127.0.0.9\"=dword:00000a44\n"));
}

void ClientAppTest::noDisplayEndsWithOneLine_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::newRow("none named") << QString() << QByteArray("(no DISPLAY or WAYLAND_DISPLAY)");
    QTest::newRow("none answers") << ":9999" << QByteArray("(DISPLAY=:9999)");
}

void ClientAppTest::noDisplayEndsWithOneLine()
{
    QFETCH(QString, display);
    QFETCH(QByteArray, lastLine);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
        environment.remove(variable);
    if (!display.isEmpty())
        environment.insert("DISPLAY", display);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUORLEX_PROGRAM);
    QVERIFY(Finished(program));
    QCOMPARE(program.exitCode(), 1);
    const QByteArray errors = program.readAllStandardError();
    QVERIFY2(errors.endsWith("quorlex: cannot open a display " + lastLine + '\n'), errors.constData());
    if (display.isEmpty())
        QCOMPARE(errors.count('\n'), 1);
}

QTEST_MAIN(ClientAppTest)
#include "tst_ClientApp.moc"
