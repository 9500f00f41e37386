#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

class SearchService;

// One match of KRunner's D-Bus runners, (sssida{sv}).
struct RunnerMatch {
    QString id;
    QString text;
    QString iconName;
    int type = 0;
    double relevance = 0;
    QVariantMap properties;
};
// One action, (sss); we offer none.
struct RunnerAction {
    QString id;
    QString text;
    QString iconName;
};
Q_DECLARE_METATYPE(RunnerMatch)
Q_DECLARE_METATYPE(RunnerAction)

QDBusArgument& operator<<(QDBusArgument& argument, const RunnerMatch& match);
const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerMatch& match);
QDBusArgument& operator<<(QDBusArgument& argument, const RunnerAction& action);
const QDBusArgument& operator>>(const QDBusArgument& argument, RunnerAction& action);

// KRunner's runner: only a query that begins with the trigger word is
// looked up, so nothing else typed there reaches a server; one match per
// server's database that returned definitions.
class KRunnerRunner : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
public:
    static constexpr char TriggerWord[] = "define ";

    explicit KRunnerRunner(SearchService& service);

public slots:
    QList<RunnerAction> Actions();
    QList<RunnerMatch> Match(const QString& query);
    void Run(const QString& matchId, const QString& actionId);
    // Plasma 6 hands the token of the coming Run over first.
    void SetActivationToken(const QString& token);

private:
    SearchService& m_service;
    QByteArray m_activationToken;
};
