#include "SearchService.h"

#include "DictConnection.h"
#include "GivenWord.h"
#include "KRunnerRunner.h"
#include "RenderDefinitions.h"
#include "SearchProvider.h"
#include "ServerListStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <utility>

namespace {
constexpr char ServiceName[] = "org.tallowmere.Quorlex.SearchProvider";
constexpr char ProviderPath[] = "/org/tallowmere/Quorlex/SearchProvider";
constexpr char RunnerPath[] = "/org/tallowmere/Quorlex/Runner";
// Store names hold no control character, so the first one parts the two.
constexpr char IdSeparator = '\x1f';

// The window's transcripts are left alone: the service's go to the cache.
void EnterTranscriptFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/quorlex";
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
        std::fprintf(stderr, "quorlex: cannot write transcripts in %s\n", qPrintable(folder));
}
}  // namespace

SearchService::SearchService() : m_lookup([this] { OnLookupEnded(); })
{
    EnterTranscriptFolder();
    ServerListStore::Servers servers;
    if (!ServerListStore::Read(servers))
        std::fputs("quorlex: failed to read the server list\n", stderr);
    for (const auto& [host, port] : servers) {
        auto& connection = m_connections[host];
        connection = std::make_unique<DictConnection>(host, port);
        connection->AddListener(&m_lookup);
        connection->Create();
        connection->ConnectToServer();
    }
    m_answerWait.setSingleShot(true);
    m_answerWait.setInterval(AnswerWaitMs);
    QObject::connect(&m_answerWait, &QTimer::timeout, [this] { OnLookupEnded(); });
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleEndMs);
    QObject::connect(&m_idle, &QTimer::timeout, [] { QCoreApplication::quit(); });
    m_idle.start();
}

SearchService::~SearchService() = default;

std::vector<DictConnection*> SearchService::Connections() const
{
    std::vector<DictConnection*> connections;
    for (const auto& [host, connection] : m_connections)
        connections.push_back(connection.get());
    return connections;
}

void SearchService::Query(const QString& word, Answer answer)
{
    m_idle.start();
    if (m_pendingAnswer)
        std::exchange(m_pendingAnswer, nullptr)({});
    if (word.toUcs4().size() < MinWordLength || !LookUpRefusal(word).isEmpty()) {
        answer({});
        return;
    }
    m_pendingAnswer = std::move(answer);
    m_strPendingWord = word;
    m_lookup.Start(word.toUtf8().toStdString(), Connections());
    if (m_lookup.IsEnded())
        OnLookupEnded();
    else
        m_answerWait.start();
}

void SearchService::OnLookupEnded()
{
    m_answerWait.stop();
    if (!m_pendingAnswer)
        return;
    m_answered = m_lookup.CompleteResults();
    m_strAnsweredWord = m_strPendingWord;
    std::exchange(m_pendingAnswer, nullptr)(m_answered);
}

const LookupResult* SearchService::FindResult(const QString& id) const
{
    for (const LookupResult& result : m_answered)
        if (ResultId(result) == id)
            return &result;
    return nullptr;
}

QString SearchService::ResultId(const LookupResult& result)
{
    return QString::fromStdString(result.host) + IdSeparator + QString::fromStdString(result.database);
}

QString SearchService::Summary(const LookupResult& result)
{
    const QString text = RenderDefinitions(QString::fromStdString(result.text)).text;
    QString line;
    for (const QString& candidate : text.split(u'\n')) {
        line = candidate.simplified();
        if (!line.isEmpty())
            break;
    }
    return Abridged(line, MaxSummary);
}

QByteArray SearchService::StartupIdAt(uint timestamp)
{
    return timestamp == 0 ? QByteArray() : "quorlex-search_TIME" + QByteArray::number(timestamp);
}

void SearchService::Activate(const QString& word, const QString& id, const QByteArray& startupId,
                             const QByteArray& activationToken)
{
    m_idle.start();
    QStringList arguments;
    const qsizetype separator = id.indexOf(IdSeparator);
    if (separator > 0)
        arguments << "--select-server=" + id.left(separator) << "--select-database=" + id.mid(separator + 1);
    arguments << "--" << word;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DESKTOP_STARTUP_ID");
    environment.remove("XDG_ACTIVATION_TOKEN");
    if (!startupId.isEmpty())
        environment.insert("DESKTOP_STARTUP_ID", QString::fromUtf8(startupId));
    if (!activationToken.isEmpty())
        environment.insert("XDG_ACTIVATION_TOKEN", QString::fromUtf8(activationToken));
    QProcess program;
    program.setProgram(QCoreApplication::applicationFilePath());
    program.setArguments(arguments);
    program.setProcessEnvironment(environment);
    program.setStandardInputFile(QProcess::nullDevice());
    if (!program.startDetached())
        std::fprintf(stderr, "quorlex: cannot start %s\n", qPrintable(program.program()));
}

int SearchService::Run(int& argc, char** argv)
{
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("Quorlex");
    SearchService service;
    SearchProvider provider(service);
    KRunnerRunner runner(service);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The objects first: calls queued while the bus activated us wait for the name.
    if (!bus.registerObject(ProviderPath, &provider, QDBusConnection::ExportAllSlots)
        || !bus.registerObject(RunnerPath, &runner, QDBusConnection::ExportAllSlots)
        || !bus.registerService(ServiceName)) {
        std::fprintf(stderr, "quorlex: cannot offer %s on the session bus\n", ServiceName);
        return 1;
    }
    return QCoreApplication::exec();
}
