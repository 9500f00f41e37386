#include "SpellSuggester.h"

#include "ControlCharacter.h"

#include <QLocale>

#include <enchant.h>

namespace {

// Longer words are no word a dictionary holds; the checker is not made
// to work on them.
constexpr qsizetype MaxWordBytes = 100;

}  // namespace

// Used by one pool thread at a time, and set up by the first check.
struct SpellSuggester::Checker {
    EnchantBroker* broker = nullptr;
    EnchantDict* dict = nullptr;
    bool opened = false;

    ~Checker()
    {
        if (dict)
            enchant_broker_free_dict(broker, dict);
        if (broker)
            enchant_broker_free(broker);
    }

    void Open()
    {
        opened = true;
        broker = enchant_broker_init();
        if (!broker)
            return;
        for (const QString& tag : {QLocale::system().name(), QString("en_US")}) {
            const QByteArray name = tag.toUtf8();
            if (enchant_broker_dict_exists(broker, name.constData()) > 0) {
                dict = enchant_broker_request_dict(broker, name.constData());
                if (dict)
                    return;
            }
        }
    }

    QStringList SuggestionsFor(const QByteArray& word)
    {
        QStringList suggestions;
        size_t count = 0;
        char** list = enchant_dict_suggest(dict, word.constData(), word.size(), &count);
        for (size_t i = 0; i < count && suggestions.size() < MaxSuggestions; ++i)
            suggestions << QString::fromUtf8(list[i]);
        if (list)
            enchant_dict_free_string_list(dict, list);
        return suggestions;
    }

    QStringList Suggest(const QString& phrase)
    {
        if (!opened)
            Open();
        if (!dict)
            return {};
        const QStringList words = phrase.split(u' ');
        for (qsizetype i = 0; i < words.size(); ++i) {
            const QByteArray word = words[i].toUtf8();
            if (word.isEmpty() || word.size() > MaxWordBytes || HoldsControlCharacter(word.toStdString()))
                continue;
            if (enchant_dict_check(dict, word.constData(), word.size()) <= 0)
                continue;
            QStringList phrases;
            for (const QString& suggestion : SuggestionsFor(word)) {
                QStringList replaced = words;
                replaced[i] = suggestion;
                phrases << replaced.join(u' ');
            }
            return phrases;
        }
        return {};
    }
};

SpellSuggester::SpellSuggester()
    : m_pChecker(std::make_shared<Checker>()), m_pGeneration(std::make_shared<std::atomic<unsigned>>(0))
{
    m_pool.setMaxThreadCount(1);
}

SpellSuggester::~SpellSuggester()
{
    Cancel();
    m_pool.waitForDone();
}

void SpellSuggester::Suggest(const QString& phrase, std::function<void(const QStringList&)> done)
{
    const unsigned generation = ++*m_pGeneration;
    m_pool.start([checker = m_pChecker, generations = m_pGeneration, generation, phrase, done = std::move(done),
                  context = &m_context] {
        // A request overtaken before it ran is not worked on.
        if (*generations != generation)
            return;
        const QStringList suggestions = checker->Suggest(phrase);
        QMetaObject::invokeMethod(
            context,
            [generations, generation, suggestions, done] {
                if (*generations == generation)
                    done(suggestions);
            },
            Qt::QueuedConnection);
    });
}

void SpellSuggester::Cancel()
{
    ++*m_pGeneration;
}
