#include "CharacterCentre.h"
#include "RichTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

namespace {

struct Notice {
    LinkMouse message;
    int start;
    int end;
    bool operator==(const Notice&) const = default;
};

// A shown view at the definition view's size that records its link notices.
struct Viewed {
    Viewed()
    {
        view.resize(443, 285);
        view.SetLinkHandler([this](LinkMouse m, int start, int end) { notices.push_back({m, start, end}); });
        view.show();
    }
    QPoint At(int position) const { return CharacterCentre(&view, position); }
    RichTextView view;
    std::vector<Notice> notices;
};

bool IsDark(QRgb pixel)
{
    return qGray(pixel) < 200;
}

// Whether some row from the block's last line to just below it is dark at
// the given column.
bool RuleAt(const QImage& image, const QRectF& block, int x)
{
    for (int y = int(block.bottom()) - 3; y <= int(block.bottom()) + 1; ++y)
        if (y >= 0 && y < image.height() && IsDark(image.pixel(x, y)))
            return true;
    return false;
}

}  // namespace

class RichTextViewTest : public QObject {
    Q_OBJECT
private slots:
    void linksAreBoldPureBlueAndNothingElseIs();
    void leftPressAndDoubleClickReportTheWholeRun();
    void otherMouseMessagesReportOther();
    void clickOnPlainTextReportsNothing();
    void clickAfterScrollingFindsTheLinkUnderTheMouse();
    void enterOnALinkFollowsItAsALeftClick();
    void separatorHoldsATabAndDrawsARuleAcrossTheView_data();
    void separatorHoldsATabAndDrawsARuleAcrossTheView();
    void readOnlyButSelectableAndCopyable();
};

void RichTextViewTest::linksAreBoldPureBlueAndNothingElseIs()
{
    Viewed v;
    v.view.ShowRendered("see apple and pear", {{4, 9}, {14, 18}}, {});
    for (int i = 0; i < 18; ++i) {
        QTextCursor cursor(v.view.document());
        cursor.setPosition(i + 1);
        const QTextCharFormat format = cursor.charFormat();  // of the character before the cursor
        const bool linked = (i >= 4 && i < 9) || i >= 14;
        QCOMPARE(format.isAnchor(), linked);
        QCOMPARE(format.fontWeight() == QFont::Bold, linked);
        QCOMPARE(format.foreground().color() == QColor(0, 0, 255), linked);
    }
}

void RichTextViewTest::leftPressAndDoubleClickReportTheWholeRun()
{
    Viewed v;
    // The second run goes on in text appended after it.
    v.view.ShowRendered("see apple and pe", {{4, 9}, {14, 16}}, {});
    v.view.AppendRendered("ar", {{0, 2}}, {});
    QTest::mousePress(v.view.viewport(), Qt::LeftButton, {}, v.At(8));
    QCOMPARE(v.notices.front(), (Notice{LinkMouse::LeftDown, 4, 9}));
    QTest::mouseRelease(v.view.viewport(), Qt::LeftButton, {}, v.At(8));
    v.notices.clear();
    QTest::mouseDClick(v.view.viewport(), Qt::LeftButton, {}, v.At(14));
    const Notice dbl{LinkMouse::LeftDoubleClick, 14, 18};
    QVERIFY(std::find(v.notices.begin(), v.notices.end(), dbl) != v.notices.end());
}

void RichTextViewTest::otherMouseMessagesReportOther()
{
    Viewed v;
    v.view.ShowRendered("see apple and pear", {{4, 9}, {14, 18}}, {});
    QTest::mousePress(v.view.viewport(), Qt::RightButton, {}, v.At(5));
    QTest::mouseRelease(v.view.viewport(), Qt::RightButton, {}, v.At(5));
    QTest::mouseMove(v.view.viewport(), v.At(15));
    QTest::mousePress(v.view.viewport(), Qt::MiddleButton, {}, v.At(6));
    QVERIFY(!v.notices.empty());
    for (const Notice& notice : v.notices)
        QCOMPARE(notice.message, LinkMouse::Other);
}

void RichTextViewTest::clickOnPlainTextReportsNothing()
{
    Viewed v;
    v.view.ShowRendered("see apple and pear", {{4, 9}, {14, 18}}, {});
    for (int position : {0, 3, 9, 13})
        QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {}, v.At(position));
    // Blank space below the text is no character at all.
    QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {}, QPoint(5, v.view.viewport()->height() - 5));
    QCOMPARE(v.notices.size(), std::size_t(0));
}

void RichTextViewTest::clickAfterScrollingFindsTheLinkUnderTheMouse()
{
    Viewed v;
    QString text;
    std::vector<std::pair<int, int>> runs;
    for (int line = 0; line < 200; ++line) {
        const QString head = QString("line %1 ").arg(line, 3, 10, QChar('0'));
        runs.emplace_back(text.size() + head.size(), text.size() + head.size() + 4);
        text += head + "link " + QString(300, u'w') + "\n";
    }
    v.view.ShowRendered(text, runs, {});
    const auto& [start, end] = runs[150];
    QTextCursor cursor(v.view.document());
    cursor.setPosition(start + 1);
    v.view.setTextCursor(cursor);
    v.view.ensureCursorVisible();
    QVERIFY(v.view.verticalScrollBar()->value() > 0);
    QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {}, v.At(start + 1));
    QCOMPARE(v.notices.front(), (Notice{LinkMouse::LeftDown, start, end}));
    // Scrolled sideways, a link further right.
    v.notices.clear();
    const int far = runs[150].second + 250;
    v.view.ShowRendered(text, {{far, far + 5}}, {});
    cursor = QTextCursor(v.view.document());
    cursor.setPosition(far + 2);
    v.view.setTextCursor(cursor);
    v.view.ensureCursorVisible();
    QVERIFY(v.view.horizontalScrollBar()->value() > 0);
    QTest::mouseClick(v.view.viewport(), Qt::LeftButton, {}, v.At(far + 2));
    QCOMPARE(v.notices.front(), (Notice{LinkMouse::LeftDown, far, far + 5}));
    // Long lines scrolled through: only those on screen keep their shaping.
    const int length = RichTextView::LongLine + 1;
    const int onScreen = v.view.viewport()->height() / v.view.fontMetrics().height() + 2;
    v.view.ShowRendered(QString(length - 1, u'w').append(u'\n').repeated(100), {{far, far + 5}}, {});
    QVERIFY(QTest::qWaitForWindowExposed(&v.view));
    for (int line = 0; line < 100; line += 10) {
        cursor = QTextCursor(v.view.document());
        cursor.setPosition(line * length + (line == 0 ? far + 2 : 0));
        v.view.setTextCursor(cursor);
        v.view.ensureCursorVisible();
        v.view.viewport()->repaint();
        QVERIFY(v.view.ShapedChars() > 0);
        QVERIFY(v.view.ShapedChars() <= onScreen * length);
    }
    // Appended, they keep the shaping of their layout before any paint, within the bound.
    const QString longLine = QString(length - 1, u'w').append(u'\n');
    v.view.SetPlainText(QString());
    v.view.AppendRendered(longLine, {}, {});
    QCOMPARE(v.view.ShapedChars(), length);
    v.view.AppendRendered(longLine.repeated(RichTextView::ShapedCharsLimit / length + 1), {}, {});
    QVERIFY(v.view.ShapedChars() <= RichTextView::ShapedCharsLimit);
    v.view.viewport()->repaint();
    QVERIFY(v.view.ShapedChars() <= onScreen * length);
}

void RichTextViewTest::enterOnALinkFollowsItAsALeftClick()
{
    Viewed v;
    v.view.ShowRendered("see apple and pear", {{4, 9}, {14, 18}}, {});
    v.view.setFocus();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(&v.view, Qt::Key_Right);
    QTest::keyClick(&v.view, Qt::Key_Return);
    QTest::keyClick(&v.view, Qt::Key_Home);
    QTest::keyClick(&v.view, Qt::Key_Return);
    QTest::keyClick(&v.view, Qt::Key_End);
    QTest::keyClick(&v.view, Qt::Key_Enter);
    QCOMPARE(v.notices, (std::vector<Notice>{{LinkMouse::LeftDown, 4, 9}, {LinkMouse::LeftDown, 14, 18}}));
}

void RichTextViewTest::separatorHoldsATabAndDrawsARuleAcrossTheView_data()
{
    QTest::addColumn<bool>("darkDesktop");
    QTest::newRow("light desktop") << false;
    QTest::newRow("dark desktop") << true;
}

// The view keeps its own light page under a dark desktop palette, so the
// rules stand out and nothing else is dark.
void RichTextViewTest::separatorHoldsATabAndDrawsARuleAcrossTheView()
{
    QFETCH(bool, darkDesktop);
    const QPalette desktop = QApplication::palette();
    if (darkDesktop)
        QApplication::setPalette(QPalette(QColor(0xEE, 0xEE, 0xEE), QColor(0x30, 0x30, 0x30)));
    const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
    Viewed v;
    v.view.ShowRendered("one\n\t\ntwo\n\t\nthree\n", {}, {4, 10});
    QCOMPARE(v.view.toPlainText(), QString("one\n\t\ntwo\n\t\nthree\n"));
    QApplication::processEvents();
    const QImage image = v.view.viewport()->grab().toImage();
    const int left = 6;
    const int right = v.view.viewport()->width() - 6;
    int rules = 0;
    for (QTextBlock block = v.view.document()->begin(); block.isValid(); block = block.next()) {
        const QRectF rect = v.view.document()->documentLayout()->blockBoundingRect(block);
        const bool separator = block.text() == "\t";
        QCOMPARE(RuleAt(image, rect, left) && RuleAt(image, rect, right), separator);
        rules += separator ? 1 : 0;
    }
    QCOMPARE(rules, 2);
}

void RichTextViewTest::readOnlyButSelectableAndCopyable()
{
    Viewed v;
    v.view.ShowRendered("see apple and pear", {{4, 9}, {14, 18}}, {});
    v.view.setFocus();
    QTest::keyClicks(&v.view, "typed");
    QTest::keyClick(&v.view, Qt::Key_Delete);
    QCOMPARE(v.view.toPlainText(), QString("see apple and pear"));
    QApplication::clipboard()->clear();
    QTest::keyClick(&v.view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&v.view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QString("see apple and pear"));
}

QTEST_MAIN(RichTextViewTest)
#include "tst_RichTextView.moc"
