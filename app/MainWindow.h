#pragma once

#include "DefinitionFill.h"
#include "RecentWords.h"
#include "SpellSuggester.h"
#include "ThrottledRefresh.h"
#include "TreeCtrl.h"

#include <QDialog>
#include <QIcon>

#include <list>
#include <memory>
#include <vector>

class FindBar;
struct GivenWord;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QTreeWidget;
class RichTextView;
class SearchOutput;
class SearchWatch;
struct RenderedDefinitions;
enum class LinkMouse;

// The whole user interface: word box, results tree, definition view,
// history buttons and menu. Runs modally; the connections outlive it.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    void OnSearch();
    void OnBack();
    void OnForwards();
    void OnTreeSelChanged(HTREEITEM item);
    void OnDefinitionLink(LinkMouse message, int start, int end);
    void OnMenuExit();
    void OnMenuServers();
    void OnMenuHelp();
    void OnMenuAbout();
    // A word from outside the window (the command line, a later start, a
    // dict: link) looked up as if typed and Entered, or the reason it is
    // not said in a message box.
    void LookUpGiven(const GivenWord& given);
    // The desktop's selection, or the clipboard's text when nothing is
    // selected, its blanks and line breaks made single spaces.
    void LookUpDesktopSelection();
    // The search just started selects that server's database node when it
    // arrives, whichever comes first: a result chosen in the desktop's search.
    void SelectOnArrival(const QString& host, const QString& database);

    // For tests: the widgets and the history as they stand.
    QLineEdit* WordBox() const { return m_editWord; }
    QPushButton* SearchButton() const { return m_searchButton; }
    QPushButton* BackButton() const { return m_backButton; }
    QPushButton* ForwardsButton() const { return m_forwardsButton; }
    QMenuBar* MenuBar() const { return m_menuBar; }
    TreeCtrl& Tree() { return m_tree; }
    RichTextView* DefinitionView() const { return m_definitionView; }
    FindBar* Find() const { return m_findBar; }
    SearchOutput* Output() const { return m_pOutput; }
    const std::list<QString>& BackHistory() const { return m_backHistory; }
    const std::list<QString>& ForwardHistory() const { return m_forwardHistory; }
    const QString& CurrentWord() const { return m_strCurrentWord; }
    // How often the view was rebuilt for a selected node that kept growing.
    int ViewRefreshCount() const { return m_viewRefresh.Count(); }
    // How many pieces the view was filled with.
    int ViewPieceCount() const { return m_pFill->PieceCount(); }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateMenu();
    void OnInitDialog();
    void OnOK();
    void Place(QWidget* control, int x, int y, int w, int h);
    void PushBackHistory(const QString& word);
    void PushForwardHistory(const QString& word);
    void LookUp(const QString& word);
    void FollowWord(const QString& word);
    void OnViewContextMenu(const QPoint& point);
    void LookUpSelection();
    void CreateKeys();
    const std::string* StoredText(HTREEITEM item) const;
    void RefreshGrownSelection();
    bool IsForwardsMnemonic(QEvent* event) const;
    QPushButton* HistoryButtonOf(QEvent* event) const;
    void ReadAwaitedSelection();
    // What the view says where the tree has nothing to show.
    enum class ViewNotice { None, NothingFound, NoServers };
    void ShowNotice(ViewNotice kind, const RenderedDefinitions& notice);
    void ClearNotice();
    void OnNothingFound(const QString& word, const QStringList& unanswered);
    void ShowServerListState();

    QIcon m_hIcon;
    QTreeWidget* m_treeWidget = nullptr;
    TreeCtrl m_tree;
    std::vector<QIcon> m_treeImages;
    QLineEdit* m_editWord = nullptr;
    RichTextView* m_definitionView = nullptr;
    FindBar* m_findBar = nullptr;
    // File, Save As... and Print...
    SearchOutput* m_pOutput = nullptr;
    // Ctrl+Enter: the view's selection looked up.
    QAction* m_lookUpKey = nullptr;
    std::list<QString> m_backHistory;
    std::list<QString> m_forwardHistory;
    QString m_strCurrentWord;
    std::unique_ptr<RecentWords> m_pRecentWords;
    ThrottledRefresh m_viewRefresh;
    std::unique_ptr<DefinitionFill> m_pFill;
    // The node whose text the view shows.
    HTREEITEM m_hShownItem = nullptr;
    std::unique_ptr<SearchWatch> m_pSearchWatch;
    SpellSuggester m_spellSuggester;
    ViewNotice m_viewNotice = ViewNotice::None;

    QMenuBar* m_menuBar = nullptr;
    QPushButton* m_searchButton = nullptr;
    QPushButton* m_backButton = nullptr;
    QPushButton* m_forwardsButton = nullptr;
    int m_nMenuHeight = 0;
    // The selection is read once the window has the focus.
    bool m_bSelectionAwaited = false;
};
