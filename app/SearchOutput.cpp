#include "SearchOutput.h"

#include "ConnectionRegistry.h"
#include "MessageBox.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QTextDocument>
#include <QThread>

namespace {

const QString HtmlFilter = QStringLiteral("Web page (*.html *.htm)");
const QString TextFilter = QStringLiteral("Text (*.txt)");

// The reason, or "" once the file holds the bytes; an existing file is
// replaced only then, and is otherwise left as it was.
QString WriteAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    return file.commit() ? QString() : file.errorString();
}

}  // namespace

SearchOutput::SearchOutput(QWidget* window, const TreeCtrl& tree, std::function<QString()> currentWord,
                           SearchDocument::StoredTextOf storedText)
    : QObject(window), m_pWindow(window), m_tree(tree), m_currentWord(std::move(currentWord)),
      m_storedText(std::move(storedText)), m_strFolder(QDir::homePath())
{
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(0);
    connect(&m_refresh, &QTimer::timeout, this, &SearchOutput::Refresh);
    ConnectionRegistry::Instance().AddListener(this);
}

SearchOutput::~SearchOutput()
{
    ConnectionRegistry::Instance().RemoveListener(this);
    if (m_pJob)
        m_pJob->wait();
}

void SearchOutput::AddItems(QMenu* file, QAction* before)
{
    m_pSave = new QAction("Save &As...", file);
    m_pSave->setShortcut(QKeySequence::Save);
    connect(m_pSave, &QAction::triggered, this, &SearchOutput::OnSaveAs);
    m_pPrint = new QAction("&Print...", file);
    m_pPrint->setShortcut(QKeySequence::Print);
    connect(m_pPrint, &QAction::triggered, this, &SearchOutput::OnPrint);
    file->insertActions(before, {m_pSave, m_pPrint});
    file->insertSeparator(before);
    // The keys reach the items while the menu is closed too.
    m_pWindow->addActions({m_pSave, m_pPrint});
    Refresh();
}

void SearchOutput::Refresh()
{
    if (!m_pSave)
        return;
    const bool enabled = !IsBusy() && SearchDocument::HasDefinitions(m_tree, m_storedText);
    m_pSave->setEnabled(enabled);
    m_pPrint->setEnabled(enabled);
}

void SearchOutput::RefreshSoon()
{
    if (!m_refresh.isActive())
        m_refresh.start();
}

void SearchOutput::OnActivity(const DictConnection&, ConnectionActivity activity)
{
    // A closed connection's definitions are gone.
    if (activity == ConnectionActivity::Closed)
        RefreshSoon();
}

void SearchOutput::OnDefinitionsCleared(const DictConnection&)
{
    RefreshSoon();
}

// Definitions that come can only enable the items, at once; once enabled
// there is nothing to look at for each further one.
void SearchOutput::OnDefinitionComplete(const DictConnection&, const std::string&, const std::string&)
{
    if (m_pSave && !m_pSave->isEnabled())
        Refresh();
}

SearchDocument SearchOutput::Take() const
{
    return SearchDocument::Take(m_tree, m_currentWord(), m_storedText);
}

void SearchOutput::OnSaveAs()
{
    if (IsBusy() || !SearchDocument::HasDefinitions(m_tree, m_storedText))
        return;
    QFileDialog dialog(m_pWindow, "Save As", m_strFolder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({HtmlFilter, TextFilter});
    dialog.selectFile(SearchDocument::SuggestedFileName(m_currentWord()) + ".html");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    // The type chosen, or the one the name ends in; a name without a
    // suffix gets the type's.
    QString path = dialog.selectedFiles().front();
    const bool text = dialog.selectedNameFilter() == TextFilter || path.endsWith(".txt", Qt::CaseInsensitive);
    if (QFileInfo(path).suffix().isEmpty())
        path += text ? ".txt" : ".html";
    m_strFolder = QFileInfo(path).absolutePath();
    SaveTo(path, text ? Format::Text : Format::Html);
}

void SearchOutput::SaveTo(const QString& path, Format format)
{
    Run(
        [document = Take(), path, format] {
            const QString text = format == Format::Html ? document.Html() : document.PlainText();
            const QString reason = WriteAtomically(path, text.toUtf8());
            return reason.isEmpty()
                ? QString()
                : QString("The definitions could not be saved in \u201C%1\u201D: %2").arg(path, reason);
        },
        "Save As");
}

void SearchOutput::OnPrint()
{
    if (IsBusy() || !SearchDocument::HasDefinitions(m_tree, m_storedText))
        return;
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>();
    // The dialog names a PDF file after the document.
    m_pPrinter->setDocName(SearchDocument::SuggestedFileName(m_currentWord()));
    QPrintDialog dialog(m_pPrinter.get(), m_pWindow);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Run(
        [document = Take(), printer = m_pPrinter.get()] {
            QTextDocument text;
            text.setHtml(document.Html());
            printer->setDocName(document.Word());
            text.print(printer);
            return printer->printerState() == QPrinter::Error ? QString("The definitions could not be printed.")
                                                              : QString();
        },
        "Print");
}

// The job's failure, if any, is said once it is over; the items are
// disabled until then.
void SearchOutput::Run(std::function<QString()> job, QString caption)
{
    auto failure = std::make_shared<QString>();
    m_pJob.reset(QThread::create([job = std::move(job), failure] { *failure = job(); }));
    connect(m_pJob.get(), &QThread::finished, this, [this, failure, caption] {
        m_pJob->wait();
        m_pJob.reset();
        Refresh();
        if (!failure->isEmpty())
            ShowMessageBox(m_pWindow, failure->toStdString(), caption.toStdString(), MessageIcon::Error);
    });
    Refresh();
    m_pJob->start();
}
