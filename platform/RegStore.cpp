#include "RegStore.h"

#include "ControlCharacter.h"
#include "Utf8Text.h"

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
#include <deque>
#include <optional>
#include <unordered_map>
#include <vector>

namespace {
const QString Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString Root = QStringLiteral("HKEY_CURRENT_USER\\");
int g_nLockTimeout = 5000;
constexpr qint64 AbandonedLockAge = 1000;

// Names and key paths compare without regard to letter case: equal when
// their foldings are.
std::string Folded(const std::string& name)
{
    return Utf8Text(name).toCaseFolded().toStdString();
}

// A key's entry in file order: a value, or lines kept as they were read.
// A value deleted since leaves neither.
struct Entry {
    std::optional<RegValue> value;
    std::string kept;
};
}  // namespace

// A key, or lines outside any key that can be read.
struct RegStore::Section {
    std::string path;
    bool isKey = false;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> byName;  // folded name: its entry
    std::deque<std::size_t> order;  // the entries that hold values, ascending

    void Keep(std::string lines) { entries.push_back({std::nullopt, std::move(lines)}); }
    void Put(RegValue value);
    bool Erase(const std::string& name);
};

struct RegStore::Document {
    std::deque<Section> sections;  // a deque: sections stay where they are
    std::unordered_map<std::string, Section*> byPath;  // folded path: its key

    Section& KeyFor(const std::string& path);
    Section& Outside() { return sections.emplace_back(); }
};

void RegStore::Section::Put(RegValue value)
{
    const auto [found, added] = byName.try_emplace(Folded(value.name), entries.size());
    if (!added) {
        entries[found->second].value = std::move(value);  // the later wins, in the earlier place
        return;
    }
    order.push_back(entries.size());
    entries.push_back({std::move(value), {}});
}

// Clearing a key deletes from the front: the deque makes that constant.
bool RegStore::Section::Erase(const std::string& name)
{
    const auto found = byName.find(Folded(name));
    if (found == byName.end())
        return false;
    entries[found->second].value.reset();
    order.erase(std::lower_bound(order.begin(), order.end(), found->second));
    byName.erase(found);
    return true;
}

RegStore::Section& RegStore::Document::KeyFor(const std::string& path)
{
    Section*& key = byPath[Folded(path)];
    if (!key) {
        key = &sections.emplace_back();
        key->path = path;
        key->isKey = true;
    }
    return *key;
}

namespace {
using Document = RegStore::Document;
using Section = RegStore::Section;

// The file's lines: the text of each (none where it is not UTF-8) and its
// bytes as read, a carriage return kept, the line feed not.
struct Reader {
    std::vector<std::optional<QString>> texts;
    std::vector<std::string> raw;
    std::size_t next = 0;

    bool AtEnd() const { return next >= texts.size(); }
    std::size_t Take() { return next++; }
    void Add(const std::optional<QString>& text, std::string bytes)
    {
        texts.push_back(text);
        raw.push_back(std::move(bytes));
    }
    // The bytes of the lines from first up to the next, as one kept entry.
    std::string Since(std::size_t first) const
    {
        std::string lines = raw[first];
        for (std::size_t i = first + 1; i < next; ++i)
            lines += '\n' + raw[i];
        return lines;
    }
};

// UTF-16 with its byte order mark as a whole; UTF-8 line by line, so that a
// bad byte costs one line. False for UTF-16 that does not decode.
bool ReadLines(const QByteArray& bytes, Reader& reader)
{
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(bytes.mid(2));
        for (const QString& line : text.split(u'\n'))
            reader.Add(line, line.toStdString());
        return !decoder.hasError();
    }
    for (const QByteArray& line : (bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes).split('\n'))
        reader.Add(QByteArrayView(line).isValidUtf8() ? std::optional(Utf8Text(line.toStdString())) : std::nullopt,
                   line.toStdString());
    return true;
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

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsHexLine(const QString& line)
{
    const QString data = line.endsWith(u'\\') ? line.chopped(1) : line;
    return !data.isEmpty()
        && std::all_of(data.begin(), data.end(), [](QChar c) { return c == u',' || c.isSpace() || IsHexDigit(c); });
}

// Hex data may go on over lines that end with a backslash. Only a line of
// hex data goes on it, so that no value after it is ever taken in.
QString JoinContinuation(QString data, Reader& reader)
{
    while (data.endsWith(u'\\') && !reader.AtEnd() && reader.texts[reader.next]
           && IsHexLine(reader.texts[reader.next]->trimmed())) {
        data.chop(1);
        data += reader.texts[reader.Take()]->trimmed();
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
    const std::string utf8 = name.toStdString();
    if (pos >= line.size() || line[pos] != u'=' || HoldsControlCharacter(utf8))
        return std::nullopt;
    auto value = ParseData(line.mid(pos + 1), reader);
    if (value)
        value->name = utf8;
    return value;
}

bool IsKeyLine(const QString& line)
{
    return line.startsWith(u'[') && line.endsWith(u']') && !line.startsWith(QStringLiteral("[-"));
}

// A line with its blanks at both ends taken off, blanks as the parser
// knows them, also on a line that is not UTF-8.
QString Trimmed(const std::string& raw)
{
    return Utf8Text(raw).trimmed();
}

bool OpensKey(const std::string& raw)
{
    return Trimmed(raw).startsWith(u'[');
}

// One line, or a value with the lines it goes on over. What cannot be read
// is kept; after a key line that cannot be read (a key deletion among
// them) nothing belongs to a key until the next one.
void ParseLine(Reader& reader, Document& document, Section*& section)
{
    const std::size_t first = reader.Take();
    const std::optional<QString>& text = reader.texts[first];
    const QString line = text ? text->trimmed() : QString();
    if (text && line.isEmpty())
        return;  // the writer puts its own blank lines
    if (text && IsKeyLine(line)) {
        section = &document.KeyFor(line.mid(1, line.size() - 2).toStdString());
        return;
    }
    if (!section || OpensKey(reader.raw[first]))
        section = &document.Outside();
    auto value = text && section->isKey ? ParseValueLine(line, reader) : std::nullopt;
    if (value)
        section->Put(std::move(*value));
    else
        section->Keep(reader.Since(first));
}

// Not a store at all without the header line.
std::optional<Document> ParseDocument(Reader& reader)
{
    while (!reader.AtEnd() && reader.texts[reader.next] && reader.texts[reader.next]->trimmed().isEmpty())
        ++reader.next;
    if (reader.AtEnd() || !reader.texts[reader.next] || reader.texts[reader.Take()]->trimmed() != Header)
        return std::nullopt;
    Document document;
    Section* section = nullptr;
    while (!reader.AtEnd())
        ParseLine(reader, document, section);
    return document;
}

QString Quote(const std::string& text)
{
    QString quoted = Utf8Text(text);
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

std::string FormatValue(const RegValue& value)
{
    return ((value.name.empty() ? QStringLiteral("@") : Quote(value.name)) + u'=' + FormatData(value) + u'\n')
        .toStdString();
}

// Kept hex data that would go on over the next line: a blank line after
// it stops that, whatever comes next.
bool EndsInBackslash(const std::string& kept)
{
    return Trimmed(kept).endsWith(u'\\');
}

std::string FormatDocument(const Document& document)
{
    std::string text = Header.toStdString() + "\n\n";
    for (const Section& section : document.sections) {
        if (section.isKey)
            text += '[' + section.path + "]\n";
        for (const Entry& entry : section.entries) {
            if (entry.value)
                text += FormatValue(*entry.value);
            else if (!entry.kept.empty())
                text += entry.kept + (EndsInBackslash(entry.kept) ? "\n\n" : "\n");
        }
        text += '\n';
    }
    return text;
}

std::string FullPath(const std::string& keyPath)
{
    return (Root + QString::fromStdString(keyPath)).toStdString();
}

// The key itself, or a key below it.
bool KeyExists(const Document& document, const std::string& fullPath)
{
    const std::string path = Folded(fullPath);
    return std::any_of(document.byPath.begin(), document.byPath.end(),
                       [&](const auto& key) { return key.first == path || key.first.starts_with(path + '\\'); });
}

enum class FileState { Missing, Unreadable, NotAStore, Read };

FileState ReadDocument(Document& document)
{
    QFile file(RegStore::FilePath());
    if (!file.exists())
        return FileState::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return FileState::Unreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return FileState::Unreadable;
    Reader reader;
    auto parsed = ReadLines(bytes, reader) ? ParseDocument(reader) : std::nullopt;
    if (!parsed)
        return FileState::NotAStore;
    document = std::move(*parsed);
    return FileState::Read;
}

bool WriteDocument(const Document& document)
{
    QSaveFile file(RegStore::FilePath());
    file.setDirectWriteFallback(false);
    const std::string text = FormatDocument(document);
    return file.open(QIODevice::WriteOnly) && file.write(text.data(), static_cast<qint64>(text.size())) >= 0
        && file.commit();
}

// Keeps a file the store cannot use beside the place where the next one
// is written; false when it could not be moved.
bool SetAside()
{
    const QString path = RegStore::FilePath();
    for (int n = 1; n < 1000; ++n)
        if (!QFileInfo::exists(path + QStringLiteral(".unreadable-%1").arg(n)))
            if (QFile::rename(path, path + QStringLiteral(".unreadable-%1").arg(n)))
                return true;
    return false;
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
    RegStore key;
    return key.Open(keyPath, Missing::Create) && key.Close();
}

bool RegStore::ReadValues(const std::string& keyPath, std::vector<RegValue>& values)
{
    Document document;
    const FileState state = ReadDocument(document);
    if (state == FileState::Missing)
        return true;
    if (state != FileState::Read)
        return false;
    const auto key = document.byPath.find(Folded(FullPath(keyPath)));
    if (key == document.byPath.end())
        return true;
    for (const std::size_t entry : key->second->order)
        values.push_back(*key->second->entries[entry].value);
    return true;
}

bool RegStore::Open(const std::string& keyPath, Missing missing, Unusable unusable)
{
    Close();
    auto lock = TakeLock();
    Document document;
    if (!lock)
        return false;
    FileState state = ReadDocument(document);
    // A file that is not a store is of no use to anyone; one that cannot
    // be read may well be a store, to be kept unless it is to be replaced.
    const bool replaced = (state == FileState::Unreadable && unusable != Unusable::Keep)
        || (state == FileState::Read && unusable == Unusable::ReplaceAny);
    if (state == FileState::NotAStore || replaced) {
        if (!SetAside() || unusable == Unusable::Keep)
            return false;
        state = FileState::Missing;
    }
    const std::string path = FullPath(keyPath);
    const bool exists = state == FileState::Read && KeyExists(document, path);
    if (state == FileState::Unreadable || (!exists && missing == Missing::Fail))
        return false;
    m_pLock = std::move(lock);
    m_pDocument = std::make_unique<Document>(std::move(document));
    m_pSection = &m_pDocument->KeyFor(path);
    m_bDirty = !exists;
    return true;
}

RegResult RegStore::EnumValue(std::size_t index, RegValue& value) const
{
    if (!m_pLock)
        return RegResult::Failed;
    if (index >= m_pSection->order.size())
        return RegResult::NoMoreItems;
    value = *m_pSection->entries[m_pSection->order[index]].value;
    return RegResult::Success;
}

RegResult RegStore::DeleteValue(const std::string& name)
{
    if (!m_pLock)
        return RegResult::Failed;
    if (!m_pSection->Erase(name))
        return RegResult::NotFound;
    m_bDirty = true;
    return RegResult::Success;
}

RegResult RegStore::SetValue(const std::string& name, std::uint32_t type, const std::string& data)
{
    if (!m_pLock || HoldsControlCharacter(name))
        return RegResult::Failed;
    m_pSection->Put({name, type, data});
    m_bDirty = true;
    return RegResult::Success;
}

bool RegStore::Close()
{
    const bool written = !m_bDirty || WriteDocument(*m_pDocument);
    m_pLock.reset();
    m_pDocument.reset();
    m_pSection = nullptr;
    m_bDirty = false;
    return written;
}
