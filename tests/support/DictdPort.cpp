#include "DictdPort.h"

#include <QFile>
#include <QString>

int DictdPort(const char* variable)
{
    QFile file(qEnvironmentVariable(variable));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const int port = file.readAll().trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : 0;
}
