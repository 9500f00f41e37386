#include "GivenRequest.h"

#include "CommandLine.h"
#include "MainWindow.h"

namespace {
const QString SelectionField = QStringLiteral("selection");
const QString WordField = QStringLiteral("word");
const QString RefusalField = QStringLiteral("refusal");
// Follows a word: the server and database whose node to select.
const QString SelectField = QStringLiteral("select");
}  // namespace

GivenRequest::GivenRequest(const CommandLine& commandLine)
    : m_bSelection(commandLine.WantsSelection()), m_given(WordOfArguments(commandLine.Words())),
      m_strServer(commandLine.SelectedServer()), m_strDatabase(commandLine.SelectedDatabase())
{
}

GivenRequest GivenRequest::OfFields(QStringList fields)
{
    GivenRequest request;
    if (fields.size() == 5 && fields[2] == SelectField) {
        request.m_strServer = fields[3];
        request.m_strDatabase = fields[4];
        fields.resize(2);
    }
    if (fields == QStringList{SelectionField})
        request.m_bSelection = true;
    else if (fields.size() == 2 && fields.front() == WordField)
        request.m_given = WordOfText(fields.back());  // checked again: anyone may write to the socket
    else if (fields.size() == 2 && fields.front() == RefusalField)
        request.m_given.refusal = fields.back();
    return request;
}

QStringList GivenRequest::Fields() const
{
    if (m_bSelection)
        return {SelectionField};
    if (!m_given.refusal.isEmpty())
        return {RefusalField, m_given.refusal};
    if (m_given.word.isEmpty())
        return {};
    if (m_strServer.isEmpty())
        return {WordField, m_given.word};
    return {WordField, m_given.word, SelectField, m_strServer, m_strDatabase};
}

void GivenRequest::LookUpIn(MainWindow& window) const
{
    if (m_bSelection)
        window.LookUpDesktopSelection();
    else
        window.LookUpGiven(m_given);
    if (!m_strServer.isEmpty())
        window.SelectOnArrival(m_strServer, m_strDatabase);
}
