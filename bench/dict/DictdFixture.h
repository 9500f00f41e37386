#pragma once

#include <QStringList>
#include <QTemporaryDir>

// A private dictd on a free loopback port serving Debian's dictionaries,
// started by the tests' fixture script and stopped when this goes; the
// settings (such as "limit_time 3") go in its configuration's global block.
class DictdFixture {
public:
    explicit DictdFixture(const QStringList& settings = {});
    ~DictdFixture();
    DictdFixture(const DictdFixture&) = delete;
    DictdFixture& operator=(const DictdFixture&) = delete;

    // 0 when dictd could not be started.
    int Port() const { return m_nPort; }

private:
    bool Run(const QStringList& arguments) const;

    QTemporaryDir m_dir;
    int m_nPort = 0;
};
