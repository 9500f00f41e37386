#include "ReferenceRender.h"
#include "RenderDefinitions.h"

#include <QRandomGenerator>
#include <QTest>

using Runs = std::vector<std::pair<int, int>>;
using Positions = std::vector<int>;
Q_DECLARE_METATYPE(Runs)
Q_DECLARE_METATYPE(Positions)

class RenderDefinitionsTest : public QObject {
    Q_OBJECT
private slots:
    void rendersCases_data();
    void rendersCases();
    void matchesStepByStepRendering_data();
    void matchesStepByStepRendering();
    void matchesOnGeneratedInputs();
};

void RenderDefinitionsTest::rendersCases_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Runs>("links");
    QTest::addColumn<Positions>("separators");

    QTest::newRow("single and double braces") << "see {apple} and {{pear}}"
                                              << "see apple and pear" << Runs{{4, 9}, {14, 18}} << Positions{};
    QTest::newRow("double brace keeps its full stop") << "{{pear}}."
                                                      << "pear." << Runs{{0, 4}} << Positions{};
    QTest::newRow("empty braces vanish") << "a{}b{{}}c"
                                         << "abc" << Runs{} << Positions{};
    QTest::newRow("unclosed single brace stays") << "x { y {z"
                                                 << "x { y {z" << Runs{} << Positions{};
    QTest::newRow("unclosed single brace after a pair") << "{a} b { c"
                                                        << "a b { c" << Runs{{0, 1}} << Positions{};
    QTest::newRow("unclosed double brace falls to single pass") << "{{a} b"
                                                                << "{a b" << Runs{{0, 2}} << Positions{};
    QTest::newRow("adjacent references make one link") << "{sun}{flower}"
                                                       << "sunflower" << Runs{{0, 9}} << Positions{};
    QTest::newRow("nested double braces") << "{{a{{b}}c}}"
                                          << "abc" << Runs{{0, 3}} << Positions{};
    QTest::newRow("deleting a closing forms a new opening") << "{{a{}}{b}}"
                                                            << "ab" << Runs{{0, 2}} << Positions{};
    QTest::newRow("two separators, each its own line") << "one\n<qrlexsep>\ntwo\n<qrlexsep>\nthree\n"
                                                       << "one\n\t\ntwo\n\t\nthree\n"
                                                       << Runs{} << Positions{4, 10};
    QTest::newRow("braces across a separator link it too") << "a {b\n<qrlexsep>\nc} d"
                                                           << "a b\n\t\nc d" << Runs{{2, 7}} << Positions{4};
    QTest::newRow("marker formed by removing braces") << "<qrlex{{sep>}}"
                                                      << "\t" << Runs{} << Positions{0};
    QTest::newRow("broken over an indented line") << "a {word\n   list} b"
                                                  << "a word\n   list b" << Runs{{2, 14}} << Positions{};
    QTest::newRow("non-ASCII text") << QString::fromUtf8("{Straße} ü") << QString::fromUtf8("Straße ü") << Runs{{0, 6}}
                                    << Positions{};
}

void RenderDefinitionsTest::rendersCases()
{
    QFETCH(QString, stored);
    const RenderedDefinitions rendered = RenderDefinitions(stored);
    QTEST(rendered.text, "text");
    QTEST(rendered.linkRuns, "links");
    QTEST(rendered.separators, "separators");
}

void RenderDefinitionsTest::matchesStepByStepRendering_data()
{
    rendersCases_data();
}

void RenderDefinitionsTest::matchesStepByStepRendering()
{
    QFETCH(QString, stored);
    const RenderedDefinitions reference = ReferenceRender(stored);
    const RenderedDefinitions rendered = RenderDefinitions(stored);
    QCOMPARE(rendered.text, reference.text);
    QCOMPARE(rendered.linkRuns, reference.linkRuns);
    QCOMPARE(rendered.separators, reference.separators);
}

// The text rendered a line at a time with the pairs of the whole, as the
// definition view fills it, a link run going on across a line end.
RenderedDefinitions RenderedByLines(const QString& stored)
{
    const BracePairs pairs = PairBraces(stored.toStdString());
    RenderedDefinitions whole;
    std::size_t brace = 0;
    const QStringList lines = stored.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int at = static_cast<int>(whole.text.size());
        const auto part = RenderDefinitions(i + 1 < lines.size() ? lines[i] + u'\n' : lines[i], pairs, brace);
        whole.text += part.text;
        for (const auto& [start, end] : part.linkRuns)
            if (!whole.linkRuns.empty() && whole.linkRuns.back().second == at + start)
                whole.linkRuns.back().second = at + end;
            else
                whole.linkRuns.emplace_back(at + start, at + end);
        for (const int separator : part.separators)
            whole.separators.push_back(at + separator);
    }
    return whole;
}

// Random mixes of braces, separators and letters, the kinds of text where
// pairing order matters most.
void RenderDefinitionsTest::matchesOnGeneratedInputs()
{
    const QStringList pieces{"{", "}", "{{", "}}", "a", "b", " ", "\n", "<qrlexsep>", "<qrlex", "sep>", "\t", "x"};
    QRandomGenerator random(2229);
    for (int round = 0; round < 20000; ++round) {
        QString stored;
        const int length = static_cast<int>(random.bounded(1, 30));
        for (int i = 0; i < length; ++i)
            stored += pieces[static_cast<int>(random.bounded(pieces.size()))];
        const RenderedDefinitions reference = ReferenceRender(stored);
        for (const RenderedDefinitions& rendered : {RenderDefinitions(stored), RenderedByLines(stored)})
            if (rendered.text != reference.text || rendered.linkRuns != reference.linkRuns
                || rendered.separators != reference.separators)
                QFAIL(qPrintable("renderings differ for: " + stored));
    }
}

QTEST_APPLESS_MAIN(RenderDefinitionsTest)
#include "tst_RenderDefinitions.moc"
