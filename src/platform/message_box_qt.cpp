#include "platform/message_box_qt.h"

#include <QEventLoop>
#include <QMessageBox>

#include "platform/dialog_qt.h"

static QMessageBox::Icon
IconFor(unsigned style)
{
	switch (style & 0xF0) {
	case MB_ICONERROR:
		return QMessageBox::Critical;
	case MB_ICONEXCLAMATION:
		return QMessageBox::Warning;
	default:
		return QMessageBox::NoIcon;
	}
}

int
ShowQtMessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	QWidget *parent = qobject_cast<QWidget *>(FromHandle(owner));
	QMessageBox box(IconFor(style), QString::fromUtf8(caption), QString::fromUtf8(text), QMessageBox::Ok, parent);
	box.setTextFormat(Qt::PlainText); /* a path is never markup */
	if (parent) {
		box.exec();
	} else {
		box.setWindowModality(Qt::NonModal);
		QEventLoop loop;
		QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
		box.show();
		loop.exec();
	}
	return IDOK;
}
