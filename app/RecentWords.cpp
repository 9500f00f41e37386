#include "RecentWords.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringListModel>

RecentWords::RecentWords(QLineEdit* box)
    : m_pBox(box), m_pCompleter(new QCompleter(box)), m_pWords(new QStringListModel(m_pCompleter))
{
    m_pCompleter->setModel(m_pWords);
    m_pCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    m_pCompleter->popup()->setAccessibleName("Words searched");
    box->setCompleter(m_pCompleter);
    // Installed after the completer's own filter, so it sees the keys first.
    m_pCompleter->popup()->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
}

void RecentWords::Remember(const QString& word)
{
    if (word.isEmpty())
        return;
    QStringList words = m_pWords->stringList();
    words.removeOne(word);
    words.prepend(word);
    m_pWords->setStringList(words);
}

// The completer hands Enter to the box alone, where the window's default
// button never sees it: the chosen word goes into the box, and the key
// takes the way a key typed in the box takes.
bool RecentWords::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QObject::eventFilter(watched, event);
    QAbstractItemView* list = m_pCompleter->popup();
    const QModelIndex chosen = list->currentIndex();
    if (chosen.isValid())
        m_pBox->setText(chosen.data(m_pCompleter->completionRole()).toString());
    list->hide();
    QKeyEvent again(QEvent::KeyPress, key->key(), key->modifiers(), key->text());
    QApplication::sendEvent(m_pBox, &again);
    return true;
}

// The completer keeps the list open while the box loses the focus; a key
// that moves the focus elsewhere (Ctrl+F) closes it, so that what is typed
// next goes where the focus went.
void RecentWords::OnFocusChanged(QWidget* now)
{
    QAbstractItemView* list = m_pCompleter->popup();
    if (now != m_pBox && now != list && list->isVisible())
        list->hide();
}
