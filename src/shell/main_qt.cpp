/* tilery: the dialog that turns a BMP picture into an HTML table page. */
#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

#include "page/page_file.h"
#include "platform/application_qt.h"
#include "platform/message_box_qt.h"
#include "shell/main_dialog.h"
#include "system/stop.h"

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
main(int, char **argv)
{
	/* The program takes no command line, the toolkit's options included. */
	int argc = 1;
	char *arguments[] = {argv[0], nullptr};
	/* Stopped by log-out, shutdown or kill, a conversion leaves the old
	 * page as it was and no half page. The threads Qt starts with the
	 * application (its own, GLib's, D-Bus's) never take a stop. */
	OnStop(RemoveUnfinishedPage);
	HoldStops(true);
	qInstallMessageHandler(HoldStartupMessages);
	QApplication application(argc, arguments);
	qInstallMessageHandler(nullptr);
	HoldStops(false);
	QApplication::setWindowIcon(QIcon(QStringLiteral(":/tilery.png")));
	QGuiApplication::setDesktopFileName(QStringLiteral("tilery"));
	PrepareQtApplication();
	SetMessageBoxPresenter(ShowQtMessageBox);
	return RunMainDialog();
}
