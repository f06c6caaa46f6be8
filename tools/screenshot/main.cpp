// Saves a picture of the X display once something has been drawn on it and
// the picture has stopped changing: tolka-screenshot <file.png> [timeout-ms]
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QThread>

#include <cstdio>

namespace {
bool hasContent(const QImage &image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}
// Without a window manager the application's window sits on a bare root
// window; crop to what differs from the root's colour in the far corner.
QImage cropToWindows(const QImage &image)
{
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box.isValid() ? image.copy(box) : image;
}
} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tolka-screenshot <file.png> [timeout-ms]\n");
        return 2;
    }
    const int timeout = argc > 2 ? QByteArray(argv[2]).toInt() : 15000;
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "tolka-screenshot: no screen\n");
        return 1;
    }
    QDeadlineTimer deadline(timeout);
    QImage previous;
    QImage shot;
    while (!deadline.hasExpired()) {
        shot = screen->grabWindow(0).toImage();
        if (hasContent(shot) && shot == previous)
            break;
        previous = shot;
        QThread::msleep(400);
    }
    if (hasContent(shot))
        shot = cropToWindows(shot);
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "tolka-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return hasContent(shot) ? 0 : 3;
}
