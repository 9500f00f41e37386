#include "DictdPort.h"

#include <QFile>
#include <QString>

int DictdPort()
{
    QFile file(qEnvironmentVariable("QUORLEX_DICTD_PORT_FILE"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const int port = file.readAll().trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : 0;
}
