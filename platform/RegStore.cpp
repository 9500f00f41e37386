#include "RegStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace {
const QString Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString Root = QStringLiteral("HKEY_CURRENT_USER\\");
int g_nLockTimeout = 5000;
constexpr qint64 AbandonedLockAge = 1000;

using Document = std::vector<RegStore::Section>;

bool SameName(const std::string& a, const std::string& b)
{
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// A line cursor over the file's text.
struct Reader {
    QStringList lines;
    qsizetype next = 0;

    bool AtEnd() const { return next >= lines.size(); }
    QString Take() { return lines[next++]; }
};

std::optional<QString> DecodeFile(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(bytes.mid(2));
        return decoder.hasError() ? std::nullopt : std::optional(text);
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    return decoder.hasError() ? std::nullopt : std::optional(text);
}

// A quoted name or string starting at pos, with \" and \\ escaped; pos ends
// after the closing quote.
std::optional<QString> ParseQuoted(const QString& line, qsizetype& pos)
{
    if (pos >= line.size() || line[pos] != u'"')
        return std::nullopt;
    QString text;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == u'"') {
            ++pos;
            return text;
        }
        if (c == u'\\') {
            if (++pos >= line.size() || (line[pos] != u'"' && line[pos] != u'\\'))
                return std::nullopt;
        }
        text += line[pos];
    }
    return std::nullopt;
}

std::optional<std::string> ParseHexBytes(const QString& text)
{
    std::string bytes;
    const QString compact = QString(text).remove(u' ').remove(u'\t');
    if (compact.isEmpty())
        return bytes;
    for (const QString& pair : compact.split(u',')) {
        bool ok = false;
        const uint byte = pair.toUInt(&ok, 16);
        if (!ok || pair.size() != 2)
            return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

// Hex data may go on over lines that end with a backslash.
QString JoinContinuation(QString data, Reader& reader)
{
    while (data.endsWith(u'\\') && !reader.AtEnd()) {
        data.chop(1);
        data += reader.Take().trimmed();
    }
    return data;
}

std::optional<RegValue> ParseData(QString data, Reader& reader)
{
    RegValue value;
    qsizetype pos = 0;
    if (data.startsWith(u'"')) {
        const auto text = ParseQuoted(data, pos);
        if (!text || pos != data.size())
            return std::nullopt;
        value.type = RegType::String;
        value.data = text->toStdString() + '\0';
        return value;
    }
    if (data.startsWith(QStringLiteral("dword:"))) {
        const QString digits = data.mid(6);
        bool ok = false;
        const uint number = digits.toUInt(&ok, 16);
        if (!ok || digits.size() != 8)
            return std::nullopt;
        value.type = RegType::Dword;
        value.data = DwordData(number);
        return value;
    }
    data = JoinContinuation(data, reader);
    if (data.startsWith(QStringLiteral("hex:"))) {
        value.type = RegType::Binary;
        pos = 4;
    } else if (data.startsWith(QStringLiteral("hex(")) && data.indexOf(QStringLiteral("):")) > 4) {
        const qsizetype close = data.indexOf(QStringLiteral("):"));
        bool ok = false;
        value.type = data.mid(4, close - 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        pos = close + 2;
    } else {
        return std::nullopt;
    }
    const auto bytes = ParseHexBytes(data.mid(pos));
    if (!bytes)
        return std::nullopt;
    value.data = *bytes;
    return value;
}

std::optional<RegValue> ParseValueLine(const QString& line, Reader& reader)
{
    qsizetype pos = 0;
    QString name;
    if (line.startsWith(u'@')) {
        pos = 1;
    } else {
        const auto quoted = ParseQuoted(line, pos);
        if (!quoted)
            return std::nullopt;
        name = *quoted;
    }
    if (pos >= line.size() || line[pos] != u'=')
        return std::nullopt;
    auto value = ParseData(line.mid(pos + 1), reader);
    if (value)
        value->name = name.toStdString();
    return value;
}

void PutValue(std::vector<RegValue>& values, RegValue value)
{
    for (RegValue& existing : values) {
        if (SameName(existing.name, value.name)) {
            existing = std::move(value);
            return;
        }
    }
    values.push_back(std::move(value));
}

RegStore::Section& SectionFor(Document& document, const std::string& path)
{
    for (RegStore::Section& section : document)
        if (SameName(section.path, path))
            return section;
    document.push_back({path, {}});
    return document.back();
}

std::optional<Document> ParseDocument(const QString& text)
{
    Reader reader{text.split(u'\n'), 0};
    for (QString& line : reader.lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    while (!reader.AtEnd() && reader.lines[reader.next].trimmed().isEmpty())
        ++reader.next;
    if (reader.AtEnd() || reader.Take().trimmed() != Header)
        return std::nullopt;
    Document document;
    RegStore::Section* section = nullptr;
    while (!reader.AtEnd()) {
        const QString line = reader.Take().trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']') && !line.startsWith(QStringLiteral("[-"))) {
            section = &SectionFor(document, line.mid(1, line.size() - 2).toStdString());
            continue;
        }
        auto value = section ? ParseValueLine(line, reader) : std::nullopt;
        if (!value)
            return std::nullopt;
        PutValue(section->values, std::move(*value));
    }
    return document;
}

QString Quote(const std::string& text)
{
    QString quoted = QString::fromUtf8(text);
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + quoted + u'"';
}

QString HexBytes(const std::string& bytes)
{
    QStringList pairs;
    for (const char byte : bytes)
        pairs << QStringLiteral("%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'));
    return pairs.join(u',');
}

bool IsPlainString(const RegValue& value)
{
    if (value.type != RegType::String || value.data.empty() || value.data.back() != '\0')
        return false;
    const std::string text = value.data.substr(0, value.data.size() - 1);
    return text.find('\0') == std::string::npos && text.find_first_of("\r\n") == std::string::npos
        && QString::fromUtf8(text).toStdString() == text;
}

QString FormatData(const RegValue& value)
{
    if (value.type == RegType::Dword && value.data.size() == 4)
        return QStringLiteral("dword:%1").arg(DwordNumber(value.data), 8, 16, QLatin1Char('0'));
    if (IsPlainString(value))
        return Quote(value.data.substr(0, value.data.size() - 1));
    if (value.type == RegType::Binary)
        return QStringLiteral("hex:") + HexBytes(value.data);
    return QStringLiteral("hex(%1):").arg(value.type, 0, 16) + HexBytes(value.data);
}

QByteArray FormatDocument(const Document& document)
{
    QString text = Header + QStringLiteral("\n\n");
    for (const RegStore::Section& section : document) {
        text += u'[' + QString::fromStdString(section.path) + QStringLiteral("]\n");
        for (const RegValue& value : section.values)
            text += (value.name.empty() ? QStringLiteral("@") : Quote(value.name)) + u'=' + FormatData(value) + u'\n';
        text += u'\n';
    }
    return text.toUtf8();
}

std::string FullPath(const std::string& keyPath)
{
    return (Root + QString::fromStdString(keyPath)).toStdString();
}

bool KeyExists(const Document& document, const std::string& fullPath)
{
    const QString path = QString::fromStdString(fullPath);
    for (const RegStore::Section& section : document) {
        const QString candidate = QString::fromStdString(section.path);
        if (candidate.compare(path, Qt::CaseInsensitive) == 0
            || candidate.startsWith(path + u'\\', Qt::CaseInsensitive))
            return true;
    }
    return false;
}

enum class FileState { Missing, Unreadable, Read };

FileState ReadDocument(Document& document)
{
    QFile file(RegStore::FilePath());
    if (!file.exists())
        return FileState::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return FileState::Unreadable;
    const auto text = DecodeFile(file.readAll());
    auto parsed = text ? ParseDocument(*text) : std::nullopt;
    if (!parsed || file.error() != QFileDevice::NoError)
        return FileState::Unreadable;
    document = std::move(*parsed);
    return FileState::Read;
}

bool WriteDocument(const Document& document)
{
    QSaveFile file(RegStore::FilePath());
    file.setDirectWriteFallback(false);
    return file.open(QIODevice::WriteOnly) && file.write(FormatDocument(document)) >= 0 && file.commit();
}

// Keeps an unreadable store beside the place where the next one is written.
void SetAside()
{
    const QString path = RegStore::FilePath();
    for (int n = 1; n < 1000; ++n)
        if (!QFileInfo::exists(path + QStringLiteral(".unreadable-%1").arg(n)))
            if (QFile::rename(path, path + QStringLiteral(".unreadable-%1").arg(n)))
                return;
}

// A holder killed between creating the lock file and writing its process
// id leaves an empty lock that would otherwise be honoured for a long time.
bool IsAbandoned(const QLockFile& lock, const QString& path)
{
    qint64 pid = 0;
    QString host;
    QString application;
    const QDateTime modified = QFileInfo(path).lastModified();
    return !lock.getLockInfo(&pid, &host, &application) && modified.isValid()
        && modified.msecsTo(QDateTime::currentDateTime()) > AbandonedLockAge;
}

std::unique_ptr<QLockFile> TakeLock()
{
    const QString folder = QFileInfo(RegStore::FilePath()).path();
    if (!QDir().mkpath(folder))
        return nullptr;
    const QString path = RegStore::FilePath() + QStringLiteral(".lock");
    auto lock = std::make_unique<QLockFile>(path);
    const QDeadlineTimer deadline(g_nLockTimeout);
    for (;;) {
        if (lock->tryLock(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100))))
            return lock;
        if (lock->error() != QLockFile::LockFailedError || deadline.hasExpired())
            return nullptr;
        if (IsAbandoned(*lock, path))
            lock->removeStaleLockFile();
    }
}
}  // namespace

std::string DwordData(std::uint32_t number)
{
    std::string data;
    for (int shift = 0; shift < 32; shift += 8)
        data += static_cast<char>((number >> shift) & 0xFF);
    return data;
}

std::uint32_t DwordNumber(const std::string& data)
{
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i)
        number = (number << 8) | static_cast<unsigned char>(data[i]);
    return number;
}

RegStore::RegStore() = default;

RegStore::~RegStore()
{
    Close();
}

QString RegStore::FilePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/Tallowmere/Quorlex/user.reg");
}

void RegStore::SetLockTimeout(int milliseconds)
{
    g_nLockTimeout = milliseconds;
}

bool RegStore::CreateKey(const std::string& keyPath)
{
    const auto lock = TakeLock();
    Document document;
    if (!lock || ReadDocument(document) == FileState::Unreadable)
        return false;
    if (KeyExists(document, FullPath(keyPath)))
        return true;
    document.push_back({FullPath(keyPath), {}});
    return WriteDocument(document);
}

bool RegStore::Open(const std::string& keyPath)
{
    Close();
    auto lock = TakeLock();
    Document document;
    if (!lock)
        return false;
    const FileState state = ReadDocument(document);
    if (state == FileState::Unreadable)
        SetAside();
    if (state != FileState::Read || !KeyExists(document, FullPath(keyPath)))
        return false;
    m_pLock = std::move(lock);
    m_sections = std::move(document);
    const Section& section = SectionFor(m_sections, FullPath(keyPath));
    m_nSection = static_cast<std::size_t>(&section - m_sections.data());
    return true;
}

RegResult RegStore::EnumValue(std::size_t index, RegValue& value) const
{
    if (!m_pLock)
        return RegResult::Failed;
    const std::vector<RegValue>& values = m_sections[m_nSection].values;
    if (index >= values.size())
        return RegResult::NoMoreItems;
    value = values[index];
    return RegResult::Success;
}

std::vector<RegValue>::iterator RegStore::FindValue(const std::string& name)
{
    std::vector<RegValue>& values = m_sections[m_nSection].values;
    auto found = values.begin();
    while (found != values.end() && !SameName(found->name, name))
        ++found;
    return found;
}

RegResult RegStore::DeleteValue(const std::string& name)
{
    if (!m_pLock)
        return RegResult::Failed;
    const auto found = FindValue(name);
    if (found == m_sections[m_nSection].values.end())
        return RegResult::NotFound;
    m_sections[m_nSection].values.erase(found);
    m_bDirty = true;
    return RegResult::Success;
}

RegResult RegStore::SetValue(const std::string& name, std::uint32_t type, const std::string& data)
{
    // The file format has no escape for line ends in names.
    if (!m_pLock || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return RegResult::Failed;
    PutValue(m_sections[m_nSection].values, {name, type, data});
    m_bDirty = true;
    return RegResult::Success;
}

bool RegStore::Close()
{
    const bool written = !m_bDirty || WriteDocument(m_sections);
    m_pLock.reset();
    m_sections.clear();
    m_bDirty = false;
    return written;
}
