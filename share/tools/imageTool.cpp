// Build-time and documentation helper, not installed.
//
//   tidewell-imagetool icon SVG OUTDIR NAME SIZE...
//       renders SVG at each SIZE to OUTDIR/SIZExSIZE/apps/NAME.png (the hicolor theme's layout)
//   tidewell-imagetool grab OUT.png
//       grabs the X screen named by DISPLAY once what it shows has settled, and writes the part that
//       differs from the background colour at the screen's bottom-right corner: the window of a
//       program shown on a bare X server
//
// Exit status 0 on success, 1 when an image cannot be read, grabbed or written, 2 on a usage error.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QThread>

namespace
{
int fail(const QString& text, int status = 1)
{
    QTextStream(stderr) << "tidewell-imagetool: " << text << '\n';
    return status;
}

int renderIcons(const QStringList& args)
{
    if (args.size() < 4)
        return fail(QStringLiteral("usage: icon SVG OUTDIR NAME SIZE..."), 2);
    const QString svg = args[0];
    const QDir out(args[1]);
    const QString name = args[2];
    for (const QString& sizeText : args.mid(3)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        if (!ok || size < 1 || size > 4096)
            return fail(QStringLiteral("not a size: %1").arg(sizeText), 2);
        QImageReader reader(svg);
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (image.isNull())
            return fail(QStringLiteral("%1: could not be read: %2").arg(svg, reader.errorString()));
        const QString sub = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = out.filePath(sub + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!out.mkpath(sub) || !image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG"))
            return fail(QStringLiteral("%1: could not be written").arg(path));
    }
    return 0;
}

/// The part of the screen that differs from the background colour at its bottom-right corner.
QImage shownPart(const QImage& shot)
{
    const QRgb background = shot.pixel(shot.width() - 1, shot.height() - 1);
    QRect box;
    for (int y = 0; y < shot.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if (line[x] != background)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box.isEmpty() ? QImage() : shot.copy(box);
}

int grabScreen(const QStringList& args)
{
    if (args.size() != 1)
        return fail(QStringLiteral("usage: grab OUT.png"), 2);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return fail(QStringLiteral("no screen"));
    // A program that has just started paints in steps: wait until what is shown has stayed the same
    // for a second, at most 30 seconds.
    QImage last;
    int steady = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000 && steady < 4) {
        QThread::msleep(250);
        const QImage now = shownPart(screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32));
        steady = !now.isNull() && now == last ? steady + 1 : 0;
        last = now;
    }
    if (last.isNull())
        return fail(QStringLiteral("nothing is shown on the screen"));
    if (!last.save(args[0], "PNG"))
        return fail(QStringLiteral("%1: could not be written").arg(args[0]));
    QTextStream(stdout) << args[0] << ": " << last.width() << 'x' << last.height() << '\n';
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    // Icons are painted into images and need no display (so the build needs none); the grab needs
    // the X server's.
    if (mode == QLatin1String("icon")) {
        QCoreApplication app(argc, argv);
        return renderIcons(app.arguments().mid(2));
    }
    if (mode == QLatin1String("grab")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        QGuiApplication app(argc, argv);
        return grabScreen(app.arguments().mid(2));
    }
    return fail(QStringLiteral("usage: tidewell-imagetool icon SVG OUTDIR NAME SIZE... | grab OUT.png"), 2);
}
