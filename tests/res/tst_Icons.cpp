// The icons compiled into the program render through the SVG image plugin,
// crisp at 16 px and at twice that, and show what they are meant to show.
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTest>

namespace {

const char* const IconFiles[] = {
    ":/icons/plug-apart.svg",  ":/icons/plug-seated.svg",    ":/icons/database-grey.svg", ":/icons/database-blue.svg",
    ":/icons/plug-glow-1.svg", ":/icons/plug-glow-2.svg",    ":/icons/plug-glow-3.svg",   ":/icons/quorlex.svg",
    ":/icons/arrow-back.svg",  ":/icons/arrow-forwards.svg",
};

QImage Render(const char* file, int size)
{
    return QIcon(QString::fromLatin1(file)).pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

int OpaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

// Mean x of the warm (orange or yellow) pixels, or -1 when there are none.
double WarmCentreX(const QImage& image)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) > 128 && qRed(p) > 200 && qGreen(p) > 100 && qBlue(p) < 120) {
                sum += x;
                ++count;
            }
        }
    return count ? sum / count : -1;
}

int Difference(const QImage& a, const QImage& b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    return differing;
}

}  // namespace

class TestIcons : public QObject {
    Q_OBJECT
private slots:
    void rendersAtBothSizes_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* file : IconFiles)
            QTest::newRow(file) << QString::fromLatin1(file);
    }

    void rendersAtBothSizes()
    {
        QFETCH(QString, file);
        for (int size : {16, 32}) {
            const QPixmap pixmap = QIcon(file).pixmap(QSize(size, size));
            QVERIFY2(!pixmap.isNull(), qPrintable(QStringLiteral("%1 at %2").arg(file).arg(size)));
            QCOMPARE(pixmap.size(), QSize(size, size));
            // A picture, not an empty square: a good part of it is drawn.
            QVERIFY(OpaquePixels(pixmap.toImage().convertToFormat(QImage::Format_ARGB32)) > size * size / 5);
        }
        const QPixmap twice = QIcon(file).pixmap(QSize(16, 16), 2.0);
        QCOMPARE(twice.deviceIndependentSize().toSize(), QSize(16, 16));
        QCOMPARE(twice.size(), QSize(32, 32));
    }

    void treePicturesAreDistinct()
    {
        for (int i = 0; i < 7; ++i)
            for (int j = i + 1; j < 7; ++j)
                QVERIFY2(Difference(Render(IconFiles[i], 16), Render(IconFiles[j], 16)) > 8,
                         qPrintable(QStringLiteral("%1 and %2").arg(IconFiles[i], IconFiles[j])));
    }

    void glowMovesFromLeftToRight()
    {
        const double left = WarmCentreX(Render(":/icons/plug-glow-1.svg", 32));
        const double joint = WarmCentreX(Render(":/icons/plug-glow-2.svg", 32));
        const double right = WarmCentreX(Render(":/icons/plug-glow-3.svg", 32));
        QVERIFY(left >= 0);
        QVERIFY(WarmCentreX(Render(":/icons/plug-seated.svg", 32)) < 0);
        QVERIFY2(left < 16 && left < joint && joint < right && right > 16,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(left).arg(joint).arg(right)));
    }

    void arrowsAreGreenAndMirrored()
    {
        const QImage back = Render(":/icons/arrow-back.svg", 32);
        const QImage forwards = Render(":/icons/arrow-forwards.svg", 32);
        long red = 0, green = 0, blue = 0;
        int leftHalf = 0, rightHalf = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb p = back.pixel(x, y);
                if (qAlpha(p) <= 128)
                    continue;
                red += qRed(p), green += qGreen(p), blue += qBlue(p);
                // Pixels near the top and bottom edges belong to the arrow head.
                if (y < 8 || y > 23)
                    (x < 16 ? leftHalf : rightHalf) += 1;
            }
        QVERIFY(green > red && green > blue);
        QVERIFY2(leftHalf > rightHalf, "the back arrow's head points left");
        QVERIFY(Difference(back.mirrored(true, false), forwards) < 32 * 32 / 10);
        QVERIFY(Difference(back, forwards) > 32 * 32 / 10);
    }
};

QTEST_MAIN(TestIcons)
#include "tst_Icons.moc"
