#include "CommandLine.h"

#include <QCommandLineParser>

CommandLine::CommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // -platform and its like are single words, never -p -l -a...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"}), version(QStringList{"v", "version"}),
        selection("selection"), searchService("search-service");
    const QCommandLineOption selectServer("select-server", QString(), "host"),
        selectDatabase("select-database", QString(), "database");
    parser.addOptions({help, version, selection, searchService, selectServer, selectDatabase});
    const bool understood = parser.parse(arguments);
    if (!understood)
        m_strError = parser.errorText();
    // An option not known may be the toolkit's, not yet taken out; a value
    // given to --help is a fault of ours.
    const bool answerable = understood || !parser.unknownOptionNames().isEmpty();
    m_bHelp = answerable && parser.isSet(help);
    m_bVersion = answerable && parser.isSet(version);
    m_bSelection = parser.isSet(selection);
    m_bSearchService = parser.isSet(searchService);
    m_strSelectedServer = parser.value(selectServer);
    m_strSelectedDatabase = parser.value(selectDatabase);
    m_words = parser.positionalArguments();
    if (m_strError.isEmpty() && m_bSelection && !m_words.isEmpty())
        m_strError = "--selection takes no words.";
    if (m_strError.isEmpty() && m_strSelectedServer.isEmpty() != m_strSelectedDatabase.isEmpty())
        m_strError = "--select-server and --select-database go together.";
}

QString CommandLine::Usage()
{
    return "Usage: quorlex [OPTION]... [WORD]...\n"
           "       quorlex dict://HOST[:PORT]/d:WORD[:DATABASE[:N]]\n"
           "Look WORD up on your DICT servers in the running Quorlex, or start it.\n"
           "Several words are looked up together, joined by single spaces; put --\n"
           "before a word that begins with a dash. A dict: link looks its word up\n"
           "on your servers; its host and database are not used.\n"
           "\n"
           "      --selection  look up the selected text, or the clipboard's when\n"
           "                   nothing is selected\n"
           "      --select-server=HOST --select-database=NAME\n"
           "                   once the words' definitions arrive, select the\n"
           "                   node of database NAME on server HOST\n"
           "      --search-service\n"
           "                   answer the desktop's search (GNOME Shell, KRunner)\n"
           "                   on the session bus; started by the bus itself\n"
           "  -h, --help       print this help and exit\n"
           "  -v, --version    print the version and exit\n"
           "\n"
           "The standard options of Qt, such as -platform, are accepted too.\n";
}

QString CommandLine::Version()
{
    return "quorlex " QUORLEX_PACKAGE_VERSION "\n";
}
