#pragma once

#include <QObject>
#include <QString>

class QCompleter;
class QLineEdit;
class QStringListModel;

// The words searched in this run, most recent first and each once, offered
// under the word box for the beginning the user types, whatever its case.
// A click on one puts it in the box; Enter on the list, with a word chosen
// or not, searches what the box then holds. Nothing is kept.
class RecentWords : public QObject {
public:
    explicit RecentWords(QLineEdit* box);
    void Remember(const QString& word);
    QCompleter* Completer() const { return m_pCompleter; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnFocusChanged(QWidget* now);

    QLineEdit* m_pBox;
    QCompleter* m_pCompleter;
    QStringListModel* m_pWords;
};
