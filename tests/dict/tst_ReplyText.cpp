#include "DecodeUtf8Line.h"
#include "FormatDefineCommand.h"
#include "TokenizeReplyLine.h"

#include <QTest>

#include <string>
#include <vector>

using Words = std::vector<std::string>;
Q_DECLARE_METATYPE(Words)
Q_DECLARE_METATYPE(std::string)

// The pure text functions of the connection: reply words, line decoding
// and the DEFINE command line.
class ReplyText : public QObject {
    Q_OBJECT
private slots:
    void tokenizes_data();
    void tokenizes();
    void decodesUtf8_data();
    void decodesUtf8();
    void formatsDefine_data();
    void formatsDefine();
};

namespace {
std::string Bytes(const char* data, std::size_t size)
{
    return std::string(data, size);
}
}  // namespace

void ReplyText::tokenizes_data()
{
    QTest::addColumn<std::string>("line");
    QTest::addColumn<Words>("words");
    QTest::newRow("empty line") << std::string() << Words{};
    QTest::newRow("separators only") << std::string(" \t\r\n  \t") << Words{};
    QTest::newRow("leading and trailing blanks") << std::string("  250 ok  ") << Words{"250", "ok"};
    QTest::newRow("several blanks between") << std::string("a     b") << Words{"a", "b"};
    QTest::newRow("151 line") << std::string("151 \"ice cream\" wn \"WordNet (r) 3.0 (2006)\"")
                              << Words{"151", "ice cream", "wn", "WordNet (r) 3.0 (2006)"};
    QTest::newRow("database list line") << std::string("gcide \"The Collaborative International Dictionary\"")
                                        << Words{"gcide", "The Collaborative International Dictionary"};
    QTest::newRow("empty quotes vanish") << std::string("151 \"\" wn \"desc\"") << Words{"151", "wn", "desc"};
    QTest::newRow("quoted part joins letters") << std::string("ab\"c d\"ef") << Words{"abc def"};
    QTest::newRow("two quoted parts touching") << std::string("\"a b\"\"c d\"") << Words{"a bc d"};
    QTest::newRow("apostrophe opens a part") << std::string("don't stop here' now") << Words{"dont stop here", "now"};
    QTest::newRow("apostrophe to the end") << std::string("it's over there") << Words{"its over there"};
    QTest::newRow("apostrophe inside double quotes")
        << std::string("db \"Webster's 1913\"") << Words{"db", "Webster's 1913"};
    QTest::newRow("double quote inside apostrophes") << std::string("'say \"hi\"' x") << Words{"say \"hi\"", "x"};
    QTest::newRow("unclosed double quote") << std::string("151 \"open word  db") << Words{"151", "open word  db"};
    QTest::newRow("escaped quote inside quotes")
        << std::string("151 \"a\\\"b\" gcide") << Words{"151", "a\"b", "gcide"};
    QTest::newRow("escaped backslash inside quotes") << std::string("\"a\\\\\" b") << Words{"a\\", "b"};
    QTest::newRow("other backslash inside quotes") << std::string("\"a\\b\"") << Words{"a\\b"};
    QTest::newRow("backslash outside quotes is ordinary") << std::string("a\\\"b c\"") << Words{"a\\b c"};
    QTest::newRow("tab separates") << std::string("a\tb") << Words{"a", "b"};
    QTest::newRow("other control characters stay") << std::string("a\x01"
                                                                  "b\x0b"
                                                                  "c d")
                                                   << Words{"a\x01"
                                                            "b\x0b"
                                                            "c",
                                                            "d"};
    QTest::newRow("single word") << std::string("wn") << Words{"wn"};
    QTest::newRow("quoted blank alone") << std::string("x \" \" y") << Words{"x", " ", "y"};
}

void ReplyText::tokenizes()
{
    QFETCH(std::string, line);
    QFETCH(Words, words);
    QCOMPARE(TokenizeReplyLine(line), words);
}

void ReplyText::decodesUtf8_data()
{
    QTest::addColumn<std::string>("line");
    QTest::addColumn<std::string>("text");
    const std::string fffd = "\xEF\xBF\xBD";
    QTest::newRow("ascii") << std::string("250 ok") << std::string("250 ok");
    QTest::newRow("empty") << std::string() << std::string();
    QTest::newRow("valid two byte") << std::string("Stra\xC3\x9F"
                                                   "e")
                                    << std::string("Stra\xC3\x9F"
                                                   "e");
    QTest::newRow("valid three and four byte")
        << std::string("\xE2\x82\xAC \xF0\x9F\x98\x80") << std::string("\xE2\x82\xAC \xF0\x9F\x98\x80");
    QTest::newRow("lone continuation") << std::string("a\x80"
                                                      "b")
                                       << "a" + fffd + "b";
    QTest::newRow("latin-1 byte") << std::string("caf\xE9") << "caf" + fffd;
    QTest::newRow("truncated three byte") << std::string("x\xE2\x82") << "x" + fffd;
    QTest::newRow("truncated then ascii") << std::string("\xE2\x82"
                                                         "z")
                                          << fffd + "z";
    QTest::newRow("overlong") << std::string("\xC0\xAF") << fffd + fffd;
    QTest::newRow("surrogate") << std::string("\xED\xA0\x80") << fffd + fffd + fffd;
    QTest::newRow("above U+10FFFF") << std::string("\xF4\x90\x80\x80") << fffd + fffd + fffd + fffd;
    QTest::newRow("invalid lead bytes") << std::string("\xFE\xFF") << fffd + fffd;
    QTest::newRow("nul kept") << Bytes("a\0b\xC3\xA4", 5) << Bytes("a\0b\xC3\xA4", 5);
    QTest::newRow("nul after bad byte") << Bytes("\xFF\0", 2) << fffd + Bytes("\0", 1);
}

void ReplyText::decodesUtf8()
{
    QFETCH(std::string, line);
    QFETCH(std::string, text);
    QCOMPARE(DecodeUtf8Line(line), text);
}

void ReplyText::formatsDefine_data()
{
    QTest::addColumn<std::string>("word");
    QTest::addColumn<std::string>("command");
    QTest::newRow("plain") << std::string("apple") << std::string("DEFINE * \"apple\"");
    QTest::newRow("spaces") << std::string("ice cream") << std::string("DEFINE * \"ice cream\"");
    QTest::newRow("empty") << std::string() << std::string("DEFINE * \"\"");
    QTest::newRow("quote inside") << std::string("a\"b") << std::string("DEFINE * \"a\"\\\"\"b\"");
    QTest::newRow("backslash inside") << std::string("a\\b") << std::string("DEFINE * \"a\"\\\\\"b\"");
    QTest::newRow("quote first and last") << std::string("\"x\"") << std::string("DEFINE * \\\"\"x\"\\\"");
    QTest::newRow("only specials") << std::string("\\\"") << std::string("DEFINE * \\\\\\\"");
    QTest::newRow("cr lf removed") << std::string("ab\r\nQUIT") << std::string("DEFINE * \"abQUIT\"");
    QTest::newRow("nul removed") << Bytes("a\0b", 3) << std::string("DEFINE * \"ab\"");
    QTest::newRow("utf-8 unchanged") << std::string("M\xC3\xBC"
                                                    "de")
                                     << std::string("DEFINE * \"M\xC3\xBC"
                                                    "de\"");
    QTest::newRow("apostrophe unchanged") << std::string("don't") << std::string("DEFINE * \"don't\"");
}

void ReplyText::formatsDefine()
{
    QFETCH(std::string, word);
    QFETCH(std::string, command);
    QCOMPARE(FormatDefineCommand(word), command);
}

QTEST_APPLESS_MAIN(ReplyText)
#include "tst_ReplyText.moc"
