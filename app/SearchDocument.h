#pragma once

#include "TreeCtrl.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

// The definitions a search found, copied from the tree as they stand, for
// a file or a printer: a reply that goes on growing leaves the copy as it
// was, and the copy can be made into a document on any thread.
class SearchDocument {
public:
    // The stored text of a database node, or null.
    using StoredTextOf = std::function<const std::string*(HTREEITEM)>;
    // Between two definitions in the plain text.
    static const QString SeparatorLine;

    // Every database node that holds text, in tree order.
    static SearchDocument Take(const TreeCtrl& tree, const QString& word, const StoredTextOf& storedText);
    static bool HasDefinitions(const TreeCtrl& tree, const StoredTextOf& storedText);

    bool IsEmpty() const { return m_sections.empty(); }
    const QString& Word() const { return m_strWord; }
    // The word, with the characters a file name cannot hold or should not
    // begin with replaced.
    static QString SuggestedFileName(const QString& word);
    // One self-contained UTF-8 page: the word as its title, each node under
    // a heading of its server and description, links bold blue, separators
    // as rules.
    QString Html() const;
    // The same as lines: the definitions' lines as received without their
    // braces, a line of dashes between two definitions.
    QString PlainText() const;

private:
    struct Section {
        QString heading;
        std::string stored;
    };

    QString m_strWord;
    std::vector<Section> m_sections;
};
