#include "platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

/* The program keeps the clipboard's text on X11 while it runs; a desktop's
 * clipboard keeper takes it over when it ends. */
bool
PutHtmlOnClipboard(WindowHandle, const char *html, size_t length)
{
	QClipboard *clipboard = QGuiApplication::clipboard();
	if (!clipboard)
		return false;
	const QString text = QString::fromUtf8(html, qsizetype(length));
	auto *data = new QMimeData;
	data->setHtml(text);
	data->setText(text);
	clipboard->setMimeData(data);
	return true;
}
