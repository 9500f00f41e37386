#include "FileBytes.h"
#include "RegStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {
const std::string Servers = "Software\\Tallowmere\\Quorlex\\Servers";

std::vector<RegValue> AllValues(RegStore& key)
{
    std::vector<RegValue> values;
    RegValue value;
    for (std::size_t i = 0; key.EnumValue(i, value) == RegResult::Success; ++i)
        values.push_back(value);
    return values;
}

QString Describe(const std::vector<RegValue>& values)
{
    QStringList parts;
    for (const RegValue& value : values)
        parts << QString::fromStdString(value.name) + u'/' + QString::number(value.type) + u'/'
                + QString::fromLatin1(QByteArray::fromStdString(value.data).toHex());
    return parts.join(u' ');
}
}  // namespace

class TestRegStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void createKeyWritesAnEmptyKey();
    void valuesAreWrittenInTheExportFormat();
    void valuesReadBackInFileOrder();
    void namesIgnoreLetterCase();
    void enumerationEndsWithNoMoreItems();
    void readsUtf16WithByteOrderMark();
    void parentKeysAndOtherKeysAreKept();
    void missingKeyDoesNotOpen();
    void unreadableFileIsSetAside_data();
    void unreadableFileIsSetAside();
    void unreadableLineIsKept_data();
    void unreadableLineIsKept();
    void createKeySetsAnUnreadableFileAside();
    void openKeyHoldsTheLock();
    void folderThatCannotBeMadeFails();

private:
    QString StorePath() const { return RegStore::FilePath(); }
    std::unique_ptr<QTemporaryDir> m_pHome;
};

void TestRegStore::init()
{
    m_pHome = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_pHome->path().toUtf8());
    RegStore::SetLockTimeout(5000);
}

void TestRegStore::createKeyWritesAnEmptyKey()
{
    QCOMPARE(StorePath(), m_pHome->path() + "/Tallowmere/Quorlex/user.reg");
    QVERIFY(!QFileInfo::exists(StorePath()));
    QVERIFY(RegStore::CreateKey(Servers));
    QCOMPARE(ReadFileBytes(StorePath()),
             QByteArray("Windows Registry Editor Version 5.00\n\n"
                        "[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n\n"));
    // A second create finds the key and changes nothing.
    QVERIFY(RegStore::CreateKey(Servers));
    RegStore key;
    QVERIFY(key.Open(Servers));
    QCOMPARE(AllValues(key).size(), 0u);
}

void TestRegStore::valuesAreWrittenInTheExportFormat()
{
    QVERIFY(RegStore::CreateKey(Servers));
    RegStore key;
    QVERIFY(key.Open(Servers));
    QCOMPARE(key.SetValue("dict.example.org", RegType::Dword, DwordData(2628)), RegResult::Success);
    QCOMPARE(key.SetValue("note", RegType::String, std::string("a text value\0", 13)), RegResult::Success);
    QCOMPARE(key.SetValue("q\"b\\s", RegType::String, std::string("c:\\\"x\"\0", 7)), RegResult::Success);
    QCOMPARE(key.SetValue("raw", 7, std::string("a\0\0", 3)), RegResult::Success);
    QCOMPARE(key.SetValue("minus", RegType::Dword, DwordData(static_cast<std::uint32_t>(-1))), RegResult::Success);
    QVERIFY(key.Close());
    QCOMPARE(ReadFileBytes(StorePath()),
             QByteArray("Windows Registry Editor Version 5.00\n\n"
                        "[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n"
                        "\"dict.example.org\"=dword:00000a44\n"
                        "\"note\"=\"a text value\"\n"
                        "\"q\\\"b\\\\s\"=\"c:\\\\\\\"x\\\"\"\n"
                        "\"raw\"=hex(7):61,00,00\n"
                        "\"minus\"=dword:ffffffff\n\n"));
}

void TestRegStore::valuesReadBackInFileOrder()
{
    QVERIFY(RegStore::CreateKey(Servers));
    const std::string longName(3000, 'h');
    const std::vector<RegValue> written{
        {"zeta", RegType::Dword, DwordData(1)},
        {longName, RegType::Dword, DwordData(70000)},
        {"alpha", RegType::Binary, std::string("\x00\xff\x10", 3)},
        {"\xc3\xa9t\xc3\xa9", RegType::String, std::string("\xe2\x82\xac\0", 4)},
        {"", RegType::Dword, DwordData(5)},
        {"bin-str", RegType::String, std::string("no terminator")},
    };
    {
        RegStore key;
        QVERIFY(key.Open(Servers));
        for (const RegValue& value : written)
            QCOMPARE(key.SetValue(value.name, value.type, value.data), RegResult::Success);
    }  // closing writes
    RegStore key;
    QVERIFY(key.Open(Servers));
    QCOMPARE(Describe(AllValues(key)), Describe(written));
}

void TestRegStore::namesIgnoreLetterCase()
{
    QVERIFY(RegStore::CreateKey(Servers));
    RegStore key;
    QVERIFY(key.Open(Servers));
    key.SetValue("first", RegType::Dword, DwordData(1));
    key.SetValue("Alpha", RegType::Dword, DwordData(2));
    key.SetValue("last", RegType::Dword, DwordData(3));
    key.SetValue("ALPHA", RegType::Dword, DwordData(4));
    // The later write wins and keeps the earlier place.
    QCOMPARE(Describe(AllValues(key)), QStringLiteral("first/4/01000000 ALPHA/4/04000000 last/4/03000000"));
    QCOMPARE(key.DeleteValue("alpha"), RegResult::Success);
    QCOMPARE(key.DeleteValue("alpha"), RegResult::NotFound);
    QCOMPARE(Describe(AllValues(key)), QStringLiteral("first/4/01000000 last/4/03000000"));
}

void TestRegStore::enumerationEndsWithNoMoreItems()
{
    QVERIFY(RegStore::CreateKey(Servers));
    RegStore key;
    RegValue value;
    QCOMPARE(key.EnumValue(0, value), RegResult::Failed);  // not open
    QVERIFY(key.Open(Servers));
    QCOMPARE(key.EnumValue(0, value), RegResult::NoMoreItems);
    key.SetValue("one", RegType::Dword, DwordData(1));
    QCOMPARE(key.EnumValue(0, value), RegResult::Success);
    QCOMPARE(value.name, std::string("one"));
    QCOMPARE(key.EnumValue(1, value), RegResult::NoMoreItems);
    QCOMPARE(key.EnumValue(1000, value), RegResult::NoMoreItems);
    QCOMPARE(key.SetValue("two\nlines", RegType::Dword, DwordData(1)), RegResult::Failed);
    QCOMPARE(key.SetValue(std::string("nul\0x", 5), RegType::Dword, DwordData(1)), RegResult::Failed);
}

void TestRegStore::readsUtf16WithByteOrderMark()
{
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\r\n"
                                        "\"W\u00f6rterbuch\"=dword:00000a44\r\n"
                                        "\"blob\"=hex:01,02,\\\r\n  03,04\r\n"
                                        "@=\"default\"\r\n\r\n");
    QStringEncoder encoder(QStringEncoder::Utf16LE);
    WriteFileBytes(StorePath(), QByteArray("\xFF\xFE") + QByteArray(encoder.encode(text)));
    RegStore key;
    QVERIFY(key.Open(Servers));
    QCOMPARE(Describe(AllValues(key)),
             QString::fromUtf8("W\xc3\xb6rterbuch/4/440a0000 blob/3/01020304 /1/64656661756c7400"));
    // Written back as UTF-8 once changed.
    key.SetValue("x", RegType::Dword, DwordData(1));
    QVERIFY(key.Close());
    QVERIFY(ReadFileBytes(StorePath())
                .contains("\"W\xc3\xb6rterbuch\"=dword:00000a44\n\"blob\"=hex:01,02,03,04\n@=\"default\"\n"));
}

void TestRegStore::parentKeysAndOtherKeysAreKept()
{
    const QByteArray other = "[HKEY_CURRENT_USER\\Software\\Other]\n\"keep\"=\"me\"\n\n";
    WriteFileBytes(StorePath(), "Windows Registry Editor Version 5.00\n\n" + other);
    QVERIFY(RegStore::CreateKey(Servers));
    {
        RegStore parent;
        QVERIFY(parent.Open("Software\\Tallowmere"));  // exists as the parent of the new key
        QVERIFY(parent.Open("software\\tallowmere\\quorlex\\SERVERS"));  // key names ignore case too
        parent.SetValue("h", RegType::Dword, DwordData(9));
    }
    QCOMPARE(ReadFileBytes(StorePath()),
             "Windows Registry Editor Version 5.00\n\n" + other
                 + "[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n"
                   "\"h\"=dword:00000009\n\n");
}

void TestRegStore::missingKeyDoesNotOpen()
{
    RegStore key;
    QVERIFY(!key.Open(Servers));  // no file at all
    QVERIFY(RegStore::CreateKey("Software\\Else"));
    QVERIFY(!key.Open(Servers));
    QVERIFY(!key.Open("Software\\Els"));
    QCOMPARE(key.SetValue("a", RegType::Dword, DwordData(1)), RegResult::Failed);
}

void TestRegStore::unreadableFileIsSetAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("garbage") << QByteArray("\x01\x02garbage\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("no header") << QByteArray(
        "[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n\"a\"=dword:00000001\n");
    QTest::newRow("odd UTF-16") << QByteArray("\xFF\xFEW\x00i\x00n", 7);
}

void TestRegStore::unreadableFileIsSetAside()
{
    QFETCH(QByteArray, content);
    WriteFileBytes(StorePath(), content);
    RegStore key;
    QVERIFY(!key.Open(Servers));
    QVERIFY(!QFileInfo::exists(StorePath()));
    QCOMPARE(ReadFileBytes(StorePath() + ".unreadable-1"), content);
    // A second unreadable file does not replace the first one set aside.
    WriteFileBytes(StorePath(), "second");
    QVERIFY(!key.Open(Servers));
    QCOMPARE(ReadFileBytes(StorePath() + ".unreadable-1"), content);
    QCOMPARE(ReadFileBytes(StorePath() + ".unreadable-2"), QByteArray("second"));
    // A fresh store starts in its place.
    QVERIFY(RegStore::CreateKey(Servers));
    QVERIFY(key.Open(Servers));
}

void TestRegStore::unreadableLineIsKept_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("outsideTheKey");
    QTest::newRow("bad UTF-8") << QByteArray("\"a\xff\"=dword:00000001") << false;
    QTest::newRow("short dword") << QByteArray("\"a\"=dword:a44") << false;
    QTest::newRow("dword not hex") << QByteArray("\"a\"=dword:0000zz44") << false;
    QTest::newRow("open string") << QByteArray("\"a\"=\"text") << false;
    QTest::newRow("unknown escape") << QByteArray("\"a\\n\"=dword:00000001") << false;
    QTest::newRow("NUL in name") << QByteArray("\"victim\0x\"=dword:00000a44", 26) << false;
    QTest::newRow("bad hex over two lines") << QByteArray("\"a\"=hex:01,\\\n  0,2") << false;
    QTest::newRow("deletion") << QByteArray("\"a\"=-") << false;
    QTest::newRow("value before key") << QByteArray("\"a\"=dword:00000001") << true;
    QTest::newRow("key deletion") << QByteArray("[-HKEY_CURRENT_USER\\Software\\Old]\n\"a\"=dword:00000001") << true;
    QTest::newRow("key deletion after a no-break space") << QByteArray(
        "[HKEY_CURRENT_USER\\Software\\Old]\n\n\xC2\xA0[-HKEY_CURRENT_USER\\Software\\Old]\n\"a\"=dword:00000001")
                                                         << true;
}

// Among good values, or before the key; written back where it was.
void TestRegStore::unreadableLineIsKept()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, outsideTheKey);
    const QByteArray servers =
        "[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n\"before\"=dword:00000001\n";
    const QByteArray content = "Windows Registry Editor Version 5.00\n\n"
        + (outsideTheKey ? lines + "\n\n" + servers : servers + lines + "\r\n") + "\"after\"=dword:00000002\n";
    WriteFileBytes(StorePath(), content);
    RegStore key;
    QVERIFY(key.Open(Servers));
    QCOMPARE(Describe(AllValues(key)), QStringLiteral("before/4/01000000 after/4/02000000"));
    QCOMPARE(key.SetValue("new", RegType::Dword, DwordData(3)), RegResult::Success);
    QVERIFY(key.Close());
    QCOMPARE(ReadFileBytes(StorePath()), content + "\"new\"=dword:00000003\n\n");
    // No value after a key's deletion belongs to that key.
    QVERIFY(!key.Open("Software\\Old") || AllValues(key).empty());
}

void TestRegStore::createKeySetsAnUnreadableFileAside()
{
    WriteFileBytes(StorePath(), "not a registry file");
    QVERIFY(!RegStore::CreateKey(Servers));
    QCOMPARE(ReadFileBytes(StorePath() + ".unreadable-1"), QByteArray("not a registry file"));
}

void TestRegStore::openKeyHoldsTheLock()
{
    QVERIFY(RegStore::CreateKey(Servers));
    RegStore::SetLockTimeout(50);
    RegStore first;
    QVERIFY(first.Open(Servers));
    first.SetValue("a", RegType::Dword, DwordData(1));
    RegStore second;
    QVERIFY(!second.Open(Servers));
    QVERIFY(!RegStore::CreateKey("Software\\Else"));
    QVERIFY(first.Close());
    QVERIFY(second.Open(Servers));
    QCOMPARE(Describe(AllValues(second)), QStringLiteral("a/4/01000000"));
}

void TestRegStore::folderThatCannotBeMadeFails()
{
    // A file where the folder should be: root ignores permissions, not this.
    WriteFileBytes(m_pHome->path() + "/Tallowmere", "in the way");
    QVERIFY(!RegStore::CreateKey(Servers));
    RegStore key;
    QVERIFY(!key.Open(Servers));
    QCOMPARE(ReadFileBytes(m_pHome->path() + "/Tallowmere"), QByteArray("in the way"));
}

QTEST_GUILESS_MAIN(TestRegStore)
#include "tst_RegStore.moc"
