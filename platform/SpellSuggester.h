#pragma once

#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

// Spelling suggestions from the desktop's spell checker (Enchant), in the
// language of the user's locale, else American English. A check can take
// a quarter of a second, so it runs off the user-interface thread; its
// answer comes back on that thread unless a later request or Cancel came
// first. Without a spell checker or a dictionary there is never an answer
// to give, and no error.
class SpellSuggester {
public:
    static constexpr int MaxSuggestions = 8;

    SpellSuggester();
    ~SpellSuggester();

    // The phrase with its first misspelt word replaced by each suggestion,
    // or nothing when every word is spelt right or none can be checked.
    void Suggest(const QString& phrase, std::function<void(const QStringList&)> done);
    void Cancel();

private:
    struct Checker;

    std::shared_ptr<Checker> m_pChecker;
    std::shared_ptr<std::atomic<unsigned>> m_pGeneration;
    QThreadPool m_pool;
    // Answers are delivered through it, and dropped once it is gone.
    QObject m_context;
};
