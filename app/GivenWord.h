#pragma once

#include <QString>
#include <QStringList>

// A word that reaches the program from outside its window: the words of
// the command line joined by single spaces, or the word of one dict: link
// (RFC 2229, section 5), percent-decoded. The link's host and database
// are not used: the word goes to the user's servers as any search does.
struct GivenWord {
    // What to look up; empty with nothing to look up.
    QString word;
    // Why nothing is looked up, for a message box; empty when nothing is wrong.
    QString refusal;
};

GivenWord WordOfArguments(const QStringList& arguments);
// The text as it stands, checked as any word from outside is.
GivenWord WordOfText(const QString& text);

// Why a word cannot go out as a definition request, or empty when it can:
// the request would pass the command bound, or the word holds a control
// character.
QString LookUpRefusal(const QString& word);

// The text's first characters, with an ellipsis when it is longer, for a
// label or a message; a surrogate pair is never cut.
QString Abridged(const QString& text, qsizetype length);
