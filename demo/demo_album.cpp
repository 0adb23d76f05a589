#include "demo_album.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace gathrix::demo {

namespace {

QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// A range of hills across the picture: a baseline at the given height (a
// fraction of the picture) with two waves on it, filled to the bottom edge.
QPainterPath Hills(int width, int height, double base, double wave, double frequency, double phase) {
    QPainterPath path;
    path.moveTo(0, height);
    for (int x = 0; x <= width; x += 4) {
        const double fx = static_cast<double>(x) / width;
        const double y = base + wave * std::sin(fx * frequency + phase) + wave * 0.4 * std::sin(fx * frequency * 3.7);
        path.lineTo(x, y * height);
    }
    path.lineTo(width, height);
    path.closeSubpath();
    return path;
}

}  // namespace

std::string LandscapeJpeg(int index, int width, int height, int quality) {
    // Each picture: a sky from the time of day, a sun or moon, two ranges of hills.
    const double phase = index * 0.61803398875;
    const double day = 0.5 + 0.5 * std::sin(phase * 6.2831853);

    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, Mix(QColor(13, 13, 51), QColor(51, 115, 230), day));
    sky.setColorAt(1, Mix(QColor(153, 64, 77), QColor(191, 230, 255), day));
    painter.fillRect(image.rect(), sky);

    const QColor sun = Mix(QColor(242, 242, 217), QColor(255, 217, 77), day);
    const QPointF centre(width * (0.15 + 0.7 * std::fmod(phase * 1.7, 1.0)),
                         height * (0.15 + 0.25 * std::fmod(phase * 2.3, 1.0)));
    const double radius = height * 0.08;
    QRadialGradient glow(centre, radius * 2.5);
    glow.setColorAt(0.4, sun);
    glow.setColorAt(0.41, QColor(sun.red(), sun.green(), sun.blue(), 90));
    glow.setColorAt(1, QColor(sun.red(), sun.green(), sun.blue(), 0));
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius * 2.5, radius * 2.5);

    painter.setBrush(Mix(QColor(38, 51, 77), QColor(89, 140, 115), day));
    painter.drawPath(Hills(width, height, 0.58, 0.06, 9.0, phase * 5.0));
    painter.setBrush(Mix(QColor(13, 31, 20), QColor(51, 128, 38), day));
    painter.drawPath(Hills(width, height, 0.76, 0.08, 5.0, phase * 3.0));
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string PicasaAlbumPage(const std::string& title, const std::vector<std::string>& picture_addresses) {
    std::string page =
        "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\">\r\n<title>" + title +
        " - Web Albums</title>\r\n<script type=\"text/javascript\">\r\n"
        "var _user = {\"nickname\":\"Demo\",\"thumbnail\":{\"type\":\"image/jpeg\",\"content$src\":\"/avatar.jpg\"," +
        "\"width\":\"48\"}};\r\n"
        "_initAlbum({feedPreload: {\"feed\":{\"title\":{\"$t\":\"" +
        title + "\"},\"gphoto$numphotos\":" + std::to_string(picture_addresses.size()) + ",\"entry\":[";
    for (std::size_t i = 0; i < picture_addresses.size(); ++i) {
        if (i > 0) page += ",";
        page += "{\"gphoto$id\":\"" + std::to_string(5400000 + i) + "\",\"title\":{\"$t\":\"picture " +
                std::to_string(i + 1) + "\"},\"media$group\":{\"type\":\"image/jpeg\",\"content$src\":\"" +
                picture_addresses[i] + "\",\"width\":\"320\",\"height\":\"240\"}}";
    }
    page +=
        "]}}});\r\n</script></head>\r\n<body><h1>" + title + "</h1><div id=\"lhid_content\"></div></body></html>\r\n";
    return page;
}

}  // namespace gathrix::demo
