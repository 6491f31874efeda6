/* The dialog manager on Qt Widgets: a QDialog laid out from the template,
 * whose signals and events become messages to the dialog procedure. */
#include "platform/dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QValidator>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dialog_qt.h"

namespace {

/* An edit field takes at most `limit` bytes of file-name encoding; an edit
 * that would pass it is refused whole, as typed or pasted, never cut. */
class ByteLimitValidator : public QValidator {
public:
	explicit ByteLimitValidator(QObject *parent) : QValidator(parent) {}
	qsizetype limit = 0x7FFFFFFE;

	State validate(QString &input, int &) const override
	{
		return QFile::encodeName(input).size() <= limit ? Acceptable : Invalid;
	}
};

class TemplateDialog : public QDialog {
public:
	TemplateDialog(const DialogTemplate &t, QWidget *owner, DialogProc proc)
		: QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
		                     ((t.style & WS_SYSMENU) ? Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
		                                             : Qt::WindowFlags())),
		  proc_(proc)
	{
	}

	intptr_t Send(unsigned message, WPARAM wParam, LPARAM lParam)
	{
		return proc_(ToHandle(this), message, wParam, lParam);
	}

	void Command(int id, unsigned code, QObject *from)
	{
		Send(WM_COMMAND, WPARAM(unsigned(id) & 0xFFFF) | WPARAM(code) << 16, LPARAM(from));
	}

	std::vector<std::pair<int, QWidget *>> items;

protected:
	/* Esc is the cancel command, which the procedure may ignore. */
	void reject() override { Command(IDCANCEL, BN_CLICKED, nullptr); }

	/* A paste that would take an edit field past its limit is refused
	 * whole and told to the procedure, as Windows's edit fields do. */
	bool eventFilter(QObject *watched, QEvent *event) override
	{
		auto *edit = qobject_cast<QLineEdit *>(watched);
		if (!edit || event->type() != QEvent::KeyPress || !static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste))
			return QDialog::eventFilter(watched, event);
		QString after = edit->text();
		const int at = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
		after.replace(at, edit->selectedText().size(), QApplication::clipboard()->text());
		const auto *limit = dynamic_cast<const ByteLimitValidator *>(edit->validator());
		if (!limit || QFile::encodeName(after).size() <= limit->limit)
			return false;
		for (auto &[id, widget] : items)
			if (widget == edit)
				QMetaObject::invokeMethod(this, [this, id = id, edit] { Command(id, EN_MAXTEXT, edit); },
				                          Qt::QueuedConnection);
		return true;
	}

	/* The close box asks the procedure, which ends the dialog or not. */
	void closeEvent(QCloseEvent *event) override
	{
		event->ignore();
		Send(WM_CLOSE, 0, 0);
	}

private:
	DialogProc proc_;
};

TemplateDialog *
AsDialog(WindowHandle window)
{
	return dynamic_cast<TemplateDialog *>(FromHandle(window));
}

QString
VisibleText(const char *text)
{
	QString visible = QString::fromUtf8(text);
	for (qsizetype i = 0; i < visible.size(); i++)
		if (visible[i] == u'&')
			visible.remove(i, 1); /* "&&" leaves one & behind */
	return visible;
}

} // namespace

QFont
DialogFont(const DialogTemplate &t)
{
	QFont font(QString::fromUtf8(t.fontName));
	/* Where the template's font is missing, a Japanese sans-serif face. */
	font.setFamilies({QString::fromUtf8(t.fontName), QStringLiteral("Noto Sans CJK JP"),
	                  QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("sans-serif")});
	font.setPointSize(t.fontPointSize);
	return font;
}

QSize
NeededItemSize(const DialogItemTemplate &item, const QFont &font, const QStyle *style)
{
	const QFontMetrics metrics(font);
	const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
	const int textWidth = metrics.horizontalAdvance(VisibleText(item.text));
	if (std::strcmp(item.className, "button") == 0 && (item.style & BS_TYPEMASK) == BS_AUTOCHECKBOX)
		return QSize(style->pixelMetric(QStyle::PM_IndicatorWidth) + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) +
		                     textWidth,
		             std::max(metrics.height(), style->pixelMetric(QStyle::PM_IndicatorHeight)));
	if (std::strcmp(item.className, "button") == 0)
		return QSize(textWidth + 2 * (style->pixelMetric(QStyle::PM_ButtonMargin) + frame),
		             metrics.height() + 2 * frame);
	if (std::strcmp(item.className, "edit") == 0)
		return QSize(textWidth + 2 * frame, metrics.height() + 2 * frame);
	return QSize(textWidth, metrics.height());
}

/* Dialog units become pixels as the Windows dialog manager makes them: x
 * from a quarter of the average character width, y from an eighth of the
 * font height. Linux fonts are wider than the template's, so the units grow,
 * both by the same factor, until every text fits its control. */
DialogUnits
DialogBaseUnits(const DialogTemplate &t, const QFont &font, const QStyle *style)
{
	const QFontMetrics metrics(font);
	const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
	DialogUnits units{metrics.horizontalAdvance(alphabet) / 52.0, double(metrics.height())};
	double grow = 1.0;
	for (int i = 0; i < t.itemCount; i++) {
		const DialogItemTemplate &item = t.items[i];
		const QSize needed = NeededItemSize(item, font, style);
		/* One pixel to spare, for rounding the edges to whole pixels. */
		grow = std::max(grow, (needed.width() + 1) / (item.cx * units.x / 4));
		grow = std::max(grow, (needed.height() + 1) / (item.cy * units.y / 8));
	}
	units.x *= grow;
	units.y *= grow;
	return units;
}

QRect
DialogUnitsToPixels(const DialogUnits &units, int x, int y, int cx, int cy)
{
	const int left = int(std::lround(x * units.x / 4)), top = int(std::lround(y * units.y / 8));
	return QRect(left, top, int(std::lround((x + cx) * units.x / 4)) - left,
	             int(std::lround((y + cy) * units.y / 8)) - top);
}

/* Lays the dialog out and lets the procedure prepare it; not shown yet. */
static TemplateDialog *
BuildDialog(const DialogTemplate *t, WindowHandle owner, DialogProc proc, LPARAM param)
{
	if (!qApp)
		return nullptr;
	auto *dialog = new TemplateDialog(*t, qobject_cast<QWidget *>(FromHandle(owner)), proc);
	dialog->setWindowTitle(QString::fromUtf8(t->caption));
	const QFont font = DialogFont(*t);
	dialog->setFont(font);
	const DialogUnits units = DialogBaseUnits(*t, font, dialog->style());

	QWidget *previousStop = nullptr;
	QLabel *pendingLabel = nullptr;
	for (int i = 0; i < t->itemCount; i++) {
		const DialogItemTemplate &item = t->items[i];
		const QString text = QString::fromUtf8(item.text);
		QWidget *widget;
		if (std::strcmp(item.className, "edit") == 0) {
			auto *edit = new QLineEdit(text, dialog);
			edit->setValidator(new ByteLimitValidator(edit));
			edit->installEventFilter(dialog);
			edit->setFrame(item.style & WS_BORDER);
			QObject::connect(edit, &QLineEdit::textChanged, dialog,
			                 [dialog, edit, id = item.id] { dialog->Command(id, EN_CHANGE, edit); });
			widget = edit;
		} else if (std::strcmp(item.className, "button") == 0 && (item.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
			auto *box = new QCheckBox(text, dialog);
			QObject::connect(box, &QCheckBox::clicked, dialog,
			                 [dialog, box, id = item.id] { dialog->Command(id, BN_CLICKED, box); });
			widget = box;
		} else if (std::strcmp(item.className, "button") == 0) {
			auto *button = new QPushButton(text, dialog);
			button->setDefault(item.style & BS_DEFPUSHBUTTON);
			QObject::connect(button, &QPushButton::clicked, dialog,
			                 [dialog, button, id = item.id] { dialog->Command(id, BN_CLICKED, button); });
			widget = button;
		} else {
			auto *label = new QLabel(text, dialog);
			label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
			widget = label;
		}
		widget->setObjectName(QStringLiteral("item%1").arg(item.id));
		widget->setGeometry(DialogUnitsToPixels(units, item.x, item.y, item.cx, item.cy));
		widget->setFocusPolicy(item.style & WS_TABSTOP ? Qt::StrongFocus : Qt::NoFocus);
		/* A label's mnemonic leads to the control after it. */
		if (pendingLabel) {
			pendingLabel->setBuddy(widget);
			pendingLabel = nullptr;
		}
		if (auto *label = qobject_cast<QLabel *>(widget))
			pendingLabel = label;
		if (item.style & WS_TABSTOP) {
			if (previousStop)
				QWidget::setTabOrder(previousStop, widget);
			previousStop = widget;
		}
		dialog->items.emplace_back(item.id, widget);
	}

	const QRect client = DialogUnitsToPixels(units, 0, 0, t->cx, t->cy);
	dialog->setFixedSize(client.size());
	dialog->move(DialogUnitsToPixels(units, t->x, t->y, 0, 0).topLeft());

	if (dialog->Send(WM_INITDIALOG, 0, param)) {
		for (auto &[id, widget] : dialog->items) {
			if (widget->focusPolicy() != Qt::NoFocus) {
				widget->setFocus();
				break;
			}
		}
	}
	return dialog;
}

WindowHandle
CreateDialogParam(const DialogTemplate *t, WindowHandle owner, DialogProc proc, LPARAM param)
{
	TemplateDialog *dialog = BuildDialog(t, owner, proc, param);
	if (!dialog)
		return nullptr;
	dialog->show();
	return ToHandle(dialog);
}

void
DestroyDialog(WindowHandle window)
{
	delete AsDialog(window);
}

/* A dialog without an owner disables no window, as the platform's modal
 * loop does: QDialog::exec would make it application-modal and so block
 * the conversion's ownerless notices. */
intptr_t
DialogBoxParam(const DialogTemplate *t, WindowHandle owner, DialogProc proc, LPARAM param)
{
	QPointer<TemplateDialog> dialog = BuildDialog(t, owner, proc, param);
	if (!dialog)
		return -1;
	dialog->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
	QEventLoop loop;
	QObject::connect(dialog.data(), &QDialog::finished, &loop, &QEventLoop::quit);
	dialog->show();
	loop.exec(QEventLoop::DialogExec);
	const int result = dialog ? dialog->result() : -1;
	delete dialog.data();
	return result;
}

void
EndDialog(WindowHandle window, intptr_t result)
{
	if (TemplateDialog *dialog = AsDialog(window))
		dialog->done(int(result));
}

WindowHandle
GetDlgItem(WindowHandle window, int id)
{
	if (TemplateDialog *dialog = AsDialog(window))
		for (auto &[itemId, widget] : dialog->items)
			if (itemId == id)
				return ToHandle(widget);
	return nullptr;
}

static QByteArray
TextOf(WindowHandle window)
{
	QObject *object = FromHandle(window);
	QString value;
	if (auto *edit = qobject_cast<QLineEdit *>(object))
		value = edit->text();
	else if (auto *button = qobject_cast<QAbstractButton *>(object))
		value = button->text();
	else if (auto *label = qobject_cast<QLabel *>(object))
		value = label->text();
	else if (auto *widget = qobject_cast<QWidget *>(object))
		value = widget->windowTitle();
	return QFile::encodeName(value);
}

int
GetWindowTextLength(WindowHandle window)
{
	return int(std::min<qsizetype>(TextOf(window).size(), INT_MAX));
}

int
GetWindowText(WindowHandle window, char *text, int size)
{
	if (size <= 0)
		return 0;
	const QByteArray bytes = TextOf(window);
	const int length = int(std::min<qsizetype>(bytes.size(), size - 1));
	std::memcpy(text, bytes.constData(), size_t(length));
	text[length] = '\0';
	return length;
}

bool
SetWindowText(WindowHandle window, const char *text)
{
	QObject *object = FromHandle(window);
	const QString value = QFile::decodeName(text);
	if (auto *edit = qobject_cast<QLineEdit *>(object))
		edit->setText(value);
	else if (auto *button = qobject_cast<QAbstractButton *>(object))
		button->setText(value);
	else if (auto *label = qobject_cast<QLabel *>(object))
		label->setText(value);
	else if (auto *widget = qobject_cast<QWidget *>(object))
		widget->setWindowTitle(value);
	else
		return false;
	return true;
}

intptr_t
SendMessage(WindowHandle window, unsigned message, WPARAM wParam, LPARAM lParam)
{
	if (TemplateDialog *dialog = AsDialog(window))
		return dialog->Send(message, wParam, lParam);
	if (message == EM_LIMITTEXT) {
		if (auto *edit = qobject_cast<QLineEdit *>(FromHandle(window)))
			for (QValidator *validator : edit->findChildren<QValidator *>())
				if (auto *byteLimit = dynamic_cast<ByteLimitValidator *>(validator))
					byteLimit->limit = wParam ? qsizetype(wParam) : 0x7FFFFFFE;
		return 0;
	}
	return 0;
}

void
SetDialogFocus(WindowHandle dialog, int id)
{
	auto *widget = qobject_cast<QWidget *>(FromHandle(GetDlgItem(dialog, id)));
	if (!widget)
		return;
	widget->setFocus(Qt::TabFocusReason);
	if (auto *edit = qobject_cast<QLineEdit *>(widget))
		edit->selectAll();
}

bool
IsButtonChecked(WindowHandle dialog, int id)
{
	auto *box = qobject_cast<QCheckBox *>(FromHandle(GetDlgItem(dialog, id)));
	return box && box->isChecked();
}

void
CheckButton(WindowHandle dialog, int id, bool checked)
{
	if (auto *box = qobject_cast<QCheckBox *>(FromHandle(GetDlgItem(dialog, id))))
		box->setChecked(checked);
}

/* Linux desktops have no one place for it: the caption says it. */
void
ShowWindowProgress(WindowHandle, int)
{
}

void
MessageBeep(void)
{
	QApplication::beep();
}

/* Input waits until the command is done. */
void
UpdateWindows(void)
{
	QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
