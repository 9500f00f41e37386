// Renders an SVG icon to a square PNG of the given size, for the icon theme.
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        QTextStream(stderr) << "usage: quorlex_render_icon SVG SIZE PNG\n";
        return 2;
    }
    const int size = QString::fromLocal8Bit(argv[2]).toInt();
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    reader.setScaledSize(QSize(size, size));
    const QImage image = reader.read();
    if (image.isNull() || image.size() != QSize(size, size)) {
        QTextStream(stderr) << argv[1] << ": " << reader.errorString() << "\n";
        return 1;
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        QTextStream(stderr) << argv[3] << ": cannot write\n";
        return 1;
    }
    return 0;
}
