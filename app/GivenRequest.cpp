#include "GivenRequest.h"

#include "CommandLine.h"
#include "MainWindow.h"

namespace {
const QString SelectionField = QStringLiteral("selection");
const QString WordField = QStringLiteral("word");
const QString RefusalField = QStringLiteral("refusal");
}  // namespace

GivenRequest::GivenRequest(const CommandLine& commandLine)
    : m_bSelection(commandLine.WantsSelection()), m_given(WordOfArguments(commandLine.Words()))
{
}

GivenRequest GivenRequest::OfFields(const QStringList& fields)
{
    GivenRequest request;
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
    if (!m_given.word.isEmpty())
        return {WordField, m_given.word};
    return {};
}

void GivenRequest::LookUpIn(MainWindow& window) const
{
    if (m_bSelection)
        window.LookUpDesktopSelection();
    else
        window.LookUpGiven(m_given);
}
