#include "DictdFixture.h"

#include <QFile>
#include <QProcess>

DictdFixture::DictdFixture()
{
    if (!m_dir.isValid() || !Run("start"))
        return;
    QFile portFile(m_dir.filePath("port"));
    if (portFile.open(QIODevice::ReadOnly))
        m_nPort = portFile.readAll().trimmed().toInt();
}

DictdFixture::~DictdFixture()
{
    if (m_nPort != 0)
        Run("stop");
}

bool DictdFixture::Run(const char* action) const
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QUORLEX_SOURCE_DIR "/scripts/dictd-fixture", {action, m_dir.path()});
    return script.waitForFinished(30000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
}
