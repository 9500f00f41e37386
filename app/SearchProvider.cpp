#include "SearchProvider.h"

#include "SearchService.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace {
// A serialized GIcon: the theme's icon of that name.
QVariant ThemedIcon(const QString& name)
{
    QDBusArgument icon;
    icon.beginStructure();
    icon << QStringLiteral("themed") << QDBusVariant(QStringList{name});
    icon.endStructure();
    return QVariant::fromValue(icon);
}
}  // namespace

SearchProvider::SearchProvider(SearchService& service) : m_service(service)
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

// The reply waits for the servers; the shell meanwhile goes on.
QStringList SearchProvider::GetInitialResultSet(const QStringList& terms)
{
    setDelayedReply(true);
    m_service.Query(terms.join(u' '), [call = message(), bus = connection()](const std::vector<LookupResult>& results) {
        QStringList ids;
        for (const LookupResult& result : results)
            ids << SearchService::ResultId(result);
        bus.send(call.createReply(ids));
    });
    return {};
}

// The terms grew: a new word, looked up anew.
QStringList SearchProvider::GetSubsearchResultSet(const QStringList&, const QStringList& terms)
{
    return GetInitialResultSet(terms);
}

QList<QVariantMap> SearchProvider::GetResultMetas(const QStringList& identifiers)
{
    QList<QVariantMap> metas;
    for (const QString& id : identifiers) {
        const LookupResult* result = m_service.FindResult(id);
        if (!result)
            continue;
        const QString description =
            QString::fromStdString(result->description.empty() ? result->database : result->description);
        metas << QVariantMap{
            {"id", id},
            {"name", QString("%1 \u2014 %2").arg(m_service.AnsweredWord(), description)},
            {"description", SearchService::Summary(*result)},
            {"icon", ThemedIcon("quorlex")},
            {"clipboardText", QString::fromStdString(result->text)},
        };
    }
    return metas;
}

void SearchProvider::ActivateResult(const QString& identifier, const QStringList& terms, uint timestamp)
{
    m_service.Activate(terms.join(u' '), identifier, SearchService::StartupIdAt(timestamp));
}

void SearchProvider::LaunchSearch(const QStringList& terms, uint timestamp)
{
    m_service.Activate(terms.join(u' '), QString(), SearchService::StartupIdAt(timestamp));
}
