#include "Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

QPixmap SvgPixmap(const QString &resource, QSize size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(resource);
    QImage image(QSize(int(std::ceil(size.width() * devicePixelRatio)), int(std::ceil(size.height() * devicePixelRatio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return QPixmap::fromImage(image);
}

QIcon SvgIcon(const QString &resource, QSize size)
{
    QIcon icon;
    const qreal screenRatio = qApp ? qApp->devicePixelRatio() : 1.0;
    icon.addPixmap(SvgPixmap(resource, size, 1.0));
    icon.addPixmap(SvgPixmap(resource, size, 2.0));
    if (screenRatio != 1.0 && screenRatio != 2.0) // each picture drawn once
        icon.addPixmap(SvgPixmap(resource, size, screenRatio));
    return icon;
}
