#include "GivenWord.h"

#include "ControlCharacter.h"
#include "DecodeUtf8Line.h"
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

// The link as its bytes stand, every byte outside printable ASCII
// percent-encoded, so that a message shows it whole.
QString Escaped(const QString& link)
{
    QString shown;
    for (const char byte : link.toUtf8())
        if (byte > ' ' && byte < '\x7F')
            shown += QLatin1Char(byte);
        else
            shown += QString::asprintf("%%%02X", static_cast<unsigned char>(byte));
    return shown;
}

// dict://HOST[:PORT]/d:WORD[:DATABASE[:N]]: the colons that part the
// fields are those left after percent-encoding, so a word may hold one.
// A word that is not UTF-8 or holds a NUL is no word a server is asked for.
GivenWord WordOfLink(const QString& link)
{
    const QUrl url(link, QUrl::StrictMode);
    const QStringList fields = url.path(QUrl::FullyEncoded).split(u':');
    const std::string bytes =
        fields.size() >= 2 ? QByteArray::fromPercentEncoding(fields[1].toUtf8()).toStdString() : std::string();
    const bool text = bytes.find('\0') == std::string::npos && DecodeUtf8Line(bytes) == bytes;
    if (!url.isValid() || fields.size() > 4 || fields.front() != u"/d" || bytes.empty() || !text)
        return {QString(),
                QString("The link \u201C%1\u201D holds no word to look up").arg(Abridged(Escaped(link), Shown))};
    const QString word = QString::fromStdString(bytes);
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
