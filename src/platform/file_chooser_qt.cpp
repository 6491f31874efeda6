#include "platform/file_chooser.h"

#include <QFile>
#include <QFileDialog>

#include <cstring>

#include "platform/application_qt.h"
#include "platform/dialog_qt.h"

/* Qt's own chooser on every desktop (see PrepareQtApplication), modal to
 * its owner only. */
static bool
Choose(OpenFileName *choice, QFileDialog::AcceptMode mode)
{
	QFileDialog chooser(qobject_cast<QWidget *>(FromHandle(choice->owner)));
	chooser.setOption(QFileDialog::DontUseNativeDialog);
	chooser.setWindowModality(Qt::WindowModal);
	chooser.setAcceptMode(mode);
	chooser.setFileMode(choice->flags & OFN_FILEMUSTEXIST ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
	chooser.setOption(QFileDialog::DontConfirmOverwrite, !(choice->flags & OFN_OVERWRITEPROMPT));
	if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
		return false;
	const QByteArray path = QFile::encodeName(chooser.selectedFiles().first());
	if (path.isEmpty() || uint64_t(path.size()) + 1 > choice->maxFile)
		return false;
	std::memcpy(choice->file, path.constData(), size_t(path.size()) + 1);
	return true;
}

bool
GetOpenFileName(OpenFileName *choice)
{
	return Choose(choice, QFileDialog::AcceptOpen);
}

bool
GetSaveFileName(OpenFileName *choice)
{
	return Choose(choice, QFileDialog::AcceptSave);
}
