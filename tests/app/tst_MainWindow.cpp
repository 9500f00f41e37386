#include "AboutBox.h"
#include "CharacterCentre.h"
#include "ClientApp.h"
#include "CommandLine.h"
#include "ConnectionRegistry.h"
#include "DesktopUrl.h"
#include "DialogUnits.h"
#include "DictConnection.h"
#include "FileBytes.h"
#include "FindBar.h"
#include "GivenRequest.h"
#include "HelpRequest.h"
#include "LayoutFaults.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "RenderDefinitions.h"
#include "RichTextView.h"
#include "ScriptedDictServer.h"
#include "SearchOutput.h"
#include "Utf8Text.h"
#include "WaitUntil.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QWindow>

#include <map>
#include <memory>

#include <sys/fsuid.h>

namespace {

using Words = QStringList;

QStringList ToList(const std::list<QString>& words)
{
    return QStringList(words.begin(), words.end());
}

// A shown main window with one scripted server registered; the server
// goes before the window, whose tree the connection uses.
struct Session {
    explicit Session(ScriptedDictServer& server)
    {
        window = std::make_unique<MainWindow>();
        window->show();
        ConnectionRegistry::Instance().AddServer("127.0.0.1", server.Port());
        root = window->Tree().GetRootItem(0);
        // Connected, and the database list read: the image is idle again
        // once the server has had the list request.
        connected = WaitUntil([&] {
                        return server.ConnectionCount() > 0
                            && server.ReceivedLines(server.ConnectionCount() - 1).contains("SHOW DB");
                    })
            && Idle();
    }
    ~Session()
    {
        ConnectionRegistry::Instance().RemoveAllServers();
        window.reset();
    }
    void Search(const QString& word)
    {
        window->WordBox()->clear();
        QTest::keyClicks(window->WordBox(), word);
        QTest::mouseClick(window->SearchButton(), Qt::LeftButton);
    }
    // The word searched, its reply in that many nodes, the server idle.
    bool Answered(const QString& word, int databases)
    {
        Search(word);
        return WaitUntil([&] { return Databases() == databases; }) && Idle();
    }
    bool Idle()
    {
        return WaitUntil([&] { return window->Tree().GetItemImage(root) == 1; });
    }
    int Databases() { return window->Tree().GetChildCount(root); }
    HTREEITEM Database(int index) { return window->Tree().GetChildItem(root, index); }

    std::unique_ptr<MainWindow> window;
    HTREEITEM root = nullptr;
    bool connected = false;
};

// The last definition request on the server's newest connection.
QString LastDefine(const ScriptedDictServer& server)
{
    const QStringList lines = server.ReceivedLines(server.ConnectionCount() - 1);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->startsWith("DEFINE"))
            return *it;
    return {};
}

// The texts the view shows as bold pure blue links, run by run within
// each line; a run formatted in any other way shows as "!" and its text.
QStringList FormattedRuns(const RichTextView& view)
{
    QStringList runs;
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const bool plain =
                !format.isAnchor() && format.fontWeight() != QFont::Bold && format.foreground().style() == Qt::NoBrush;
            if (format.isAnchor() && format.fontWeight() == QFont::Bold
                && format.foreground().color() == QColor(0, 0, 255))
                runs << it.fragment().text();
            else if (!plain)
                runs << "!" + it.fragment().text();
        }
    return runs;
}

// The controls of a window that take the focus (not passing it on to
// another) and have no name for a screen reader to say.
QStringList Unnamed(const QWidget& window)
{
    QStringList unnamed;
    for (QWidget* control : window.findChildren<QWidget*>())
        if ((control->focusPolicy() & Qt::TabFocus) && !control->focusProxy()
            && QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty())
            unnamed << control->metaObject()->className() + QString(" ") + control->objectName();
    return unnamed;
}

QString ReadStore(const QString& config)
{
    QFile file(config + "/Tallowmere/Quorlex/user.reg");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void historyFollowsTheWorkedSequence();
    void emptySearchSendsTheEmptyWordAndNeverEntersTheHistory();
    void backAndForwardsSetTheWordBoxSearchLeavesIt();
    void enterInTheWordBoxSearchesWithTheListOpenOrNot();
    void wordsFromOutsideAreLookedUpOrRefused_data();
    void wordsFromOutsideAreLookedUpOrRefused();
    void longDescriptionIsShownWholeAndScrollsSideways();
    void linkAfterBackKeepsTheForwardList();
    void linkBrokenOverAnIndentedLineSearchesTheJoinedWords();
    void viewFollowsTheSelection();
    void enterShowsTheFirstDefinitionsOrSaysNothingWasFound();
    void furtherDefinitionForTheSelectedNodeIsShown();
    void largeNodeFillsInPiecesUntilAnotherSelection_data();
    void largeNodeFillsInPiecesUntilAnotherSelection();
    void findStepsThroughTheMatchesBothWaysAndWraps();
    void lookUpFromTheViewGoesAsALinkDoesWithinTheCommandLimit();
    void searchIsKeptInAFileOnPaperOrTheClipboard_data();
    void searchIsKeptInAFileOnPaperOrTheClipboard();
    void wordBoxOffersThisRunsWordsAndTheViewZoomsInSteps();
    void escapeEndsWithoutSavingExitAndCloseSave();
    void altFPressesForwardsAndF10OpensTheFileMenu();
    void altSSearchesAndAltTOpensTheToolsMenu();
    void helpOpensTheGuide();
    void guideIsFoundInstalledOrInTheBuildTree();
    void controlsTakeClicksAndTabInTemplateOrder();
    void rootStateIsGivenInWords();
    void menuOpensTheServersDialogAndTheAboutBox();
    void withoutServersTheHistoryStillWorksAndNothingIsSent();
    void sameWordAgainEntersTheBackListBySearchAndByLink();
    void controlsStandWherePlacedInDialogUnits();

private:
    QTemporaryDir m_config;
    ScriptedDictServer m_server;
};

void MainWindowTest::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    QVERIFY(m_server.Listen());
    m_server.EnableDefaultDictResponder();
}

void MainWindowTest::init()
{
    QFile::remove(m_config.path() + "/Tallowmere/Quorlex/user.reg");
}

void MainWindowTest::historyFollowsTheWorkedSequence()
{
    struct Row {
        const char* action;
        QString current;
        Words back;
        Words forward;
        bool backOn;
        bool forwardsOn;
    };
    const Row rows[] = {
        // clang-format off
        {"a", "a", {}, {}, false, false},
        {"Alt+Left", "a", {}, {}, false, false},
        {"b", "b", {"a"}, {}, true, false},
        {"c", "c", {"a", "b"}, {}, true, false},
        {"<", "b", {"a"}, {"c"}, true, true},
        {"Alt+Left", "a", {}, {"c", "b"}, false, true},
        {">", "b", {"a"}, {"c"}, true, true},
        {"d", "d", {"a", "b"}, {}, true, false},
        {"Alt+Right", "d", {"a", "b"}, {}, true, false},
        {"mouse Back", "b", {"a"}, {"d"}, true, true},
        {"mouse Forward", "d", {"a", "b"}, {}, true, false},
        // clang-format on
    };
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    for (const Row& row : rows) {
        const QString action = row.action;
        if (action == "<")
            QTest::mouseClick(w.BackButton(), Qt::LeftButton);
        else if (action == ">")
            QTest::mouseClick(w.ForwardsButton(), Qt::LeftButton);
        else if (action.startsWith("Alt+"))
            QTest::keyClick(w.Tree().Widget(), action.endsWith("Left") ? Qt::Key_Left : Qt::Key_Right, Qt::AltModifier);
        else if (action.startsWith("mouse "))
            QTest::mouseClick(w.DefinitionView()->viewport(),
                              action.endsWith("Back") ? Qt::BackButton : Qt::ForwardButton);
        else
            session.Search(action);
        QVERIFY(session.Idle());
        QCOMPARE(w.CurrentWord(), row.current);
        QCOMPARE(ToList(w.BackHistory()), row.back);
        QCOMPARE(ToList(w.ForwardHistory()), row.forward);
        QCOMPARE(w.BackButton()->isEnabled(), row.backOn);
        QCOMPARE(w.ForwardsButton()->isEnabled(), row.forwardsOn);
        QVERIFY(WaitUntil([&] { return LastDefine(m_server) == "DEFINE * \"" + row.current + "\""; }));
    }
    QTest::keyClick(w.DefinitionView(), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.focusWidget(), w.WordBox());
    QCOMPARE(w.WordBox()->selectedText(), QString("d"));
}

void MainWindowTest::emptySearchSendsTheEmptyWordAndNeverEntersTheHistory()
{
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    session.Search("a");
    session.Search("b");
    QTest::mouseClick(w.BackButton(), Qt::LeftButton);
    QVERIFY(w.ForwardsButton()->isEnabled());
    session.Search("");
    QVERIFY(WaitUntil([&] { return LastDefine(m_server) == "DEFINE * \"\""; }));
    QCOMPARE(w.CurrentWord(), QString());
    QCOMPARE(ToList(w.ForwardHistory()), Words{});
    QVERIFY(!w.ForwardsButton()->isEnabled());
    QCOMPARE(ToList(w.BackHistory()), (Words{"a"}));
    session.Search("c");
    QCOMPARE(ToList(w.BackHistory()), (Words{"a"}));
    QTest::mouseClick(w.BackButton(), Qt::LeftButton);
    QCOMPARE(w.CurrentWord(), QString("a"));
    QCOMPARE(ToList(w.ForwardHistory()), (Words{"c"}));
}

void MainWindowTest::backAndForwardsSetTheWordBoxSearchLeavesIt()
{
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    session.Search("first");
    session.Search("  Second word ");
    QCOMPARE(w.WordBox()->text(), QString("  Second word "));
    QCOMPARE(w.CurrentWord(), QString("  Second word "));
    QTest::mouseClick(w.BackButton(), Qt::LeftButton);
    QCOMPARE(w.WordBox()->text(), QString("first"));
    QTest::mouseClick(w.ForwardsButton(), Qt::LeftButton);
    QCOMPARE(w.WordBox()->text(), QString("  Second word "));
    QVERIFY(WaitUntil([&] { return LastDefine(m_server) == "DEFINE * \"  Second word \""; }));
}

// Typed at the window, as a user types: with the list of earlier words
// open the keys go to the list first.
void MainWindowTest::enterInTheWordBoxSearchesWithTheListOpenOrNot()
{
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    QWindow* window = w.windowHandle();
    const auto type = [&](const QString& keys) {
        for (const QChar key : keys)
            QTest::keyClick(window, key.toLatin1());
    };
    const auto sent = [&](const QString& word) {
        return m_server.ReceivedLines(m_server.ConnectionCount() - 1).count("DEFINE * \"" + word + "\"");
    };
    w.WordBox()->setFocus();
    for (const char* word : {"house", "dwelling"}) {
        type(word);
        QTest::keyClick(window, Qt::Key_Return);
        QVERIFY(WaitUntil([&] { return sent(word) == 1; }));
        w.WordBox()->clear();
    }
    QAbstractItemView* list = w.WordBox()->completer()->popup();
    type("house");
    QVERIFY(list->isVisible());
    QTest::keyClick(window, Qt::Key_Return);
    QVERIFY(WaitUntil([&] { return sent("house") == 2; }));
    w.WordBox()->clear();
    type("dw");
    QVERIFY(list->isVisible());
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(WaitUntil([&] { return sent("dwelling") == 2; }));
    QCOMPARE(w.WordBox()->text(), QString("dwelling"));
    // Ctrl+F closes the list: what is typed next is all the find field's.
    w.DefinitionView()->SetPlainText("a roof");
    w.WordBox()->clear();
    type("ho");
    QVERIFY(list->isVisible());
    QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
    type("roof");
    QCOMPARE(w.WordBox()->text(), QString("ho"));
    QCOMPARE(w.Find()->Field()->text(), QString("roof"));
}

void MainWindowTest::wordsFromOutsideAreLookedUpOrRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("searched");  // empty: nothing is sent
    QTest::addColumn<QString>("message");
    const QString link = "The link \u201C%1\u201D holds no word to look up";
    const QString tooLong(1100, u'a');
    // clang-format off
    QTest::newRow("word") << QStringList{"apple"} << "apple" << "";
    QTest::newRow("words") << QStringList{"ice", "cream"} << "ice cream" << "";
    QTest::newRow("link") << QStringList{"dict://h:2628/d:caf%C3%A9%3Aau%20lait:wn:1"} << "caf\u00E9:au lait" << "";
    QTest::newRow("m: link") << QStringList{"dict://h/m:apple"} << "" << link.arg("dict://h/m:apple");
    QTest::newRow("link not UTF-8") << QStringList{"dict://h/d:%E9t%E9"} << "" << link.arg("dict://h/d:%E9t%E9");
    QTest::newRow("link with NUL") << QStringList{"dict://h/d:a%00b"} << "" << link.arg("dict://h/d:a%00b");
    QTest::newRow("no word") << QStringList{"DICT://h/d:"} << "" << link.arg("DICT://h/d:");
    QTest::newRow("too long") << QStringList{tooLong} << "" << "\u201C" + tooLong.left(80) + "\u2026\u201D is too long to look up";
    QTest::newRow("control") << QStringList{"a\tb"} << "" << "\u201Ca\tb\u201D holds a control character and cannot be looked up";
    QTest::newRow("selection") << QStringList{"--selection"} << "two words" << "";
    // clang-format on
}

// As a start's arguments reach the window, the word held until the
// server is ready.
void MainWindowTest::wordsFromOutsideAreLookedUpOrRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, searched);
    QFETCH(QString, message);
    QStringList messages;
    SetMessageBoxObserver([&](const MessageBoxRecord& record) {
        messages << QString::fromStdString(record.text + "|" + record.caption);
    });
    QGuiApplication::clipboard()->setText("  two\n\twords ");
    const int connections = m_server.ConnectionCount();
    MainWindow w;
    w.show();
    ConnectionRegistry::Instance().AddServer("127.0.0.1", m_server.Port());
    GivenRequest(CommandLine(QStringList(QCoreApplication::applicationFilePath()) + arguments)).LookUpIn(w);
    QCOMPARE(w.WordBox()->text(), searched);
    QCOMPARE(w.CurrentWord(), searched);
    QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message + "|Information"});
    const HTREEITEM root = w.Tree().GetRootItem(0);
    QVERIFY(WaitUntil([&] {
        return m_server.ConnectionCount() > connections
            && m_server.ReceivedLines(m_server.ConnectionCount() - 1).contains("SHOW DB")
            && w.Tree().GetItemImage(root) == 1 && LastDefine(m_server).isEmpty() == searched.isEmpty();
    }));
    // Held until the greeting, the word goes out behind "SHOW DB" and nothing else does.
    const QByteArray sent = m_server.ReceivedBytes(m_server.ConnectionCount() - 1);
    QCOMPARE(sent, "SHOW DB\r\n" + (searched.isEmpty() ? "" : "DEFINE * \"" + searched.toUtf8() + "\"\r\n"));
    ConnectionRegistry::Instance().RemoveAllServers();
    SetMessageBoxObserver(nullptr);
}

void MainWindowTest::longDescriptionIsShownWholeAndScrollsSideways()
{
    Session session(m_server);
    QVERIFY(session.connected);
    QVERIFY(session.Answered("apple", 2));
    QTreeWidget* tree = session.window->Tree().Widget();
    tree->topLevelItem(0)->setExpanded(true);
    const QString description = "The Collaborative International Dictionary of English v.0.48";
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), description);
    const QModelIndex node = tree->model()->index(0, 0, tree->model()->index(0, 0));
    const int textWidth = QFontMetrics(tree->font()).horizontalAdvance(description);
    QVERIFY(textWidth > tree->viewport()->width());
    // Its column leaves room for the node's picture and whole text.
    QVERIFY(WaitUntil([&] { return tree->visualRect(node).width() >= tree->sizeHintForIndex(node).width(); }));
    QVERIFY(tree->visualRect(node).width() > textWidth);
    QVERIFY(WaitUntil([&] { return tree->horizontalScrollBar()->maximum() > 0; }));
}

void MainWindowTest::linkAfterBackKeepsTheForwardList()
{
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    session.Search("x");
    session.Search("apple");
    session.Search("y");
    QTest::mouseClick(w.BackButton(), Qt::LeftButton);
    QVERIFY(WaitUntil([&] { return session.Databases() == 2; }));
    w.Tree().SelectItem(session.Database(0));  // gcide, sorted first
    RichTextView* view = w.DefinitionView();
    const int link = static_cast<int>(view->toPlainText().indexOf("Crab apple"));
    QVERIFY(link > 0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CharacterCentre(view, link + 3));
    QCOMPARE(w.CurrentWord(), QString("Crab apple"));
    QCOMPARE(w.WordBox()->text(), QString("Crab apple"));
    QCOMPARE(ToList(w.BackHistory()), (Words{"x", "apple"}));
    QCOMPARE(ToList(w.ForwardHistory()), (Words{"y"}));
    QVERIFY(w.ForwardsButton()->isEnabled());
    QVERIFY(WaitUntil([&] { return LastDefine(m_server) == "DEFINE * \"Crab apple\""; }));
    QTest::mouseClick(w.ForwardsButton(), Qt::LeftButton);
    QCOMPARE(w.CurrentWord(), QString("y"));
}

void MainWindowTest::linkBrokenOverAnIndentedLineSearchesTheJoinedWords()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(), {{"wn", "WordNet"}},
                               {{"lists", {"wn", "lists", "see the {word\n   list} and {plain\nbreak} here"}}});
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    QVERIFY(session.Answered("lists", 1));
    RichTextView* view = w.DefinitionView();
    const QString shown("see the word\n   list and plain\nbreak here\n");
    QVERIFY(WaitUntil([&] { return view->toPlainText() == shown; }));
    // Other buttons follow nothing.
    QTest::mouseClick(view->viewport(), Qt::MiddleButton, {}, CharacterCentre(view, 9));
    QCOMPARE(w.CurrentWord(), QString("lists"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      CharacterCentre(view, static_cast<int>(shown.indexOf("list "))));
    QCOMPARE(w.CurrentWord(), QString("word list"));
    QVERIFY(WaitUntil([&] { return LastDefine(server) == "DEFINE * \"word list\""; }));
    QVERIFY(session.Idle());
    QVERIFY(WaitUntil([&] { return session.Databases() == 0; }));
    // The view is rendered again from what a new selection holds, with
    // nothing of the link clicked before.
    QVERIFY(session.Answered("lists", 1));
    QVERIFY(WaitUntil([&] { return FormattedRuns(*view) == QStringList({"word", "   list", "plain", "break"}); }));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                       CharacterCentre(view, static_cast<int>(view->toPlainText().indexOf("break"))));
    QCOMPARE(w.CurrentWord(), QString("plainbreak"));
}

// A server that answers the first DEFINE with the given reply body, held
// back until the test releases it when a hold is given.
void ScriptDefineReply(ScriptedDictServer& server, const QByteArray& first, const bool* release = nullptr,
                       const QByteArray& rest = {})
{
    server.Send(ScriptedDictServer::DefaultGreeting() + "\r\n")
        .WaitForLine("^SHOW DB")
        .Send("110 2 databases present\r\nwn \"WordNet\"\r\ngcide \"Gcide\"\r\n.\r\n250 ok\r\n")
        .WaitForLine("^DEFINE")
        .Send(first);
    if (release)
        server.Hold([release] { return *release; }).Send(rest);
}

void MainWindowTest::viewFollowsTheSelection()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptDefineReply(server,
                      "150 4 definitions retrieved\r\n"
                      "151 \"three\" wn \"WordNet\"\r\none {a}\r\n.\r\n"
                      "151 \"three\" gcide \"Gcide\"\r\n.\r\n"
                      "151 \"three\" wn \"WordNet\"\r\ntwo\r\n.\r\n"
                      "151 \"three\" wn \"WordNet\"\r\nthree\r\n.\r\n250 ok\r\n");
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    RichTextView* view = w.DefinitionView();
    QVERIFY(session.Answered("three", 2));
    // WordNet answered first: the search shows it.
    QCOMPARE(w.Tree().GetSelectedItem(), session.Database(1));
    QVERIFY(WaitUntil([&] { return view->toPlainText() == "one a\n\t\ntwo\n\t\nthree\n"; }));
    QVERIFY(view->isEnabled());
    int rules = 0;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
        rules += block.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth) ? 1 : 0;
    QCOMPARE(rules, 2);
    w.Tree().SelectItem(session.Database(0));  // Gcide, a definition with no lines
    QCOMPARE(view->toPlainText(), QString());
    QVERIFY(!view->isEnabled());
    w.Tree().SelectItem(session.Database(1));
    QVERIFY(view->isEnabled());
    w.Tree().SelectItem(session.root);
    QCOMPARE(view->toPlainText(), QString());
    QVERIFY(!view->isEnabled());
    w.Tree().SelectItem(nullptr);
    QCOMPARE(view->toPlainText(), QString("NULL"));
    QVERIFY(!view->isEnabled());
}

// Enter shows the definitions that come first, in the node of the fastest
// database rather than the top one, the focus left in the word box, each
// search anew, unless the user chose a node during the search. A search
// that finds nothing says so, naming the server that could not be asked,
// with suggestions that search as links do.
void MainWindowTest::enterShowsTheFirstDefinitionsOrSaysNothingWasFound()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(),
                               {{"wn", "WordNet"}, {"gcide", "Gcide"}},
                               {{"apple", {"wn", "apple", "apple {tree}"}},
                                {"apple", {"gcide", "Apple", "Apple"}},
                                {"receive", {"wn", "receive", "receive"}}});
    ScriptedDictServer down;
    QVERIFY(down.Listen("127.0.0.2"));
    const quint16 downPort = down.Port();
    down.StopListening();
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    RichTextView* view = w.DefinitionView();
    QTreeWidget* tree = w.Tree().Widget();
    for (const bool userSelects : {false, false, true}) {
        w.WordBox()->setFocus();
        w.WordBox()->setText("apple");
        QTest::keyClick(w.WordBox(), Qt::Key_Return);
        if (userSelects)
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                              tree->visualItemRect(tree->topLevelItem(0)).center());
        QVERIFY(WaitUntil([&] { return session.Databases() == 2; }) && session.Idle());
        QCOMPARE(w.Tree().GetSelectedItem(), userSelects ? session.root : session.Database(1));
        QCOMPARE(view->toPlainText(), userSelects ? QString() : QString("apple tree\n"));
        QVERIFY(tree->topLevelItem(0)->isExpanded());
        QCOMPARE(w.focusWidget(), userSelects ? static_cast<QWidget*>(tree) : w.WordBox());
    }
    ConnectionRegistry::Instance().AddServer("127.0.0.2", downPort);
    session.Search("recieve");
    const QString said = "No definitions found for \u201Crecieve\u201D.\n127.0.0.2:" + QString::number(downPort)
        + " did not answer: connection refused\n";
    QVERIFY(WaitUntil([&] { return view->toPlainText().startsWith(said + "\nDid you mean:\n"); }));
    QVERIFY(view->isEnabled());
    const QStringList suggestions = view->toPlainText().mid(said.size()).split(u'\n').mid(2, 8);
    QVERIFY(suggestions.contains("receive"));
    QCOMPARE(FormattedRuns(*view).mid(0, suggestions.size() - 1), suggestions.mid(0, suggestions.size() - 1));
    const int forward = static_cast<int>(w.ForwardHistory().size());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      CharacterCentre(view, static_cast<int>(view->toPlainText().indexOf("\nreceive\n")) + 2));
    QCOMPARE(w.CurrentWord(), QString("receive"));
    QCOMPARE(w.BackHistory().back(), QString("recieve"));
    QCOMPARE(static_cast<int>(w.ForwardHistory().size()), forward);
    QVERIFY(WaitUntil([&] { return view->toPlainText() == "receive\n"; }));
    QCOMPARE(LastDefine(server), QString("DEFINE * \"receive\""));
}

// Definitions arriving for the selected node are shown in a refresh per
// batch, not one per definition, and the view ends as a fresh selection
// shows the whole text: also when a brace opened in one batch closes in
// the next; a first definition of many pieces, the first one ending in a
// reference broken over two lines, keeps its scroll and selection.
void MainWindowTest::furtherDefinitionForTheSelectedNodeIsShown()
{
    constexpr int Batch = 200;
    int stage = 0;
    const auto definition = [](const QByteArray& text) { return "151 \"x\" wn \"WordNet\"\r\n" + text + "\r\n.\r\n"; };
    QByteArray batch;
    for (int i = 0; i < Batch; ++i)
        batch += definition("line {" + QByteArray::number(i) + "}");
    QByteArray first = "first {one}";
    while (first.size() < 4 * DefinitionFill::FirstPieceChars)
        first += "\r\nsee {{" + QByteArray(200, 'a') + "\r\n  b}}";
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptDefineReply(server, "150 203 definitions retrieved\r\n" + definition(first));
    server.Hold([&] { return stage >= 1; })
        .Send(batch)
        .Hold([&] { return stage >= 2; })
        .Send(definition("open {brace"))
        .Hold([&] { return stage >= 3; })
        .Send(definition("closes} here") + "250 ok\r\n");
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    RichTextView* view = w.DefinitionView();
    DictConnection* connection = ConnectionRegistry::Instance().FindConnection("127.0.0.1");
    session.Search("x");
    QVERIFY(WaitUntil(
        [&] { return session.Databases() == 1 && !connection->GetDefinitions(session.Database(0)).empty(); }));
    w.Tree().SelectItem(session.Database(0));
    const auto showsAll = [&] {
        const std::string stored = connection->GetDefinitions(session.Database(0));
        return view->toPlainText() == RenderDefinitions(QString::fromStdString(stored)).text;
    };
    QVERIFY(WaitUntil(showsAll));
    QVERIFY(view->find("see", QTextDocument::FindBackward));
    const QTextCursor selected = view->textCursor();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    const int scrolled = view->verticalScrollBar()->value();
    for (const int definitions : {1 + Batch, 2 + Batch, 3 + Batch}) {
        const int refreshes = w.ViewRefreshCount();
        ++stage;
        // The last brace opened closes in the last stage, after it was shown open.
        QVERIFY(WaitUntil([&] {
            return view->toPlainText().count(QChar(u'\t')) == definitions - 1
                && (definitions == 3 + Batch ? view->toPlainText().endsWith("closes} here\n") : showsAll());
        }));
        QCOMPARE(w.ViewRefreshCount(), refreshes + 1);
        QCOMPARE(view->verticalScrollBar()->value(), scrolled);
        QCOMPARE(view->textCursor(), selected);
    }
    QVERIFY(session.Idle());
    // "one", the first definition's in two lines each, the batch's; shown
    // anew, "brace", the rule's tab and "closes" as one link across the separator.
    const int links = 1 + 2 * static_cast<int>(first.count("{{")) + Batch;
    QCOMPARE(FormattedRuns(*view).size(), links);
    w.Tree().SelectItem(session.root);
    w.Tree().SelectItem(session.Database(0));
    QVERIFY(WaitUntil(showsAll));
    QCOMPARE(FormattedRuns(*view).size(), links + 3);
    QCOMPARE(FormattedRuns(*view).back(), QString("closes"));
}

void MainWindowTest::largeNodeFillsInPiecesUntilAnotherSelection_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("every brace closed, a mark at a piece's start") << QByteArray("\xEF\xBB\xBFmarked\r\n");
    // Every later brace then pairs with the closing after the next: one link.
    QTest::newRow("a brace on the first line never closed") << QByteArray("{ opens\r\n");
}

// A node of many pieces shows its first piece at once and the others
// one an event-loop turn, each at least as large, ending as a rendering
// of the whole; a new selection or a followed link stops the filling.
void MainWindowTest::largeNodeFillsInPiecesUntilAnotherSelection()
{
    // Each piece takes a first piece's worth of stored text or the rest
    // of what was rendered with it.
    constexpr int StoredPieces = 40;
    QFETCH(QByteArray, lines);
    for (int i = 0; lines.size() < StoredPieces * DefinitionFill::FirstPieceChars; ++i)
        lines += "entry " + QByteArray::number(i) + " see {word " + QByteArray::number(i) + "} and {{other\r\n   "
            + QByteArray::number(i) + "}}\r\n";
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptDefineReply(server,
                      "150 2 definitions retrieved\r\n151 \"big\" wn \"WordNet\"\r\n" + lines
                          + ".\r\n151 \"big\" gcide \"Gcide\"\r\nsmall {one}\r\n.\r\n250 ok\r\n");
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    RichTextView* view = w.DefinitionView();
    QVERIFY(session.Answered("big", 2));
    const RenderedDefinitions whole = RenderDefinitions(
        Utf8Text(ConnectionRegistry::Instance().FindConnection("127.0.0.1")->GetDefinitions(session.Database(1))));
    RichTextView fresh;
    fresh.ShowRendered(whole.text, whole.linkRuns, whole.separators);
    const auto turns = [&](int count) {
        for (int turn = 0; turn < count && view->toPlainText().size() < whole.text.size(); ++turn)
            QCoreApplication::processEvents();
    };
    // The search showed its first node itself: a selection starts anew from the root.
    w.Tree().SelectItem(session.root);
    const int pieces = w.ViewPieceCount();
    w.Tree().SelectItem(session.Database(1));
    QCOMPARE(w.ViewPieceCount(), pieces + 1);
    const QString first = view->toPlainText();
    QVERIFY(view->document()->size().height() > view->viewport()->height());
    QVERIFY(first.size() < whole.text.size() && whole.text.startsWith(first));
    w.Tree().SelectItem(session.Database(0));
    turns(3);
    QCOMPARE(view->toPlainText(), QString("small one\n"));
    QCOMPARE(w.ViewPieceCount(), pieces + 2);
    w.Tree().SelectItem(session.Database(1));
    turns(2 * StoredPieces + 1);
    QCOMPARE(view->toPlainText(), whole.text);
    QCOMPARE(FormattedRuns(*view), FormattedRuns(fresh));
    QVERIFY(w.ViewPieceCount() - pieces - 2 > 2);
    w.Tree().SelectItem(session.Database(0));
    w.Tree().SelectItem(session.Database(1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      CharacterCentre(view, static_cast<int>(view->toPlainText().indexOf("word 3"))));
    QVERIFY(lines.startsWith("{") ? w.CurrentWord().contains("word 3 and other") : w.CurrentWord() == "word 3");
    const int stopped = w.ViewPieceCount();
    turns(3);
    // A link too long for a command is said to be so; the other waits for its answer.
    const QString shown = view->toPlainText();
    QVERIFY(lines.startsWith("{") ? shown.endsWith(" was not asked: the word is too long\n") : shown.isEmpty());
    QCOMPARE(w.ViewPieceCount(), stopped);
}

// Finding goes through links, plain text and rules alike, both ways, says
// when it goes round, and searches a newly selected node's text from the
// top of the screen, highlighting only what is on screen of a long line.
void MainWindowTest::findStepsThroughTheMatchesBothWaysAndWraps()
{
    const QByteArray lines = QByteArray("apple\r\n").repeated(100);
    const QByteArray longLine = QByteArray("ripe plum ").repeated(10000);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptDefineReply(server,
                      "150 4 definitions retrieved\r\n151 \"x\" wn \"WordNet\"\r\nan {Apple} a day\r\n.\r\n"
                      "151 \"x\" wn \"WordNet\"\r\n{{apple pie}} and APPLE\r\n.\r\n"
                      "151 \"x\" gcide \"Gcide\"\r\ncrab apple\r\n.\r\n151 \"x\" foldoc \"Foldoc\"\r\n"
                          + lines + longLine + "\r\n.\r\n250 ok\r\n");
    Session session(server);
    QVERIFY(session.connected && session.Answered("x", 3));
    MainWindow& w = *session.window;
    RichTextView* view = w.DefinitionView();
    QLineEdit* field = w.Find()->Field();
    // WordNet answered first: the search shows it.
    QCOMPARE(w.Tree().GetSelectedItem(), session.Database(2));
    QVERIFY(WaitUntil([&] { return view->toPlainText() == "an Apple a day\n\t\napple pie and APPLE\n"; }));
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(field, "apple");
    const struct {
        Qt::Key key;
        Qt::KeyboardModifier modifier;
        int match;
        const char* status;
    } steps[] = {
        // clang-format off
        {Qt::Key_unknown, Qt::NoModifier, 3, ""},
        {Qt::Key_Return, Qt::NoModifier, 17, ""},
        {Qt::Key_F3, Qt::NoModifier, 31, ""},
        {Qt::Key_Enter, Qt::NoModifier, 3, "Continued from the top"},
        {Qt::Key_Return, Qt::ShiftModifier, 31, "Continued from the bottom"},
        {Qt::Key_F3, Qt::ShiftModifier, 17, ""},
        // clang-format on
    };
    for (const auto& step : steps) {
        if (step.key != Qt::Key_unknown)
            QTest::keyClick(field, step.key, step.modifier);
        QCOMPARE(view->textCursor().selectionStart(), step.match);
        QCOMPARE(view->textCursor().selectionEnd(), step.match + 5);
        QCOMPARE(w.Find()->Status()->text(), QString(step.status));
        QCOMPARE(view->extraSelections().size(), 3);
    }
    QCOMPARE(w.CurrentWord(), QString("x"));
    const QColor base = field->palette().color(QPalette::Base);
    w.Tree().SelectItem(session.Database(1));
    QTRY_COMPARE(view->textCursor().selectionStart(), 5);
    QCOMPARE(view->textCursor().selectedText(), QString("apple"));
    QTest::keyClick(field, Qt::Key_X);
    QCOMPARE(w.Find()->Status()->text(), QString("Not found"));
    QVERIFY(!view->textCursor().hasSelection());
    QVERIFY(field->palette().color(QPalette::Base) != base);
    QCOMPARE(view->extraSelections().size(), 0);

    w.Tree().SelectItem(session.Database(0));
    QVERIFY(WaitUntil([&] { return view->toPlainText().endsWith(" \n"); }));
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    const int top = view->cursorForPosition(QPoint(0, 0)).block().position();
    QVERIFY(top > 0);
    field->selectAll();
    QTest::keyClicks(field, "apple");
    QCOMPARE(view->textCursor().selectionStart(), top);
    QCOMPARE(w.Find()->Status()->text(), QString());
    field->selectAll();
    QTest::keyClicks(field, "pe");
    QCOMPARE(view->textCursor().block().length(), longLine.size() + 1);
    for (const int along : {0, 1, 2}) {
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum() * along / 2);
        QCoreApplication::processEvents();
        const auto highlights = view->extraSelections();
        QVERIFY(!highlights.isEmpty() && highlights.size() < 100);
        const int y = view->cursorRect().center().y();
        for (const auto& highlight : highlights)
            QVERIFY(highlight.cursor.selectionEnd() > view->cursorForPosition(QPoint(0, y)).position()
                    && highlight.cursor.selectionStart()
                        <= view->cursorForPosition(QPoint(view->width(), y)).position());
    }
}

// The view's context menu, or Ctrl+Enter for the selection, looks a text
// up as a followed link does; a command past the limit is not offered.
void MainWindowTest::lookUpFromTheViewGoesAsALinkDoesWithinTheCommandLimit()
{
    // DEFINE * "…" and CR LF: 13 bytes beside the word, 1,024 in all.
    const QString fits(1011, u'f'), over(1012, u'o');
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDictResponder(
        ScriptedDictServer::DefaultGreeting().toStdString(), {{"wn", "WordNet"}},
        {{"lists", {"wn", "lists", ("see {word} and plain\n\tbreak " + fits + " " + over).toStdString()}}});
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    RichTextView* view = w.DefinitionView();
    const struct {
        QString selected;
        bool byMenu;
        QString label;
        QString word;
    } rows[] = {
        {"and plain\n\tbreak", false, "", "and plain break"},
        {"", true, "&Look Up \u201Cplain\u201D", "plain"},
        {fits, true, "&Look Up \u201C" + fits.left(40) + "\u2026\u201D", fits},
        {over, true, "&Look Up \u201C" + over.left(40) + "\u2026\u201D", ""},
        {over, false, "", ""},
    };
    for (const auto& row : rows) {
        QVERIFY(session.Answered("lists", 1));
        w.Tree().SelectItem(session.Database(0));
        const int at = static_cast<int>(view->toPlainText().indexOf(row.selected.isEmpty() ? "plain" : row.selected));
        QTextCursor selection(view->document());
        selection.setPosition(at);
        selection.setPosition(at + static_cast<int>(row.selected.size()), QTextCursor::KeepAnchor);
        view->setTextCursor(selection);
        view->setFocus();
        const Words back = ToList(w.BackHistory());
        QStringList offered;
        if (row.byMenu) {
            QTimer::singleShot(0, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                for (QAction* action : menu->actions())
                    offered << action->text();
                offered.front().prepend(menu->actions().front()->isEnabled() ? "" : "disabled ");
                if (menu->actions().front()->isEnabled())
                    menu->actions().front()->trigger();
                menu->close();
            });
            const QPoint point = CharacterCentre(view, at + 1);
            QContextMenuEvent click(QContextMenuEvent::Mouse, point, view->viewport()->mapToGlobal(point));
            QApplication::sendEvent(view->viewport(), &click);
            QCOMPARE(offered.mid(1),
                     QStringList({"", "&Copy\tCtrl+C", "Copy Definition", "Copy All", "", "Select All\tCtrl+A"}));
            QCOMPARE(offered.front(), (row.word.isEmpty() ? "disabled " : "") + row.label);
        } else {
            QTest::keyClick(view, Qt::Key_Return, Qt::ControlModifier);
        }
        QCOMPARE(w.CurrentWord(), row.word.isEmpty() ? "lists" : row.word);
        QCOMPARE(w.WordBox()->text(), w.CurrentWord());
        QCOMPARE(ToList(w.BackHistory()), row.word.isEmpty() ? back : back + Words{"lists"});
        QVERIFY(WaitUntil([&] { return LastDefine(server) == "DEFINE * \"" + w.CurrentWord() + "\""; }));
    }
}

void MainWindowTest::searchIsKeptInAFileOnPaperOrTheClipboard_data()
{
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("expected");  // %1 and %2 the ports
    const QString text = "crab/apple\n\n127.0.0.1:%1 \u2014 WordNet\n\nsee fruit & <more>\n  indented\n"
        + QString(40, u'-') + "\nsecond one\n\n127.0.0.2:%2 \u2014 Gcide\n\na Pome.\n";
    const QString pre = "<pre style=\"white-space: pre-wrap\">", link = "<b style=\"color: #0000ff\">";
    // clang-format off
    QTest::newRow("web page") << "Web page (*.html *.htm)" << "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>crab/apple</title>\n</head>\n<body>\n<h1>crab/apple</h1>\n<h2>127.0.0.1:%1 \u2014 WordNet</h2>\n" + pre
        + "see " + link + "fruit</b> &amp; &lt;more&gt;\n  indented</pre>\n<hr>\n" + pre + "second " + link + "one</b></pre>\n"
        "<h2>127.0.0.2:%2 \u2014 Gcide</h2>\n" + pre + "a " + link + "Pome</b>.</pre>\n</body>\n</html>\n";
    QTest::newRow("text") << "Text (*.txt)" << text;
    QTest::newRow("read-only folder") << "Text (*.txt)" << "The definitions could not be saved in \u201CFILE\u201D: "
        "Permission denied|Save As|old";
    QTest::newRow("pdf") << "pdf" << "Title: crab/apple|" + QString(text).remove(QString(40, u'-') + "\n").simplified() + " 1";
    QTest::newRow("copy definition") << "Copy Definition" << "second one\n";
    QTest::newRow("copy all") << "Copy All" << "see fruit & <more>\n  indented\n" + QString(40, u'-') + "\nsecond one\n";
    // clang-format on
}

// A search on two servers saved through the dialog as a page or as text,
// printed to a PDF file, or a definition of the view copied; a failed
// write says so and leaves the old file as it was.
void MainWindowTest::searchIsKeptInAFileOnPaperOrTheClipboard()
{
    QFETCH(QString, kept);
    QFETCH(QString, expected);
    ScriptedDictServer servers[2];
    QVERIFY(servers[0].Listen("127.0.0.1") && servers[1].Listen("127.0.0.2"));
    const std::string word = "crab/apple";
    servers[0].EnableDictResponder(
        ScriptedDictServer::DefaultGreeting().toStdString(), {{"wn", "WordNet"}},
        {{word, {"wn", word, "see {fruit} & <more>\n  indented"}}, {word, {"wn", word, "second {{one}}"}}});
    servers[1].EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(), {{"gcide", "Gcide"}},
                                   {{word, {"gcide", word, "a {{Pome}}."}}});
    QStringList seen;
    SetMessageBoxObserver(
        [&](const MessageBoxRecord& record) { seen << QString::fromStdString(record.text + "|" + record.caption); });
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const struct Cleanup {
        ~Cleanup()
        {
            setfsuid(0);
            ConnectionRegistry::Instance().RemoveAllServers();
            SetMessageBoxObserver(nullptr);
        }
    } cleanup;
    QMenu* file = w.MenuBar()->actions().front()->menu();
    const auto offered = [&] {
        file->popup(QPoint());
        QStringList items;
        for (QAction* item : file->actions())
            items << (item->isEnabled() ? "" : "disabled ") + item->text();
        file->close();
        w.activateWindow();
        return items;
    };
    QCOMPARE(offered(), QStringList({"disabled Save &As...", "disabled &Print...", "", "E&xit"}));
    for (int i : {0, 1})
        ConnectionRegistry::Instance().AddServer("127.0.0." + std::to_string(i + 1), servers[i].Port());
    TreeCtrl& tree = w.Tree();
    const auto answered = [&](int r) { return tree.GetItemImage(tree.GetRootItem(r)) == 1; };
    QVERIFY(WaitUntil([&] { return answered(0) && answered(1); }));
    w.WordBox()->setText(QString::fromStdString(word));
    w.OnSearch();
    QVERIFY(WaitUntil([&] {
        return tree.GetChildCount(tree.GetRootItem(0)) == 1 && tree.GetChildCount(tree.GetRootItem(1)) == 1
            && answered(0) && answered(1);
    }));
    QCOMPARE(offered(), QStringList({"Save &As...", "&Print...", "", "E&xit"}));
    expected = expected.arg(servers[0].Port()).arg(servers[1].Port());
    QTemporaryDir folder;
    const QString path = folder.filePath(kept == "pdf" ? "kept.pdf" : "kept");
    QString got, suggested;
    if (kept.startsWith("Copy")) {
        tree.SelectItem(tree.GetChildItem(tree.GetRootItem(0), 0));
        RichTextView* view = w.DefinitionView();
        // Selected by the search itself, the node's second definition may still be on its way to the view.
        QVERIFY(WaitUntil([&] { return view->toPlainText().contains("second"); }));
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* action : menu->actions())
                if (action->text() == kept)
                    action->trigger();
            menu->close();
        });
        const QPoint point = CharacterCentre(view, static_cast<int>(view->toPlainText().indexOf("second")));
        QContextMenuEvent click(QContextMenuEvent::Mouse, point, view->viewport()->mapToGlobal(point));
        QApplication::sendEvent(view->viewport(), &click);
        got = QGuiApplication::clipboard()->text();
    } else {
        const bool readOnly = QTest::currentDataTag() == QString("read-only folder");
        if (readOnly) {
            WriteFileBytes(path + ".txt", "old");
            QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* print = qobject_cast<QPrintDialog*>(modal)) {
                print->printer()->setOutputFormat(QPrinter::PdfFormat);
                print->printer()->setOutputFileName(path);
                print->done(QDialog::Accepted);
            } else if (auto* save = qobject_cast<QFileDialog*>(modal)) {
                suggested = QFileInfo(save->selectedFiles().value(0)).fileName();
                save->selectNameFilter(kept);
                save->selectFile(path);
                // Root writes in any folder: the save goes as nobody.
                if (readOnly)
                    setfsuid(65534);
                static_cast<QDialog*>(save)->accept();
            }
        });
        QKeySequence key(kept == "pdf" ? QKeySequence::Print : QKeySequence::Save);
        QTest::keySequence(&w, key);
        QVERIFY(WaitUntil([&] { return !w.Output()->IsBusy(); }, 60000));
        setfsuid(0);
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString saved = kept == "pdf" ? path : path + (kept.startsWith("Text") ? ".txt" : ".html");
        const QString written = QString::fromUtf8(ReadFileBytes(saved));
        if (kept == "pdf") {
            QProcess info, text;
            info.start("pdfinfo", {path});
            text.start("pdftotext", {path, "-"});
            QVERIFY(info.waitForFinished() && text.waitForFinished());
            const QString title = QString::fromUtf8(info.readAllStandardOutput())
                                      .split(u'\n')
                                      .filter(QRegularExpression("^Title:"))
                                      .value(0);
            got = title.simplified() + "|" + QString::fromUtf8(text.readAllStandardOutput()).simplified();
        } else {
            QCOMPARE(suggested, QString("crab_apple.html"));
            got = readOnly ? seen.join(";") + "|" + written : written;
        }
        expected.replace("FILE", saved);
    }
    QCOMPARE(got, expected);
}

void MainWindowTest::wordBoxOffersThisRunsWordsAndTheViewZoomsInSteps()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    for (const char* word : {"apple", "Apricot", "banana", "apple", ""}) {
        w.WordBox()->setText(word);
        QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    }
    w.WordBox()->setFocus();
    QTest::keyClicks(w.WordBox(), "aP");
    QCompleter* completer = w.WordBox()->completer();
    QVERIFY(completer->popup()->isVisible());
    QStringList offered;
    for (int row = 0; completer->setCurrentRow(row); ++row)
        offered << completer->currentCompletion();
    QCOMPARE(offered, QStringList({"apple", "Apricot"}));
    // Clicked, a word is not searched until Enter.
    QAbstractItemView* list = completer->popup();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    QCOMPARE(w.WordBox()->text(), QString("Apricot"));
    QCOMPARE(w.CurrentWord(), QString());
    QTest::keyClick(w.WordBox(), Qt::Key_Return);
    QCOMPARE(w.CurrentWord(), QString("Apricot"));
    RichTextView* view = w.DefinitionView();
    const qreal unscaled = view->font().pointSizeF();
    const auto press = [&](Qt::Key key, int times) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(w.WordBox(), key, Qt::ControlModifier);
        return view->font().pointSizeF() / unscaled;
    };
    QCOMPARE(press(Qt::Key_Plus, 1), 1.1);
    QCOMPARE(press(Qt::Key_Equal, 20), 4.0);
    QCOMPARE(press(Qt::Key_Minus, 30), 0.5);
    QCOMPARE(press(Qt::Key_0, 1), 1.0);
    // Two notches of the wheel, with Ctrl held, over the view.
    const QPointF centre = view->viewport()->rect().center();
    QWheelEvent wheel(centre, view->viewport()->mapToGlobal(centre), {}, {0, 240}, Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    QCOMPARE(view->font().pointSizeF() / unscaled, 1.25);
}

void MainWindowTest::escapeEndsWithoutSavingExitAndCloseSave()
{
    {
        Session session(m_server);
        MainWindow& w = *session.window;
        // Escape in the find field closes the field alone, as Ctrl+F does,
        // and the focus goes back where it was.
        w.DefinitionView()->SetPlainText("some text");
        w.DefinitionView()->selectAll();
        for (const auto& [key, from] :
             {std::pair<Qt::Key, QWidget*>{Qt::Key_F, w.DefinitionView()}, {Qt::Key_Escape, w.WordBox()}}) {
            from->setFocus();
            QTest::keyClick(from, Qt::Key_F, Qt::ControlModifier);
            QCOMPARE(w.Find()->Field()->text(), QString("some text"));
            QCOMPARE(w.focusWidget(), w.Find()->Field());
            QTest::keyClick(w.Find()->Field(), key, key == Qt::Key_F ? Qt::ControlModifier : Qt::NoModifier);
            QVERIFY(w.isVisible() && !w.Find()->isVisible());
            QCOMPARE(w.focusWidget(), from);
        }
        QTest::keyClick(w.DefinitionView(), Qt::Key_Escape);
        QVERIFY(!session.window->isVisible());
        QVERIFY(!ReadStore(m_config.path()).contains("127.0.0.1"));
    }
    {
        Session session(m_server);
        QAction* exit = session.window->MenuBar()->actions().front()->menu()->actions().back();
        QCOMPARE(exit->text(), QString("E&xit"));
        exit->trigger();
        QVERIFY(!session.window->isVisible());
        QVERIFY(ReadStore(m_config.path()).contains("\"127.0.0.1\"=dword:"));
    }
    init();
    {
        Session session(m_server);
        session.window->close();
        QVERIFY(!session.window->isVisible());
        QVERIFY(ReadStore(m_config.path()).contains("\"127.0.0.1\"=dword:"));
    }
}

void MainWindowTest::altFPressesForwardsAndF10OpensTheFileMenu()
{
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    session.Search("one");
    session.Search("two");
    w.WordBox()->setFocus();
    QTest::keyClick(w.WordBox(), Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(w.CurrentWord(), QString("one"));
    QTest::keyClick(w.WordBox(), Qt::Key_F, Qt::AltModifier);
    QTRY_COMPARE(w.CurrentWord(), QString("two"));
    QVERIFY(!w.ForwardsButton()->isEnabled());
    QVERIFY(!w.MenuBar()->activeAction());
    QTest::keyClick(&w, Qt::Key_F10);
    QVERIFY(w.MenuBar()->activeAction());
    QCOMPARE(w.MenuBar()->activeAction()->text(), QString("&File"));
    QWidget* popup = QApplication::activePopupWidget();
    QVERIFY(popup);
    QTest::keyClick(popup, Qt::Key_Escape);
    QTest::keyClick(w.MenuBar(), Qt::Key_Escape);
    QTRY_VERIFY(!w.MenuBar()->activeAction());
    QVERIFY(w.isVisible());
    // With Forwards disabled its mnemonic is passed over and Alt+F opens
    // the File menu.
    w.WordBox()->setFocus();
    QTest::keyClick(w.WordBox(), Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(w.MenuBar()->activeAction());
    QCOMPARE(w.MenuBar()->activeAction()->text(), QString("&File"));
    QCOMPARE(w.CurrentWord(), QString("two"));
}

void MainWindowTest::altSSearchesAndAltTOpensTheToolsMenu()
{
    Session session(m_server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    w.WordBox()->setFocus();
    QTest::keyClicks(w.WordBox(), "typed");
    QTest::keyClick(w.WordBox(), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(w.CurrentWord(), QString("typed"));
    QVERIFY(WaitUntil([&] { return LastDefine(m_server) == "DEFINE * \"typed\""; }));
    QVERIFY(!w.MenuBar()->activeAction());
    QTest::keyClick(w.WordBox(), Qt::Key_T, Qt::AltModifier);
    QTRY_VERIFY(w.MenuBar()->activeAction());
    QCOMPARE(w.MenuBar()->activeAction()->text(), QString("&Tools"));
}

void MainWindowTest::helpOpensTheGuide()
{
    QUrl opened;
    SetUrlObserver([&](const QUrl& url) { opened = url; });
    SetHelpHandler(&ClientApp::OnHelp);
    Session session(m_server);
    QAction* help = session.window->MenuBar()->actions().back()->menu()->actions().front();
    QCOMPARE(help->text(), QString("&Help..."));
    help->trigger();
    SetUrlObserver(nullptr);
    QCOMPARE(opened, ClientApp::HelpUrl());
    QVERIFY(opened.toLocalFile().endsWith("/index.html"));
}

void MainWindowTest::guideIsFoundInstalledOrInTheBuildTree()
{
    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath("bin/share/quorlex/guide") && QDir(prefix.path()).mkpath("share/quorlex/guide"));
    const QString bin = prefix.filePath("bin");
    const QUrl installed = QUrl::fromLocalFile(prefix.filePath("share/quorlex/guide/index.html"));
    const QUrl inBuildTree = QUrl::fromLocalFile(prefix.filePath("bin/share/quorlex/guide/index.html"));
    // Neither exists: the installed place, for the browser to report.
    QCOMPARE(ClientApp::HelpUrlFor(bin), installed);
    WriteFileBytes(inBuildTree.toLocalFile(), "<html></html>");
    QCOMPARE(ClientApp::HelpUrlFor(bin), inBuildTree);
    WriteFileBytes(installed.toLocalFile(), "<html></html>");
    QCOMPARE(ClientApp::HelpUrlFor(bin), installed);
    // build/quorlex finds the copy the build made.
    QVERIFY(QFile::exists(ClientApp::HelpUrlFor(QUORLEX_PROGRAM_DIR).toLocalFile()));
}

void MainWindowTest::controlsTakeClicksAndTabInTemplateOrder()
{
    Session session(m_server);
    MainWindow& w = *session.window;
    QTreeWidget* tree = w.Tree().Widget();
    for (QWidget* control : std::initializer_list<QWidget*>{tree, w.DefinitionView(), w.WordBox(), w.BackButton()}) {
        const QPoint centre = control->mapTo(&w, control->rect().center());
        QWidget* hit = w.childAt(centre);
        QVERIFY2(hit == control || control->isAncestorOf(hit), qPrintable(control->metaObject()->className()));
    }
    QWidget* const order[] = {w.SearchButton(),   w.WordBox(),    tree,
                              w.DefinitionView(), w.BackButton(), w.ForwardsButton()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next != order[i + 1] && (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisible()))
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
    QCOMPARE(Unnamed(w), QStringList());
    QCOMPARE(w.windowTitle(), QString("Tallowmere DICT Client"));
    QCOMPARE(w.minimumSize(), w.maximumSize());
}

// Screen readers hear a server's state in words, as the picture shows it.
void MainWindowTest::rootStateIsGivenInWords()
{
    bool listed = false, closed = false;
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.Send(ScriptedDictServer::DefaultGreeting() + "\r\n")
        .WaitForLine("^SHOW DB")
        .Hold([&] { return listed; })
        .Send("110 1 databases present\r\nwn \"WordNet\"\r\n.\r\n250 ok\r\n")
        .Hold([&] { return closed; })
        .Close();
    MainWindow window;
    ConnectionRegistry::Instance().AddServer("127.0.0.1", server.Port());
    const auto root = window.Tree().Widget()->topLevelItem(0);
    const auto says = [&](const QString& state) {
        return WaitUntil([&] { return root->data(0, Qt::AccessibleDescriptionRole).toString() == state; });
    };
    QCOMPARE(root->text(0), QString("127.0.0.1:%1").arg(server.Port()));
    QVERIFY(says("busy"));
    listed = true;
    QVERIFY(says("connected"));
    closed = true;
    QVERIFY(says("not connected"));
    ConnectionRegistry::Instance().RemoveAllServers();
}

void MainWindowTest::menuOpensTheServersDialogAndTheAboutBox()
{
    Session session(m_server);
    const QList<QAction*> menus = session.window->MenuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[1]->text(), QString("&Tools"));
    QStringList seen;
    const auto closeWhenShown = [&] {
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            seen << (modal ? modal->windowTitle() : QString());
            if (modal)
                seen << Unnamed(*modal);
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
    };
    closeWhenShown();
    menus[1]->menu()->actions().front()->trigger();
    closeWhenShown();
    menus[2]->menu()->actions().back()->trigger();
    QCOMPARE(seen, (QStringList{"Configure DICT Servers", "About Quorlex"}));
}

void MainWindowTest::withoutServersTheHistoryStillWorksAndNothingIsSent()
{
    ScriptedDictServer unlisted;
    QVERIFY(unlisted.Listen());
    MainWindow w;
    w.show();
    QCOMPARE(w.Tree().GetRootItem(0), HTREEITEM(nullptr));
    RichTextView* view = w.DefinitionView();
    const QString notice = view->toPlainText();
    QVERIFY(notice.contains("add one in Tools, Servers...") && notice.contains("2628"));
    QCOMPARE(FormattedRuns(*view), (QStringList{"Tools, Servers..."}));
    view->clear();
    for (const char* word : {"a", "b"}) {
        w.WordBox()->setText(word);
        QTest::mouseClick(w.SearchButton(), Qt::LeftButton);
    }
    QTest::mouseClick(w.BackButton(), Qt::LeftButton);
    QCOMPARE(w.WordBox()->text(), QString("a"));
    QCOMPARE(ToList(w.ForwardHistory()), (Words{"b"}));
    QVERIFY(!w.BackButton()->isEnabled());
    QTest::mouseClick(w.ForwardsButton(), Qt::LeftButton);
    QCOMPARE(w.WordBox()->text(), QString("b"));
    QCOMPARE(ToList(w.BackHistory()), (Words{"a"}));
    QVERIFY(!w.ForwardsButton()->isEnabled());
    QTest::qWait(100);
    QCOMPARE(unlisted.ConnectionCount(), 0);
    QCOMPARE(view->toPlainText(), notice);
    // The link opens the servers dialog; a server added there ends the notice.
    QString opened;
    QTimer closer;
    closer.callOnTimeout([&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened = dialog->windowTitle();
            ConnectionRegistry::Instance().AddServer("127.0.0.1", unlisted.Port());
            dialog->reject();
        }
    });
    closer.start(10);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      CharacterCentre(view, static_cast<int>(notice.indexOf("Servers"))));
    QVERIFY(WaitUntil([&] { return !opened.isEmpty(); }));
    QCOMPARE(opened, QString("Configure DICT Servers"));
    QVERIFY(WaitUntil([&] { return view->toPlainText().isEmpty(); }));
    ConnectionRegistry::Instance().RemoveAllServers();
}

int DefineCount(const ScriptedDictServer& server)
{
    return static_cast<int>(
        server.ReceivedLines(server.ConnectionCount() - 1).filter(QRegularExpression("^DEFINE")).size());
}

void MainWindowTest::sameWordAgainEntersTheBackListBySearchAndByLink()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(), {{"wn", "WordNet"}},
                               {{"self", {"wn", "self", "see {self}"}}});
    Session session(server);
    QVERIFY(session.connected);
    MainWindow& w = *session.window;
    session.Search("self");
    session.Search("self");
    QCOMPARE(ToList(w.BackHistory()), (Words{"self"}));
    QVERIFY(WaitUntil([&] { return session.Databases() == 1 && DefineCount(server) == 2; }));
    QVERIFY(session.Idle());
    w.Tree().SelectItem(session.Database(0));
    QCOMPARE(w.DefinitionView()->toPlainText(), QString("see self\n"));
    QTest::mouseClick(w.DefinitionView()->viewport(), Qt::LeftButton, {}, CharacterCentre(w.DefinitionView(), 5));
    QCOMPARE(ToList(w.BackHistory()), (Words{"self", "self"}));
    QCOMPARE(w.CurrentWord(), QString("self"));
    QVERIFY(WaitUntil([&] { return DefineCount(server) == 3; }));
}

void MainWindowTest::controlsStandWherePlacedInDialogUnits()
{
    MainWindow w;
    w.show();
    const int menu = w.MenuBar()->height();
    const auto at = [&](int x, int y, int width, int height) {
        return DialogUnitsToPixels(w.font(), x, y, width, height).translated(0, menu);
    };
    QCOMPARE(w.size(), at(0, 0, 498, 300).size() + QSize(0, menu));
    QCOMPARE(w.SearchButton()->geometry(), at(431, 18, 50, 14));
    QCOMPARE(w.WordBox()->geometry(), at(15, 18, 409, 14));
    QCOMPARE(w.Tree().Widget()->geometry(), at(14, 92, 166, 190));
    QCOMPARE(w.DefinitionView()->geometry(), at(186, 92, 295, 190));
    QCOMPARE(w.BackButton()->geometry(), at(15, 50, 24, 18));
    QCOMPARE(w.ForwardsButton()->geometry(), at(44, 50, 24, 18));
    const std::map<QString, QRect> boxes{{"Search Parameters", at(7, 7, 484, 31)},
                                         {"Search History", at(7, 39, 484, 36)},
                                         {"Search Results", at(7, 79, 484, 214)}};
    std::map<QString, QRect> placed;
    for (const QGroupBox* box : w.findChildren<QGroupBox*>())
        placed[box->title()] = box->geometry();
    QVERIFY(placed == boxes);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.BackButton()->accessibleName(), QString("Back"));
    QCOMPARE(w.ForwardsButton()->accessibleName(), QString("Forwards"));
    QCOMPARE(w.focusWidget(), w.SearchButton());
    QVERIFY(w.SearchButton()->isDefault());
    QVERIFY(!w.BackButton()->icon().isNull());
    QVERIFY(!w.ForwardsButton()->icon().isNull());
    QCOMPARE(LayoutFaults(w).join("; "), QString());
    QCOMPARE(LayoutFaults(AboutBox(&w)).join("; "), QString());
    // The find field with its longest word, over the view's bottom edge.
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.DefinitionView()->SetPlainText("one two one");
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(w.Find()->Field(), "one");
    QTest::keyClick(w.Find()->Field(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(w.Find()->Status()->text(), QString("Continued from the bottom"));
    QVERIFY(w.DefinitionView()->geometry().contains(w.Find()->geometry()));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(LayoutFaults(w).join("; "), QString());
}

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
