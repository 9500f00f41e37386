#include "MainWindow.h"

#include "AboutBox.h"
#include "CServersDlg.h"
#include "ConnectionRegistry.h"
#include "DialogUnits.h"
#include "DictConnection.h"
#include "FindBar.h"
#include "GivenWord.h"
#include "HelpRequest.h"
#include "MessageBox.h"
#include "RichTextView.h"
#include "SearchOutput.h"
#include "SearchWatch.h"
#include "ViewCopy.h"
#include "ViewNotice.h"
#include "ViewZoom.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Indices 0 to 6 of the results tree's images; the connections rely on them.
// A server's state is also given in words, for screen readers.
const struct {
    const char* file;
    const char* meaning;
} TreeImages[] = {
    {":/icons/plug-apart.svg", "not connected"}, {":/icons/plug-seated.svg", "connected"},
    {":/icons/database-grey.svg", ""},           {":/icons/database-blue.svg", ""},
    {":/icons/plug-glow-1.svg", "busy"},         {":/icons/plug-glow-2.svg", "busy"},
    {":/icons/plug-glow-3.svg", "busy"},
};

QString WordOfLink(QString text)
{
    text.remove(u'\n').remove(u'\r').remove(u'\t');
    int pair;
    while ((pair = text.indexOf(QStringLiteral("  "))) >= 0)
        text.remove(pair, 1);
    return text;
}

std::string Narrow(const QString& text)
{
    return text.toUtf8().toStdString();
}

// A look-up that could not go out whole is not offered.
bool CanLookUp(const QString& word)
{
    return !word.isEmpty() && LookUpRefusal(word).isEmpty();
}

QString LookUpLabel(const QString& word)
{
    return QString("&Look Up \u201C%1\u201D").arg(Abridged(word, 40).replace(u'&', "&&"));
}

// On Wayland the compositor offers the selection to the focused window
// alone; a window never given the focus reads what it can after this.
constexpr int SelectionFocusWaitMs = 1000;

}  // namespace

MainWindow::MainWindow()
    : m_hIcon(":/icons/quorlex.svg"), m_treeWidget(new QTreeWidget(this)), m_tree(m_treeWidget),
      m_viewRefresh([this] { RefreshGrownSelection(); })
{
    setWindowTitle("Tallowmere DICT Client");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    CreateMenu();
    CreateControls();
    CreateKeys();
    OnInitDialog();
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    m_tree.SetSelChangedHandler(nullptr);
    m_tree.SetUserSelectedHandler(nullptr);
    m_tree.SetSelectedItemGrewHandler(nullptr);
}

void MainWindow::CreateMenu()
{
    m_menuBar = new QMenuBar(this);
    QMenu* file = m_menuBar->addMenu("&File");
    QAction* exit = file->addAction("E&xit");
    connect(exit, &QAction::triggered, this, &MainWindow::OnMenuExit);
    m_pOutput = new SearchOutput(
        this, m_tree, [this] { return m_strCurrentWord; }, [this](HTREEITEM item) { return StoredText(item); });
    m_pOutput->AddItems(file, exit);
    QMenu* tools = m_menuBar->addMenu("&Tools");
    connect(tools->addAction("&Servers..."), &QAction::triggered, this, &MainWindow::OnMenuServers);
    QMenu* help = m_menuBar->addMenu("&Help");
    connect(help->addAction("&Help..."), &QAction::triggered, this, &MainWindow::OnMenuHelp);
    connect(help->addAction("&About Quorlex"), &QAction::triggered, this, &MainWindow::OnMenuAbout);
    m_nMenuHeight = m_menuBar->sizeHint().height();
    // Alt+F belongs to the Forwards button, as a dialog's own mnemonics come
    // first; F10 still opens the menu from the keyboard.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this, file] { m_menuBar->setActiveAction(file->menuAction()); });
    qApp->installEventFilter(this);
}

void MainWindow::Place(QWidget* control, int x, int y, int w, int h)
{
    control->setGeometry(DialogUnitsToPixels(font(), x, y, w, h).translated(0, m_nMenuHeight));
}

void MainWindow::CreateControls()
{
    const QSize client = DialogUnitsToPixels(font(), 0, 0, 498, 300).size();
    setFixedSize(client.width(), client.height() + m_nMenuHeight);
    m_menuBar->setGeometry(0, 0, client.width(), m_nMenuHeight);

    // Template order is tab order: create the controls in it.
    Place(new QGroupBox("Search Parameters", this), 7, 7, 484, 31);
    m_searchButton = new QPushButton("&Search", this);
    Place(m_searchButton, 431, 18, 50, 14);
    m_searchButton->setDefault(true);
    connect(m_searchButton, &QPushButton::clicked, this, &MainWindow::OnSearch);
    m_editWord = new QLineEdit(this);
    m_editWord->setAccessibleName("Word");
    Place(m_editWord, 15, 18, 409, 14);
    Place(new QGroupBox("Search Results", this), 7, 79, 484, 214);
    Place(m_treeWidget, 14, 92, 166, 190);
    m_treeWidget->setRootIsDecorated(true);
    m_treeWidget->setAccessibleName("Search Results");
    m_definitionView = new RichTextView(this);
    m_definitionView->setAccessibleName("Definitions");
    Place(m_definitionView, 186, 92, 295, 190);
    m_pFill = std::make_unique<DefinitionFill>(m_definitionView);
    m_findBar = new FindBar(m_definitionView, this);
    new ViewZoom(m_definitionView, this);
    m_pRecentWords = std::make_unique<RecentWords>(m_editWord);
    Place(new QGroupBox("Search History", this), 7, 39, 484, 36);
    m_backButton = new QPushButton("&Back", this);
    m_forwardsButton = new QPushButton("&Forwards", this);
    for (QPushButton* button : {m_backButton, m_forwardsButton}) {
        button->setAccessibleName(button == m_backButton ? "Back" : "Forwards");
        button->setToolTip(button->accessibleName());
        button->setEnabled(false);
        button->setAutoDefault(false);
    }
    Place(m_backButton, 15, 50, 24, 18);
    Place(m_forwardsButton, 44, 50, 24, 18);
    connect(m_backButton, &QPushButton::clicked, this, &MainWindow::OnBack);
    connect(m_forwardsButton, &QPushButton::clicked, this, &MainWindow::OnForwards);
    // The tree exists before the group box drawn around it: bring it up,
    // and keep the tab order of the controls as placed.
    m_treeWidget->raise();
    QWidget* const order[] = {m_searchButton,     m_editWord,   m_treeWidget,    m_definitionView,
                              m_findBar->Field(), m_backButton, m_forwardsButton};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    m_searchButton->setFocus();
}

// Keys that reach the history, the word box and a look-up from anywhere in
// the window; the mouse's Back and Forward buttons are taken in
// eventFilter.
void MainWindow::CreateKeys()
{
    for (auto [key, button] : {std::pair{QKeySequence::Back, m_backButton}, {QKeySequence::Forward, m_forwardsButton}})
        connect(new QShortcut(key, this), &QShortcut::activated, button, &QPushButton::click);
    connect(new QShortcut(Qt::CTRL | Qt::Key_L, this), &QShortcut::activated, this, [this] {
        m_editWord->setFocus(Qt::ShortcutFocusReason);
        m_editWord->selectAll();
    });
    m_lookUpKey = new QAction("Look Up", this);
    m_lookUpKey->setShortcuts({Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter});
    m_lookUpKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_lookUpKey, &QAction::triggered, this, &MainWindow::LookUpSelection);
    m_definitionView->addAction(m_lookUpKey);
    m_findBar->addAction(m_lookUpKey);
    m_definitionView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_definitionView, &QWidget::customContextMenuRequested, this, &MainWindow::OnViewContextMenu);
}

void MainWindow::OnInitDialog()
{
    std::vector<QString> meanings;
    for (const auto& image : TreeImages) {
        m_treeImages.emplace_back(image.file);
        meanings.emplace_back(image.meaning);
    }
    m_tree.SetImageList(m_treeImages, meanings);
    m_tree.SetSelChangedHandler([this](HTREEITEM item) { OnTreeSelChanged(item); });
    // A node's first text shows as it arrives; more of it at the view's pace.
    m_tree.SetSelectedItemGrewHandler([this](HTREEITEM) {
        if (m_pFill->IsEmpty())
            RefreshGrownSelection();
        else
            m_viewRefresh.Request();
    });
    m_pSearchWatch = std::make_unique<SearchWatch>(
        m_tree, [this](const QString& word, const QStringList& unanswered) { OnNothingFound(word, unanswered); });
    m_tree.SetUserSelectedHandler([this](HTREEITEM) { m_pSearchWatch->OnUserSelected(); });
    // The buttons show their arrows; the mnemonic stays in the hidden text.
    for (auto [button, file] : {std::pair{m_backButton, ":/icons/arrow-back.svg"},
                                std::pair{m_forwardsButton, ":/icons/arrow-forwards.svg"}}) {
        const QString mnemonic = button->text();
        button->setIcon(QIcon(file));
        button->setIconSize(button->size() - QSize(6, 4));
        button->setText(QString());
        button->setShortcut(QKeySequence::mnemonic(mnemonic));
    }
    m_definitionView->SetLinkHandler([this](LinkMouse m, int start, int end) { OnDefinitionLink(m, start, end); });
    ConnectionRegistry::Instance().AttachTree(&m_tree);
    ConnectionRegistry::Instance().LoadServerList();
    ShowServerListState();
    setWindowIcon(m_hIcon);
}

// ---- Search and history ----

void MainWindow::PushBackHistory(const QString& word)
{
    if (word.isEmpty())
        return;
    m_backButton->setEnabled(true);
    m_backHistory.push_back(word);
}

void MainWindow::PushForwardHistory(const QString& word)
{
    if (word.isEmpty())
        return;
    m_forwardsButton->setEnabled(true);
    m_forwardHistory.push_back(word);
}

void MainWindow::LookUp(const QString& word)
{
    m_spellSuggester.Cancel();
    m_pRecentWords->Remember(word);
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    if (registry.IsEmpty()) {
        ShowServerListState();
        return;
    }
    // A notice is about the last search; nodes the new one removes empty the view themselves.
    ClearNotice();
    m_pSearchWatch->Start(word);
    registry.DefineAll(Narrow(word));
    m_pSearchWatch->Sent();
}

void MainWindow::OnSearch()
{
    PushBackHistory(m_strCurrentWord);
    const QString word = m_editWord->text();
    LookUp(word);
    m_strCurrentWord = word;
    m_forwardHistory.clear();
    m_forwardsButton->setEnabled(false);
}

void MainWindow::OnBack()
{
    if (m_backHistory.empty())
        return;
    const QString word = m_backHistory.back();
    m_backHistory.pop_back();
    PushForwardHistory(m_strCurrentWord);
    m_strCurrentWord = word;
    m_editWord->setText(word);
    LookUp(word);
    if (m_backHistory.empty())
        m_backButton->setEnabled(false);
}

void MainWindow::OnForwards()
{
    if (m_forwardHistory.empty())
        return;
    const QString word = m_forwardHistory.back();
    m_forwardHistory.pop_back();
    PushBackHistory(m_strCurrentWord);
    m_strCurrentWord = word;
    m_editWord->setText(word);
    LookUp(word);
    if (m_forwardHistory.empty())
        m_forwardsButton->setEnabled(false);
}

// ---- Definition view ----

const std::string* MainWindow::StoredText(HTREEITEM item) const
{
    const auto* connection = reinterpret_cast<const DictConnection*>(m_tree.GetItemData(item));
    return connection ? connection->FindDefinitions(item) : nullptr;
}

void MainWindow::OnTreeSelChanged(HTREEITEM item)
{
    m_viewRefresh.Cancel();
    m_pFill->Stop();
    m_viewNotice = ViewNotice::None;
    m_hShownItem = item;
    if (!item) {
        m_definitionView->SetPlainText("NULL");
        return;
    }
    const std::string* stored = StoredText(item);
    if (!stored || stored->empty()) {
        m_definitionView->SetPlainText(QString());
        m_definitionView->setEnabled(false);
        return;
    }
    m_definitionView->setEnabled(true);
    m_pFill->Start(*stored);
}

// A node that keeps receiving definitions is refreshed at a pace the
// view's own cost allows; definitions only ever join its text at the end,
// where the fill goes on.
void MainWindow::RefreshGrownSelection()
{
    const HTREEITEM item = m_tree.GetSelectedItem();
    if (item != m_hShownItem || m_pFill->IsEmpty()) {
        OnTreeSelChanged(item);
        return;
    }
    m_pFill->Grow();
}

void MainWindow::OnDefinitionLink(LinkMouse message, int start, int end)
{
    if (message != LinkMouse::LeftDown && message != LinkMouse::LeftDoubleClick)
        return;
    if (m_viewNotice == ViewNotice::NoServers) {
        // Not inside the view's mouse press: the dialog runs its own loop.
        QTimer::singleShot(0, this, &MainWindow::OnMenuServers);
        return;
    }
    FollowWord(WordOfLink(m_definitionView->GetTextRange(start, end)));
}

// A link followed or a word looked up from the view: the forward history
// stays as it is.
void MainWindow::FollowWord(const QString& word)
{
    PushBackHistory(m_strCurrentWord);
    m_editWord->setText(word);
    LookUp(word);
    m_strCurrentWord = word;
}

// The selection, or with none the word under the pointer, offered for a
// look-up above the view's own Copy and Select All.
void MainWindow::OnViewContextMenu(const QPoint& point)
{
    const QTextCursor selection = m_definitionView->textCursor();
    const QString word =
        (selection.hasSelection() ? selection.selectedText() : m_definitionView->WordAt(point)).simplified();
    const std::unique_ptr<QMenu> menu(m_definitionView->createStandardContextMenu(point));
    QAction* lookUp = new QAction(LookUpLabel(word), menu.get());
    lookUp->setShortcuts(m_lookUpKey->shortcuts());
    lookUp->setEnabled(CanLookUp(word));
    connect(lookUp, &QAction::triggered, this, [this, word] { FollowWord(word); });
    QAction* const first = menu->actions().value(0);
    menu->insertAction(first, lookUp);
    menu->insertSeparator(first);
    AddCopyItems(*menu, *m_definitionView, point);
    menu->exec(m_definitionView->viewport()->mapToGlobal(point));
}

void MainWindow::LookUpSelection()
{
    const QString word = m_definitionView->textCursor().selectedText().simplified();
    if (CanLookUp(word))
        FollowWord(word);
}

void MainWindow::ShowNotice(ViewNotice kind, const RenderedDefinitions& notice)
{
    m_viewRefresh.Cancel();
    m_pFill->Stop();
    m_hShownItem = nullptr;
    m_viewNotice = kind;
    m_definitionView->setEnabled(true);
    m_definitionView->ShowRendered(notice.text, notice.linkRuns, notice.separators);
}

// The view as a selection of no definitions leaves it.
void MainWindow::ClearNotice()
{
    if (m_viewNotice == ViewNotice::None)
        return;
    m_viewNotice = ViewNotice::None;
    m_definitionView->SetPlainText(QString());
    m_definitionView->setEnabled(false);
}

// The message shows at once; suggestions join it when the spell checker
// has them, unless the view or the search moved on meanwhile.
void MainWindow::OnNothingFound(const QString& word, const QStringList& unanswered)
{
    ShowNotice(ViewNotice::NothingFound, NothingFoundNotice(word, unanswered, {}));
    m_spellSuggester.Suggest(word, [this, word, unanswered](const QStringList& suggestions) {
        if (m_viewNotice == ViewNotice::NothingFound && !suggestions.isEmpty())
            ShowNotice(ViewNotice::NothingFound, NothingFoundNotice(word, unanswered, suggestions));
    });
}

// With no servers the view says how to add one, until there is one.
void MainWindow::ShowServerListState()
{
    if (ConnectionRegistry::Instance().IsEmpty())
        ShowNotice(ViewNotice::NoServers, NoServersNotice());
    else if (m_viewNotice == ViewNotice::NoServers)
        ClearNotice();
}

void MainWindow::LookUpGiven(const GivenWord& given)
{
    if (!given.refusal.isEmpty()) {
        ShowMessageBox(this, Narrow(given.refusal), "Information", MessageIcon::Information);
        return;
    }
    if (given.word.isEmpty())
        return;
    m_editWord->setText(given.word);
    OnSearch();
}

void MainWindow::SelectOnArrival(const QString& host, const QString& database)
{
    m_pSearchWatch->Prefer(host.toStdString(), database.toStdString());
}

void MainWindow::LookUpDesktopSelection()
{
    m_bSelectionAwaited = true;
    if (QGuiApplication::platformName() == u"wayland" && !isActiveWindow()) {
        QTimer::singleShot(SelectionFocusWaitMs, this, &MainWindow::ReadAwaitedSelection);
        return;
    }
    ReadAwaitedSelection();
}

void MainWindow::ReadAwaitedSelection()
{
    if (!m_bSelectionAwaited)
        return;
    m_bSelectionAwaited = false;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QString selected = clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection).simplified() : "";
    LookUpGiven(WordOfText(selected.isEmpty() ? clipboard->text(QClipboard::Clipboard).simplified() : selected));
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        ReadAwaitedSelection();
    QDialog::changeEvent(event);
}

// ---- Menu and closing ----

void MainWindow::OnMenuExit()
{
    OnOK();
}

void MainWindow::OnOK()
{
    ConnectionRegistry::Instance().SaveServerList();
    accept();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    ConnectionRegistry::Instance().SaveServerList();
    QDialog::closeEvent(event);
}

void MainWindow::OnMenuServers()
{
    CServersDlg dialog(this);
    dialog.exec();
    // A search may have waited only for servers now gone.
    m_pSearchWatch->CheckEnded();
    ShowServerListState();
}

void MainWindow::OnMenuHelp()
{
    RequestHelp();
}

void MainWindow::OnMenuAbout()
{
    AboutBox about(this);
    about.exec();
}

bool MainWindow::IsForwardsMnemonic(QEvent* event) const
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // A disabled control's mnemonic is passed over: the key opens the menu.
    return key->key() == Qt::Key_F && key->modifiers() == Qt::AltModifier && m_forwardsButton->isEnabled();
}

// The history button that a press of the mouse's Back or Forward button
// stands for.
QPushButton* MainWindow::HistoryButtonOf(QEvent* event) const
{
    if (event->type() != QEvent::MouseButtonPress)
        return nullptr;
    switch (static_cast<QMouseEvent*>(event)->button()) {
    case Qt::BackButton: return m_backButton;
    case Qt::ForwardButton: return m_forwardsButton;
    default: return nullptr;
    }
}

// Qt would find Alt+F ambiguous between the File menu and the Forwards
// button and do nothing; the window takes it for Forwards while that is
// enabled. The mouse's Back and Forward buttons over any control press
// ours.
bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return QDialog::eventFilter(watched, event);
    if (QPushButton* button = HistoryButtonOf(event)) {
        button->click();
        return true;
    }
    if (!IsForwardsMnemonic(event))
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress)
        m_forwardsButton->animateClick();
    event->accept();
    return true;
}
