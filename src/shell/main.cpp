/* tilery: the dialog that turns a BMP picture into an HTML table page. */
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "platform/message_box_qt.h"
#include "shell/main_dialog.h"

/* Until the application stands, Qt's complaints are held back: when it
 * cannot start (no display, say), one line says why and the program ends. */
static QByteArray g_lastComplaint;

static void
HoldStartupMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
	const QByteArray line = message.section(QLatin1Char('\n'), 0, 0).trimmed().toUtf8();
	if (type == QtFatalMsg) {
		std::fprintf(stderr, "tilery: the dialog cannot be shown: %s\n",
		             (g_lastComplaint.isEmpty() ? line : g_lastComplaint).constData());
		std::fflush(stderr);
		std::_Exit(1);
	}
	if (type != QtDebugMsg && type != QtInfoMsg)
		g_lastComplaint = line;
}

int
main(int argc, char **argv)
{
	qInstallMessageHandler(HoldStartupMessages);
	QApplication application(argc, argv);
	qInstallMessageHandler(nullptr);
	SetMessageBoxPresenter(ShowQtMessageBox);
	return RunMainDialog();
}
