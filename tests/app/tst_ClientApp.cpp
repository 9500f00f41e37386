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
#include <QLocalSocket>
#include <QMessageBox>
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
    std::function<void()> begin = [&] {
        // A box of the start-up stands before the window.
        if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            return QTimer::singleShot(10, begin);
        auto* window = qobject_cast<MainWindow*>(QApplication::activeModalWidget());
        if (window)
            steps(*window);
        // The registry outlives the window, and this process runs more than one.
        ConnectionRegistry::Instance().RemoveAllServers();
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            open->reject();
        QVERIFY(window);
    };
    QTimer::singleShot(0, begin);
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

bool HandedOver(const QStringList& arguments)
{
    QProcess later;
    later.start(QUORLEX_PROGRAM, arguments);
    return Finished(later) && later.exitCode() == 0;
}

// Each message box shown, and how many were open at once; the first runs
// what is meant for its time, then every box is closed.
struct BoxWatch : QObject {
    explicit BoxWatch(std::function<void()> during) : m_during(std::move(during)) { qApp->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Hide)
            --m_nOpen;
        if (!box || event->type() != QEvent::Show)
            return false;
        shown << box->text();
        mostOpen = std::max(mostOpen, ++m_nOpen);
        QTimer::singleShot(0, box, [this, box] {
            if (m_during)
                std::exchange(m_during, nullptr)();
            box->reject();
        });
        return false;
    }
    QStringList shown;
    int mostOpen = 0;
    int m_nOpen = 0;
    std::function<void()> m_during;
};
}  // namespace

class ClientAppTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondStartRaisesTheFirstAndHandsOverItsWordAndToken();
    void sessionEndSavesTheServerList_data();
    void sessionEndSavesTheServerList();
    void startsWithoutWindow_data();
    void startsWithoutWindow();
    void laterStartsAreTakenUpOneAtATime_data();
    void laterStartsAreTakenUpOneAtATime();

private:
    QTemporaryDir m_home;
};

void ClientAppTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
        qputenv(variable, m_home.path().toUtf8());
}

void ClientAppTest::secondStartRaisesTheFirstAndHandsOverItsWordAndToken()
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

        // A word, the token a Wayland compositor would ask back and the id
        // of an X11 launch, which the window then carries.
        other.activateWindow();
        QVERIFY(WaitUntil([&] { return other.isActiveWindow(); }));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_ACTIVATION_TOKEN", "token-7");
        environment.insert("DESKTOP_STARTUP_ID", "menu \"1\"_TIME42");
        second.setProcessEnvironment(environment);
        second.start(QUORLEX_PROGRAM, {"--", "-ish"});
        QVERIFY(Finished(second));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(WaitUntil([&] { return server.ReceivedLines().contains("DEFINE * \"-ish\""); }));
        QCOMPARE(window.WordBox()->text(), QString("-ish"));
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), QByteArray("token-7"));
        QVERIFY(window.isActiveWindow());
        if (QGuiApplication::platformName() == u"xcb") {
            QProcess xprop;
            xprop.start("xprop", {"-id", QString::number(window.winId()), "_NET_STARTUP_ID"});
            QVERIFY(Finished(xprop));
            QCOMPARE(xprop.readAllStandardOutput(), "_NET_STARTUP_ID(UTF8_STRING) = \"menu \\\"1\\\"_TIME42\"\n");
        }
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

void ClientAppTest::startsWithoutWindow_data()
{
    QTest::addColumn<QString>("display");  // "offscreen": the platform with no display
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("ending");  // of standard output with status 0, else of standard error
    // clang-format off
    QTest::newRow("no display named") << QString() << QStringList() << 1 << QByteArray("quorlex: cannot open a display (no DISPLAY or WAYLAND_DISPLAY)\n");
    QTest::newRow("no display answers") << ":9999" << QStringList() << 1 << QByteArray("quorlex: cannot open a display (DISPLAY=:9999)\n");
    QTest::newRow("help") << QString() << QStringList{"--help"} << 0 << QByteArray("The standard options of Qt, such as -platform, are accepted too.\n");
    QTest::newRow("version") << QString() << QStringList{"-v"} << 0 << QByteArray("quorlex " QUORLEX_VERSION "-1\n");
    QTest::newRow("word after --") << "offscreen" << QStringList{"--selection", "--", "-reverse"} << 2 << QByteArray("quorlex: --selection takes no words.\nTry 'quorlex --help' for more information.\n");
    QTest::newRow("unknown option") << "offscreen" << QStringList{"apple", "--bogus"} << 2 << QByteArray("quorlex: Unknown option 'bogus'.\nTry 'quorlex --help' for more information.\n");
    // clang-format on
}

// Nothing else is written: no window, no running instance asked.
void ClientAppTest::startsWithoutWindow()
{
    QFETCH(QString, display);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, ending);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"})
        environment.remove(variable);
    if (display == "offscreen")
        environment.insert("QT_QPA_PLATFORM", display);
    else if (!display.isEmpty())
        environment.insert("DISPLAY", display);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUORLEX_PROGRAM, arguments);
    QVERIFY(Finished(program));
    QCOMPARE(program.exitCode(), status);
    const QByteArray output = status == 0 ? program.readAllStandardOutput() : program.readAllStandardError();
    QVERIFY2(output.endsWith(ending), output.constData());
    if (display.isEmpty() && arguments.isEmpty())
        QCOMPARE(output.count('\n'), 1);
}

void ClientAppTest::laterStartsAreTakenUpOneAtATime_data()
{
    QTest::addColumn<bool>("brokenStore");  // the start-up shows "Failed to load server list"; last, as it stays
    QTest::addColumn<int>("silent");  // connections first made that send nothing
    QTest::addColumn<QStringList>("starts");  // later starts in turn, their arguments parted by spaces
    QTest::addColumn<QStringList>("during");  // later starts, a word each, while the first box is up
    QTest::addColumn<QString>("looked");
    QTest::addColumn<QStringList>("boxes");
    const QString control = "\u201C%1\u201D holds a control character and cannot be looked up";
    // clang-format off
    QTest::newRow("refused in a burst") << false << 0 << QStringList{"a\tb", "apple"} << QStringList{"c\td", "e\tf", "g\th"} << "apple" << QStringList{control.arg("a\tb"), control.arg("g\th")};
    QTest::newRow("silent connections") << false << 5 << QStringList{"apple"} << QStringList() << "apple" << QStringList();
    QTest::newRow("-- -reverse") << false << 0 << QStringList{"-- -reverse"} << QStringList() << "-reverse" << QStringList();
    QTest::newRow("during the start's box") << true << 0 << QStringList() << QStringList{"apple"} << "apple" << QStringList{"Failed to load server list"};
    // clang-format on
}

// One box at a time, the latest word waiting for it, the window answering.
void ClientAppTest::laterStartsAreTakenUpOneAtATime()
{
    QFETCH(bool, brokenStore);
    QFETCH(int, silent);
    QFETCH(QStringList, starts);
    QFETCH(QStringList, during);
    QFETCH(QString, looked);
    QFETCH(QStringList, boxes);
    QFile::remove(RegStore::FilePath());
    QVERIFY(!brokenStore || QDir().mkpath(RegStore::FilePath()));
    BoxWatch watch([&] {
        for (const QString& word : during)
            QVERIFY(HandedOver({word}));
    });
    RunFirstInstance([&](MainWindow& window) {
        const QString name = QDir(m_home.path()).entryList({"quorlex-*"}, QDir::System).value(0);
        QObject owner;
        int closed = 0;
        for (int i = 0; i < silent; ++i) {
            auto* socket = new QLocalSocket(&owner);
            QObject::connect(socket, &QLocalSocket::disconnected, [&closed] { ++closed; });
            socket->connectToServer(m_home.filePath(name));
            QVERIFY(socket->waitForConnected());
        }
        QVERIFY(WaitUntil([&] { return closed == silent; }, ProgramRunMs));
        for (const QString& start : starts)
            QVERIFY(HandedOver(start.split(u' ')));
        QVERIFY(WaitUntil([&] { return window.WordBox()->text() == looked && window.CurrentWord() == looked; }));
    });
    QCOMPARE(watch.shown, boxes);
    QCOMPARE(watch.mostOpen, boxes.isEmpty() ? 0 : 1);
}

QTEST_MAIN(ClientAppTest)
#include "tst_ClientApp.moc"
