#include "KRunnerRunner.h"

#include "SearchService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>

#include <algorithm>
#include <utility>

namespace {
// KRunner's ExactMatch, in Plasma 5 and 6 alike.
constexpr int ExactMatch = 100;
}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const RunnerMatch& match)
{
    argument.beginStructure();
    argument << match.id << match.text << match.iconName << match.type << match.relevance << match.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerMatch& match)
{
    argument.beginStructure();
    argument >> match.id >> match.text >> match.iconName >> match.type >> match.relevance >> match.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const RunnerAction& action)
{
    argument.beginStructure();
    argument << action.id << action.text << action.iconName;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerAction& action)
{
    argument.beginStructure();
    argument >> action.id >> action.text >> action.iconName;
    argument.endStructure();
    return argument;
}

KRunnerRunner::KRunnerRunner(SearchService& service) : m_service(service)
{
    qDBusRegisterMetaType<RunnerMatch>();
    qDBusRegisterMetaType<QList<RunnerMatch>>();
    qDBusRegisterMetaType<RunnerAction>();
    qDBusRegisterMetaType<QList<RunnerAction>>();
}

QList<RunnerAction> KRunnerRunner::Actions()
{
    return {};
}

QList<RunnerMatch> KRunnerRunner::Match(const QString& query)
{
    if (!query.startsWith(QLatin1String(TriggerWord)))
        return {};
    setDelayedReply(true);
    const QString word = query.mid(qsizetype(sizeof TriggerWord) - 1).simplified();
    m_service.Query(word, [call = message(), bus = connection()](const std::vector<LookupResult>& results) {
        QList<RunnerMatch> matches;
        for (std::size_t i = 0; i < results.size(); ++i) {
            const LookupResult& result = results[i];
            const std::string& description = result.description.empty() ? result.database : result.description;
            // Earlier arrivals rank higher, as they stand in the answer.
            matches << RunnerMatch{SearchService::ResultId(result),
                                   SearchService::Summary(result),
                                   "quorlex",
                                   ExactMatch,
                                   1.0 - 0.001 * double(std::min<std::size_t>(i, 999)),
                                   QVariantMap{{"subtext", QString::fromStdString(description)}, {"multiline", true}}};
        }
        bus.send(call.createReply(QVariant::fromValue(matches)));
    });
    return {};
}

void KRunnerRunner::Run(const QString& matchId, const QString&)
{
    m_service.Activate(m_service.AnsweredWord(), matchId, QByteArray(), std::exchange(m_activationToken, {}));
}

void KRunnerRunner::SetActivationToken(const QString& token)
{
    m_activationToken = token.toUtf8();
}
