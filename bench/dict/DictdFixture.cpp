#include "DictdFixture.h"

#include <QFile>
#include <QProcess>

DictdFixture::DictdFixture(const QStringList& settings)
{
    if (!m_dir.isValid() || !Run(QStringList{"start", m_dir.path()} + settings))
        return;
    QFile portFile(m_dir.filePath("port"));
    if (portFile.open(QIODevice::ReadOnly))
        m_nPort = portFile.readAll().trimmed().toInt();
}

DictdFixture::~DictdFixture()
{
    if (m_nPort != 0)
        Run({"stop", m_dir.path()});
}

bool DictdFixture::Run(const QStringList& arguments) const
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QUORLEX_SOURCE_DIR "/scripts/dictd-fixture", arguments);
    return script.waitForFinished(30000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
}
