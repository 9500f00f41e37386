#pragma once

#include <QString>
#include <QStringList>

// The program's options and words, from its arguments (its own name
// first). Read once before the display is opened, for --help and
// --version, which need none; again once the toolkit has taken its own
// options (-platform) out, when an option not known is an error.
class CommandLine {
public:
    explicit CommandLine(const QStringList& arguments);

    bool WantsHelp() const { return m_bHelp; }
    bool WantsVersion() const { return m_bVersion; }
    bool WantsSelection() const { return m_bSelection; }
    bool WantsSearchService() const { return m_bSearchService; }
    // The node to select once the words' definitions arrive, or empty.
    const QString& SelectedServer() const { return m_strSelectedServer; }
    const QString& SelectedDatabase() const { return m_strSelectedDatabase; }
    // Names what was not understood; empty when everything was.
    const QString& Error() const { return m_strError; }
    // The words to look up, or one dict: link.
    const QStringList& Words() const { return m_words; }

    static QString Usage();
    static QString Version();

private:
    bool m_bHelp = false;
    bool m_bVersion = false;
    bool m_bSelection = false;
    bool m_bSearchService = false;
    QString m_strSelectedServer;
    QString m_strSelectedDatabase;
    QString m_strError;
    QStringList m_words;
};
