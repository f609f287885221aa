// wordpop-icons: draws Wordpop's icons for the desktop's icon theme at build time.
// The application icon is rendered from its SVG; the two tray icons come from the very code
// that draws them at run time, so the files the theme holds never drift from what the tray shows.
//   wordpop-icons <wordpop.svg> <theme folder>
// writes <theme>/<N>x<N>/apps/wordpop.png and <theme>/<N>x<N>/status/wordpop-lessons-{on,off}.png.
#include "platform/Tray.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

bool save(const QImage &image, const QString &folder, const QString &name)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "wordpop-icons: cannot make %s\n", qPrintable(folder));
        return false;
    }
    const QString file = folder + QLatin1Char('/') + name;
    if (!image.save(file, "PNG")) {
        std::fprintf(stderr, "wordpop-icons: cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // No display is needed to paint into images.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: wordpop-icons <wordpop.svg> <theme folder>\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "wordpop-icons: %s is not a readable SVG\n", argv[1]);
        return 1;
    }
    const QString theme = QString::fromLocal8Bit(argv[2]);
    auto sizeFolder = [&](int n, const char *context) {
        return QStringLiteral("%1/%2x%2/%3").arg(theme).arg(n).arg(QLatin1String(context));
    };

    for (int n : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QImage image(n, n, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p, QRectF(0, 0, n, n));
        p.end();
        if (!save(image, sizeFolder(n, "apps"), QStringLiteral("wordpop.png")))
            return 1;
    }

    // The tray draws these sizes; each is saved as it draws it, not scaled from another.
    const struct {
        QIcon icon;
        const char *name;
    } status[] = {{TrayIcons::lessonsOn(), "wordpop-lessons-on.png"},
                  {TrayIcons::lessonsOff(), "wordpop-lessons-off.png"}};
    for (const auto &s : status) {
        for (const QSize &size : s.icon.availableSizes()) {
            const QImage image = s.icon.pixmap(size).toImage();
            if (image.size() != size || size.width() != size.height()) {
                std::fprintf(stderr, "wordpop-icons: the tray icon came out %dx%d for %dx%d\n",
                             image.width(), image.height(), size.width(), size.height());
                return 1;
            }
            if (!save(image, sizeFolder(size.width(), "status"), QLatin1String(s.name)))
                return 1;
        }
    }
    return 0;
}
