// Fifty servers at once on distinct loopback addresses and a hundred
// searches with links and Back/Forwards: every reply arrives right.
#include "LoadRun.h"

#include <QTest>

class tst_Load : public QObject {
    Q_OBJECT
private slots:
    void everyReplyOfEveryServerArrives();
};

void tst_Load::everyReplyOfEveryServerArrives()
{
    LoadRun run(50);
    const QString started = run.Start();
    QVERIFY2(started.isEmpty(), qPrintable(started));
    for (int i = 0; i < 100; ++i) {
        const QString problem = run.Search();
        QVERIFY2(
            problem.isEmpty(),
            qPrintable(QString("search %1 (%2): %3").arg(i).arg(QString::fromStdString(run.CurrentWord()), problem)));
    }
    const QString tree = run.CheckTree();
    QVERIFY2(tree.isEmpty(), qPrintable(tree));
}

QTEST_MAIN(tst_Load)
#include "tst_Load.moc"
