#include "GivenWord.h"

#include "ControlCharacter.h"
#include "DictConnection.h"
#include "FormatDefineCommand.h"

#include <QUrl>

namespace {

// A link or word in a message.
constexpr qsizetype Shown = 80;

bool IsLink(const QStringList& arguments)
{
    return arguments.size() == 1 && arguments.front().startsWith(QStringLiteral("dict:"), Qt::CaseInsensitive);
}

// dict://HOST[:PORT]/d:WORD[:DATABASE[:N]]: the colons that part the
// fields are those left after percent-encoding, so a word may hold one.
GivenWord WordOfLink(const QString& link)
{
    const QUrl url(link, QUrl::StrictMode);
    const QStringList fields = url.path(QUrl::FullyEncoded).split(u':');
    const QString word =
        fields.size() >= 2 ? QString::fromUtf8(QByteArray::fromPercentEncoding(fields[1].toUtf8())) : QString();
    if (!url.isValid() || fields.size() > 4 || fields.front() != u"/d" || word.isEmpty())
        return {QString(), QString("The link \u201C%1\u201D holds no word to look up").arg(Abridged(link, Shown))};
    return {word, LookUpRefusal(word)};
}

}  // namespace

GivenWord WordOfArguments(const QStringList& arguments)
{
    return IsLink(arguments) ? WordOfLink(arguments.front()) : WordOfText(arguments.join(u' '));
}

GivenWord WordOfText(const QString& text)
{
    return {text, text.isEmpty() ? QString() : LookUpRefusal(text)};
}

QString LookUpRefusal(const QString& word)
{
    const std::string narrow = word.toUtf8().toStdString();
    if (HoldsControlCharacter(narrow))
        return QString("\u201C%1\u201D holds a control character and cannot be looked up").arg(Abridged(word, Shown));
    if (!DictConnection::FitsCommandLine(FormatDefineCommand(narrow)))
        return QString("\u201C%1\u201D is too long to look up").arg(Abridged(word, Shown));
    return {};
}

QString Abridged(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    return text.left(text.at(length - 1).isHighSurrogate() ? length - 1 : length) + u'\u2026';
}
