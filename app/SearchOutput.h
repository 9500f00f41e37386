#pragma once

#include "DefinitionListener.h"
#include "SearchDocument.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPrinter;
class QThread;
class QWidget;

// File, Save As... and Print...: the search's definitions in a file or on
// paper. What has arrived is copied when the command is given, and the
// document is made, written or printed on a thread of its own, one job at
// a time, so that the window goes on while a large one takes its time.
// The items are enabled exactly while there is something to keep: the
// connections say when definitions come and go.
class SearchOutput : public QObject, public DefinitionListener {
public:
    enum class Format { Html, Text };

    SearchOutput(QWidget* window, const TreeCtrl& tree, std::function<QString()> currentWord,
                 SearchDocument::StoredTextOf storedText);
    // Waits for a job under way.
    ~SearchOutput() override;

    // The two items and their keys, above `before`.
    void AddItems(QMenu* file, QAction* before);
    void OnSaveAs();
    void OnPrint();
    // What has arrived, written atomically to the file; a failure is said
    // in a message box naming the file and the reason.
    void SaveTo(const QString& path, Format format);
    bool IsBusy() const { return m_pJob != nullptr; }

    void OnActivity(const DictConnection& connection, ConnectionActivity activity) override;
    void OnDefinitionsCleared(const DictConnection& connection) override;
    void OnDefinitionComplete(const DictConnection& connection, const std::string& database,
                              const std::string& text) override;

private:
    SearchDocument Take() const;
    void Refresh();
    void RefreshSoon();
    void Run(std::function<QString()> job, QString caption);

    QWidget* m_pWindow;
    const TreeCtrl& m_tree;
    std::function<QString()> m_currentWord;
    SearchDocument::StoredTextOf m_storedText;
    QAction* m_pSave = nullptr;
    QAction* m_pPrint = nullptr;
    // Kept, so that the print dialog offers the last choices again.
    std::unique_ptr<QPrinter> m_pPrinter;
    QString m_strFolder;
    std::unique_ptr<QThread> m_pJob;
    // The items are looked at once per turn of the event loop, however
    // many definitions it brought.
    QTimer m_refresh;
};
