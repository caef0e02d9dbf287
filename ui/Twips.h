#pragma once

// Window layouts are given in twips (1440 to the inch); converting with the
// screen's logical DPI keeps them right at any display scale.

#include <QPaintDevice>
#include <QRect>
#include <QSize>
#include <QtMath>

inline int TwipsX(const QPaintDevice *device, int twips)
{
    return qRound(twips * device->logicalDpiX() / 1440.0);
}

inline int TwipsY(const QPaintDevice *device, int twips)
{
    return qRound(twips * device->logicalDpiY() / 1440.0);
}

inline QRect TwipsRect(const QPaintDevice *device, int left, int top, int width, int height)
{
    return QRect(TwipsX(device, left), TwipsY(device, top), TwipsX(device, width), TwipsY(device, height));
}

inline QSize TwipsSize(const QPaintDevice *device, int width, int height)
{
    return QSize(TwipsX(device, width), TwipsY(device, height));
}
