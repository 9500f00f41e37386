#include "RecentWords.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

RecentWords::RecentWords(QLineEdit* box)
    : m_pCompleter(new QCompleter(box)), m_pWords(new QStringListModel(m_pCompleter))
{
    m_pCompleter->setModel(m_pWords);
    m_pCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    m_pCompleter->popup()->setAccessibleName("Words searched");
    box->setCompleter(m_pCompleter);
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
