#pragma once

#include <QString>

class QCompleter;
class QLineEdit;
class QStringListModel;

// The words searched in this run, most recent first and each once, offered
// under the word box for the beginning the user types, whatever its case.
// Choosing one puts it in the box; Enter then searches. Nothing is kept.
class RecentWords {
public:
    explicit RecentWords(QLineEdit* box);
    void Remember(const QString& word);
    QCompleter* Completer() const { return m_pCompleter; }

private:
    QCompleter* m_pCompleter;
    QStringListModel* m_pWords;
};
