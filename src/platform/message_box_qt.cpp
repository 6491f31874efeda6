#include "platform/message_box_qt.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QTextBoundaryFinder>

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

/* A box wraps its text only between words, so a long path would run off
 * its right edge: zero-width spaces between the characters of long words
 * let it wrap anywhere there. */
static QString
Wrappable(const QString &text)
{
	constexpr int LONGEST_WORD = 40;
	QString out;
	int wordLength = 0;
	QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
	for (qsizetype start = 0, end; (end = graphemes.toNextBoundary()) > 0; start = end) {
		const QString piece = text.mid(start, end - start);
		wordLength = piece.at(0).isSpace() ? 0 : wordLength + 1;
		if (wordLength > LONGEST_WORD)
			out += QChar(0x200B);
		out += piece;
	}
	return out;
}

int
ShowQtMessageBox(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	QWidget *parent = qobject_cast<QWidget *>(FromHandle(owner));
	QMessageBox box(IconFor(style), QString::fromUtf8(caption), Wrappable(QString::fromUtf8(text)),
	                QMessageBox::Ok, parent);
	box.setTextFormat(Qt::PlainText); /* a path is never markup */
	if (parent) {
		/* Disables its owner only: a conversion's notice stays usable. */
		box.setWindowModality(Qt::WindowModal);
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
