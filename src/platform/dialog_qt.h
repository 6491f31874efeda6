#ifndef TILERY_PLATFORM_DIALOG_QT_H
#define TILERY_PLATFORM_DIALOG_QT_H

/* The Qt side of the dialog manager, for the other Qt stand-ins and tests. */

#include <QFont>
#include <QObject>
#include <QRect>
#include <QSize>

#include "platform/dialog.h"

class QStyle;

inline QObject *
FromHandle(WindowHandle window)
{
	return static_cast<QObject *>(window);
}

inline WindowHandle
ToHandle(QObject *object)
{
	return object;
}

/* Pixels per 4 horizontal and per 8 vertical dialog units. */
struct DialogUnits {
	double x, y;
};

QFont DialogFont(const DialogTemplate &dialog);
DialogUnits DialogBaseUnits(const DialogTemplate &dialog, const QFont &font, const QStyle *style);
QRect DialogUnitsToPixels(const DialogUnits &units, int x, int y, int cx, int cy);

/* The room an item's text needs, frame and margins included. */
QSize NeededItemSize(const DialogItemTemplate &item, const QFont &font, const QStyle *style);

#endif
