#include "platform/application_qt.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

void
PrepareQtApplication(void)
{
	/* Qt's own choosers on every desktop: the desktops' native ones take a
	 * missing file for one to open, and record what was chosen in HOME. */
	QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

	/* Settings go where no file can be made: the chooser's history, last
	 * folder and view are neither read nor written. */
	for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
		for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
			QSettings::setPath(format, scope, QStringLiteral("/dev/null"));

	auto *translator = new QTranslator(QCoreApplication::instance());
	if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
	                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
		QCoreApplication::installTranslator(translator);
	else
		delete translator;
}
