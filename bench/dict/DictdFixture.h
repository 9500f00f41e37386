#pragma once

#include <QTemporaryDir>

// A private dictd on a free loopback port serving Debian's dictionaries,
// started by the tests' fixture script and stopped when this goes.
class DictdFixture {
public:
    DictdFixture();
    ~DictdFixture();
    DictdFixture(const DictdFixture&) = delete;
    DictdFixture& operator=(const DictdFixture&) = delete;

    // 0 when dictd could not be started.
    int Port() const { return m_nPort; }

private:
    bool Run(const char* action) const;

    QTemporaryDir m_dir;
    int m_nPort = 0;
};
