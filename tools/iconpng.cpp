// Draws the scalable app icon as a square PNG for the icon theme's fixed-size folders, which tools that
// take no SVG look in: kestrin-iconpng SVG SIZE PNG.
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const int size = args.size() == 4 ? args[2].toInt(&ok) : 0;
    if (!ok || size < 16 || size > 1024) {
        std::fprintf(stderr, "usage: kestrin-iconpng SVG SIZE PNG\n");
        return 2;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "kestrin-iconpng: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (!image.save(args[3], "PNG")) {
        std::fprintf(stderr, "kestrin-iconpng: cannot write %s\n", qPrintable(args[3]));
        return 1;
    }
    return 0;
}
