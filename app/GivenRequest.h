#pragma once

#include "GivenWord.h"

#include <QStringList>

class CommandLine;
class MainWindow;

// What a start asks the window for: the desktop's selection, or a given
// word, with the node to select when its definitions arrive, or why its
// word cannot be looked up. A later start resolves it from
// its own command line and hands over its fields, so that the running
// instance parses no command line but its own.
class GivenRequest {
public:
    GivenRequest() = default;
    explicit GivenRequest(const CommandLine& commandLine);
    // What a later start handed over; fields not understood ask nothing.
    static GivenRequest OfFields(QStringList fields);

    QStringList Fields() const;
    // A start without words only raises the window.
    bool AsksNothing() const { return !m_bSelection && m_given.word.isEmpty() && m_given.refusal.isEmpty(); }
    void LookUpIn(MainWindow& window) const;

private:
    bool m_bSelection = false;
    GivenWord m_given;
    QString m_strServer;
    QString m_strDatabase;
};
