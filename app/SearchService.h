#pragma once

#include "HeadlessLookup.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class DictConnection;

// The desktop's search without a window: its own connections to the
// stored servers, read once and never written, and one query at a time,
// the latest winning. The window is reached only when a result is
// activated, through a start of the program that hands over to it.
class SearchService {
public:
    using Answer = std::function<void(const std::vector<LookupResult>&)>;
    // Shorter words would send nearly every keystroke to the servers.
    static constexpr int MinWordLength = 3;
    // A server slower than this is left out of the answer.
    static constexpr int AnswerWaitMs = 1500;
    static constexpr int IdleEndMs = 60000;
    static constexpr qsizetype MaxSummary = 200;

    SearchService();
    ~SearchService();

    // Answers once every server has ended the lookup or the wait is over,
    // with the results whose first definition is complete; a query still
    // waiting is answered empty first. A word the word box would not send
    // is answered empty at once, and nothing goes to any server.
    void Query(const QString& word, Answer answer);
    // A result of the latest answer, or null, and the word it answered.
    const LookupResult* FindResult(const QString& id) const;
    const QString& AnsweredWord() const { return m_strAnsweredWord; }
    // Starts the program, which hands the word to the running window or
    // opens one; with a result's id the window selects its node.
    void Activate(const QString& word, const QString& id, const QByteArray& startupId,
                  const QByteArray& activationToken = {});

    static QString ResultId(const LookupResult& result);
    // The first line of the result's definition as the view shows it,
    // without braces or separators, at most MaxSummary characters.
    static QString Summary(const LookupResult& result);
    // The startup id of a launch at this X11 time, or none for time 0.
    static QByteArray StartupIdAt(uint timestamp);

    // Runs the service on the session bus until it has been idle for
    // IdleEndMs; the process's exit status.
    static int Run(int& argc, char** argv);

private:
    void OnLookupEnded();
    std::vector<DictConnection*> Connections() const;

    // Declared before the connections, which tell it until they are gone.
    HeadlessLookup m_lookup;
    std::map<std::string, std::unique_ptr<DictConnection>> m_connections;
    Answer m_pendingAnswer;
    QString m_strPendingWord;
    std::vector<LookupResult> m_answered;
    QString m_strAnsweredWord;
    QTimer m_answerWait;
    QTimer m_idle;
};
