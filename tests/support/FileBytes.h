#pragma once

#include <QByteArray>
#include <QString>

// A file's bytes, or nothing when it cannot be read.
QByteArray ReadFileBytes(const QString& path);
// Writes the bytes, making the folders above; a test failure if it cannot.
void WriteFileBytes(const QString& path, const QByteArray& bytes);
