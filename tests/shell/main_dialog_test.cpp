/* The main dialog driven through real key and mouse events (offscreen). */
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QFontInfo>
#include <QDialogButtonBox>
#include <QInputMethodEvent>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>

#include "bmp_writer.h"
#include "notice_recorder.h"
#include "platform/application_qt.h"
#include "platform/dialog_qt.h"
#include "platform/message_box_qt.h"
#include "res/resource.h"
#include "shell/main_dialog.h"
#include "test_files.h"

/* Runs `step` once the next modal window (a chooser or a message box) is up. */
static void
WhenModalAppears(std::function<void(QWidget *)> step)
{
	QTimer::singleShot(0, [step] {
		QWidget *modal = nullptr;
		QTRY_VERIFY((modal = QApplication::activeModalWidget()) != nullptr);
		step(modal);
	});
}

static QList<QWidget *>
VisibleTopLevels()
{
	QList<QWidget *> visible;
	for (QWidget *w : QApplication::topLevelWidgets())
		if (w->isVisible())
			visible.append(w);
	return visible;
}

static QMessageBox *
VisibleMessageBox()
{
	for (QWidget *w : QApplication::topLevelWidgets())
		if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
			return box;
	return nullptr;
}

class MainDialogTest : public QObject {
	Q_OBJECT

private:
	WindowHandle handle = nullptr;
	QDialog *dialog = nullptr;
	TempDir *dir = nullptr;
	NoticeRecorder *recorder = nullptr;

	QLineEdit *Field(int id) { return qobject_cast<QLineEdit *>(FromHandle(GetDlgItem(handle, id))); }
	QPushButton *Button(int id) { return qobject_cast<QPushButton *>(FromHandle(GetDlgItem(handle, id))); }
	QWidget *Item(int id) { return qobject_cast<QWidget *>(FromHandle(GetDlgItem(handle, id))); }

	std::string Picture()
	{
		const std::string path = dir->file("in.bmp");
		WriteFile(path, MakeBmp24(1, 1, {0xFF0000}));
		return path;
	}

	void FillPaths(const std::string &input, const std::string &output)
	{
		Field(IDC_INPUT_PATH)->setText(QFile::decodeName(input.c_str()));
		Field(IDC_OUTPUT_PATH)->setText(QFile::decodeName(output.c_str()));
	}

	void ExpectSuccessNotice(const std::string &output)
	{
		QCOMPARE(recorder->notices().size(), size_t(1));
		const RecordedNotice &n = recorder->notices()[0];
		QCOMPARE(QString::fromStdString(n.text), QString::fromStdString(output + " 作成完了"));
		QCOMPARE(n.style, unsigned(MB_OK));
		QCOMPARE(n.owner, handle);
		QCOMPARE(QString::fromStdString(n.caption), QStringLiteral("tilery"));
	}

private slots:
	void init()
	{
		dir = new TempDir;
		recorder = new NoticeRecorder;
		handle = CreateDialogParam(&g_mainDialogTemplate, nullptr, MainDialogProc, 0);
		dialog = qobject_cast<QDialog *>(FromHandle(handle));
		QVERIFY(dialog);
		QApplication::setActiveWindow(dialog);
		QVERIFY(QTest::qWaitForWindowActive(dialog));
	}

	void cleanup()
	{
		DestroyDialog(handle);
		delete recorder;
		delete dir;
		QTRY_VERIFY2(VisibleTopLevels().isEmpty(), "a window was left open");
	}

	void opensAtTopLeftFixedWithFocusInTheInputField()
	{
		QCOMPARE(dialog->windowTitle(), QStringLiteral("tilery"));
		QCOMPARE(dialog->pos(), QPoint(0, 0));
		QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
		QCOMPARE(QApplication::focusWidget(), Item(IDC_INPUT_PATH));
		const QString family = QFontInfo(dialog->font()).family();
		QVERIFY2(QStringList({"MS UI Gothic", "Noto Sans CJK JP", "IPAGothic", "IPAPGothic"}).contains(family),
		         qPrintable(family));
	}

	void tabFollowsTheTemplateOrder()
	{
		const int order[] = {IDC_INPUT_BROWSE, IDC_OUTPUT_PATH, IDC_OUTPUT_BROWSE, IDC_CELL_SIZE, IDC_CONVERT,
		                     IDC_EXIT,         IDC_MAIL,        IDC_LIMIT,         IDC_INPUT_PATH};
		for (int id : order) {
			QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
			QCOMPARE(QApplication::focusWidget(), Item(id));
		}
	}

	void everyTextFitsItsControl()
	{
		for (int i = 0; i < g_mainDialogTemplate.itemCount; i++) {
			const DialogItemTemplate &item = g_mainDialogTemplate.items[i];
			QWidget *widget = Item(item.id);
			const QSize needed = NeededItemSize(item, widget->font(), widget->style());
			QVERIFY2(widget->width() >= needed.width() && widget->height() >= needed.height(),
			         qPrintable(QStringLiteral("%1: %2x%3 needs %4x%5").arg(item.text).arg(widget->width())
			                        .arg(widget->height()).arg(needed.width()).arg(needed.height())));
			QVERIFY(dialog->rect().contains(widget->geometry()));
		}
		/* A picture of the dialog, for people to look at. */
		QVERIFY(dialog->grab().save(QStringLiteral(TILERY_DIALOG_PICTURE)));
	}

	void enterInAnyFieldConverts_data()
	{
		QTest::addColumn<int>("field");
		QTest::newRow("input") << int(IDC_INPUT_PATH);
		QTest::newRow("output") << int(IDC_OUTPUT_PATH);
		QTest::newRow("size") << int(IDC_CELL_SIZE);
	}

	void enterInAnyFieldConverts()
	{
		QFETCH(int, field);
		const std::string output = dir->file("page.html");
		FillPaths(Picture(), output);
		Item(field)->setFocus();
		QTest::keyClick(Item(field), Qt::Key_Return);
		QVERIFY(FileExists(output));
		ExpectSuccessNotice(output);
		QVERIFY(dialog->isVisible());
		QCOMPARE(Field(IDC_OUTPUT_PATH)->text(), QFile::decodeName(output.c_str())); /* fields stay */
	}

	void altOConvertsAndAltXCloses()
	{
		const std::string output = dir->file("ページ.html"); /* names are file-system bytes */
		FillPaths(Picture(), output);
		/* A button's mnemonic presses it visibly: the click comes a moment later. */
		QTest::keyClick(Item(IDC_INPUT_PATH), Qt::Key_O, Qt::AltModifier);
		QTRY_COMPARE(recorder->notices().size(), size_t(1));
		ExpectSuccessNotice(output);
		QTest::keyClick(Item(IDC_INPUT_PATH), Qt::Key_X, Qt::AltModifier);
		QTRY_VERIFY(!dialog->isVisible());
		QCOMPARE(dialog->result(), 0);
	}

	void escapeLeavesTheDialogOpen()
	{
		QTest::keyClick(Item(IDC_INPUT_PATH), Qt::Key_Escape);
		QVERIFY(dialog->isVisible());
		QVERIFY(recorder->notices().empty());
	}

	void mnemonicsMoveTheFocus()
	{
		QTest::keyClick(dialog, Qt::Key_W, Qt::AltModifier);
		QCOMPARE(QApplication::focusWidget(), Item(IDC_OUTPUT_PATH));
		QTest::keyClick(dialog, Qt::Key_S, Qt::AltModifier);
		QCOMPARE(QApplication::focusWidget(), Item(IDC_CELL_SIZE));
		QTest::keyClick(dialog, Qt::Key_R, Qt::AltModifier);
		QCOMPARE(QApplication::focusWidget(), Item(IDC_INPUT_PATH));
	}

	void typingPastALimitIsRefused()
	{
		QLineEdit *size = Field(IDC_CELL_SIZE);
		size->setFocus();
		QTest::keyClicks(size, "123");
		QCOMPARE(size->text(), QStringLiteral("12"));

		for (int id : {IDC_OUTPUT_PATH, IDC_INPUT_PATH}) {
			QLineEdit *path = Field(id);
			path->setFocus();
			path->setText(QString(1020, u'a'));
			QTest::keyClicks(path, "bcd");
			QCOMPARE(QFile::encodeName(path->text()).size(), 1023);
			QTest::keyClicks(path, "e");
			QCOMPARE(QFile::encodeName(path->text()).size(), 1023);
		}
		QLineEdit *input = Field(IDC_INPUT_PATH);

		/* Bytes count, not characters: あ, as an input method commits it, takes three. */
		input->setText(QString(1020, u'a'));
		QInputMethodEvent commit;
		commit.setCommitString(QStringLiteral("あ"));
		QApplication::sendEvent(input, &commit);
		QCOMPARE(QFile::encodeName(input->text()).size(), 1023);
		QApplication::sendEvent(input, &commit);
		QCOMPARE(QFile::encodeName(input->text()).size(), 1023);
		input->setText(QString(1021, u'a'));

		/* A paste that would pass the limit is refused whole, not cut; by
		 * its keys, it is told: the name would be too long. */
		QApplication::clipboard()->setText(QStringLiteral("/tmp/x"));
		input->end(false);
		input->paste();
		QCOMPARE(input->text(), QString(1021, u'a'));
		QVERIFY(recorder->notices().empty());
		input->setFocus();
		QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
		QCOMPARE(input->text(), QString(1021, u'a'));
		QTRY_COMPARE(recorder->notices().size(), size_t(1));
		QCOMPARE(QString::fromStdString(recorder->notices()[0].text), QStringLiteral("ファイル名が長すぎる訳で。"));
		QCOMPARE(recorder->notices()[0].style, unsigned(MB_ICONEXCLAMATION));
		Field(IDC_OUTPUT_PATH)->clear();
		Field(IDC_OUTPUT_PATH)->setFocus();
		Field(IDC_OUTPUT_PATH)->paste();
		QCOMPARE(Field(IDC_OUTPUT_PATH)->text(), QStringLiteral("/tmp/x"));
	}

	/* Text that passes the limit some other way (set by a program here; on
	 * Windows, Shift+Insert) is refused whole: a field of 1034 bytes whose
	 * first 1023 name an existing page never touches that page. */
	void aFieldPastItsLimitIsRefusedAndTouchesNothing()
	{
		std::string folder = dir->path();
		while (folder.size() < 1023 - 250) {
			folder += "/" + std::string(200, 'f');
			QVERIFY(QDir().mkdir(QFile::decodeName(folder.c_str())));
		}
		std::string page = folder + "/";
		page += std::string(1023 - page.size() - 5, 'p') + ".html";
		QCOMPARE(page.size(), size_t(1023));
		WriteFile(page, std::string("old page"));
		for (const bool longPicture : {false, true}) {
			NoticeRecorder fresh;
			FillPaths(longPicture ? page + "x.bmp" : Picture(), longPicture ? Picture() : page + "x.html");
			QTest::keyClick(Field(IDC_OUTPUT_PATH), Qt::Key_Return);
			QCOMPARE(fresh.notices().size(), size_t(1));
			QCOMPARE(QString::fromStdString(fresh.notices()[0].text), QStringLiteral("ファイル名が長すぎる訳で。"));
			QCOMPARE(fresh.notices()[0].owner, handle);
			QCOMPARE(fresh.notices()[0].style, unsigned(MB_ICONEXCLAMATION));
			QCOMPARE(QString::fromStdString(ReadFile(page)), QStringLiteral("old page"));
		}
	}

	void cellSizeIsReadByTheDecimalRule_data()
	{
		QTest::addColumn<QString>("typed");
		QTest::addColumn<int>("cellSize");
		QTest::newRow("empty") << "" << 1;
		QTest::newRow("0") << "0" << 1;
		QTest::newRow("-5") << "-5" << 1;
		QTest::newRow("ab") << "ab" << 1;
		QTest::newRow("07") << "07" << 7;
		QTest::newRow("9x") << "9x" << 9;
		QTest::newRow("space 5") << " 5" << 5;
		QTest::newRow("99") << "99" << 99;
	}

	void cellSizeIsReadByTheDecimalRule()
	{
		QFETCH(QString, typed);
		QFETCH(int, cellSize);
		const std::string output = dir->file("page.html");
		FillPaths(Picture(), output);
		Field(IDC_CELL_SIZE)->setFocus();
		QTest::keyClicks(Field(IDC_CELL_SIZE), typed);
		QTest::keyClick(Field(IDC_CELL_SIZE), Qt::Key_Return);
		const std::string cell = "<TD width=" + std::to_string(cellSize) + " height=" + std::to_string(cellSize) + " ";
		QVERIFY2(ReadFile(output).find(cell) != std::string::npos, ReadFile(output).c_str());
	}

	void emptyPathWarnsAndConvertsNothing_data()
	{
		QTest::addColumn<bool>("withInput");
		QTest::addColumn<bool>("withOutput");
		QTest::newRow("no output") << true << false;
		QTest::newRow("no input") << false << true;
		QTest::newRow("neither") << false << false;
	}

	void emptyPathWarnsAndConvertsNothing()
	{
		QFETCH(bool, withInput);
		QFETCH(bool, withOutput);
		const std::string output = dir->file("page.html");
		FillPaths(withInput ? Picture() : "", withOutput ? output : "");
		QTest::mouseClick(Button(IDC_CONVERT), Qt::LeftButton);
		QCOMPARE(recorder->notices().size(), size_t(1));
		const RecordedNotice &n = recorder->notices()[0];
		QCOMPARE(QString::fromStdString(n.text), QStringLiteral("ファイル名が入力されていない訳で。"));
		QCOMPARE(n.style, unsigned(MB_ICONEXCLAMATION));
		QCOMPARE(n.owner, handle);
		QVERIFY(!FileExists(output));
	}

	void failedConversionShowsOnlyItsOwnNotice()
	{
		const std::string missing = dir->file("missing.bmp");
		FillPaths(missing, dir->file("page.html"));
		QTest::mouseClick(Button(IDC_CONVERT), Qt::LeftButton);
		QCOMPARE(recorder->notices().size(), size_t(1));
		QCOMPARE(QString::fromStdString(recorder->notices()[0].text),
		         QString::fromStdString("ファイルオープン失敗[" + missing + "]"));
		QCOMPARE(recorder->notices()[0].owner, nullptr);
	}

	/* While a conversion's own notice is up the dialog stays usable; a
	 * second Convert then must not start a conversion inside the first. */
	void convertDuringAConversionNoticeIsRefused()
	{
		static QPushButton *convert;
		static int shown;
		convert = Button(IDC_CONVERT);
		shown = 0;
		MessageBoxPresenter previous = SetMessageBoxPresenter(
			[](WindowHandle, const char *, const char *, unsigned) {
				if (shown++ == 0)
					QTest::mouseClick(convert, Qt::LeftButton);
				return int(IDOK);
			});
		FillPaths(dir->file("missing.bmp"), dir->file("page.html"));
		QTest::mouseClick(convert, Qt::LeftButton);
		SetMessageBoxPresenter(previous);
		QCOMPARE(shown, 1);
		QTest::mouseClick(convert, Qt::LeftButton); /* and afterwards it works again */
		QCOMPARE(recorder->notices().size(), size_t(1));
	}

	/* The exit status is the real program's, which the real-X test reads. */
	void closeBoxAndExitEndTheDialog()
	{
		for (int exitButton = 0; exitButton < 2; exitButton++) {
			QTimer::singleShot(0, [this, exitButton] {
				QWidget *main = nullptr;
				auto running = [this] { /* the dialog RunMainDialog made, beside the test's own */
					for (QWidget *w : VisibleTopLevels())
						if (w != dialog && qobject_cast<QDialog *>(w))
							return w;
					return static_cast<QWidget *>(nullptr);
				};
				QTRY_VERIFY((main = running()) != nullptr);
				QCOMPARE(QApplication::activeModalWidget(), nullptr); /* it blocks no other window */
				QTest::keyClick(main, Qt::Key_Escape); /* ignored */
				if (exitButton)
					QTest::mouseClick(main->findChild<QPushButton *>(QStringLiteral("item%1").arg(IDC_EXIT)),
					                  Qt::LeftButton);
				else
					main->close(); /* as the title bar's close box does */
			});
			RunMainDialog(); /* returns once the dialog has closed */
		}
	}

	void inputChooserTakesOnlyAnExistingFile()
	{
		const std::string existing = Picture();
		QLineEdit *input = Field(IDC_INPUT_PATH);
		input->setText(QStringLiteral("before"));
		WhenModalAppears([&](QWidget *modal) {
			auto *chooser = qobject_cast<QFileDialog *>(modal);
			QVERIFY(chooser);
			auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
			QCOMPARE(name->text(), QString()); /* starts with no name */
			name->setText(QFile::decodeName(dir->file("missing.bmp").c_str()));
			bool warned = false;
			WhenModalAppears([&](QWidget *warning) { /* "file not found" */
				warned = qobject_cast<QMessageBox *>(warning) != nullptr;
				QTest::keyClick(warning, Qt::Key_Escape);
			});
			QTest::keyClick(name, Qt::Key_Return);
			QVERIFY(warned);
			QVERIFY(chooser->isVisible()); /* a missing file is not taken */
			name->setText(QFile::decodeName(existing.c_str()));
			QTest::keyClick(name, Qt::Key_Return);
		});
		QTest::mouseClick(Button(IDC_INPUT_BROWSE), Qt::LeftButton);
		QCOMPARE(input->text(), QFile::decodeName(existing.c_str()));
	}

	void outputChooserTakesAnyNameWithoutAskingToOverwrite()
	{
		const std::string existing = Picture();
		for (const std::string &chosen : {dir->file("new.html"), existing}) {
			WhenModalAppears([&](QWidget *modal) {
				auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
				QVERIFY(name);
				QCOMPARE(name->text(), QString());
				name->setText(QFile::decodeName(chosen.c_str()));
				QTest::keyClick(name, Qt::Key_Return);
			});
			QTest::mouseClick(Button(IDC_OUTPUT_BROWSE), Qt::LeftButton);
			QCOMPARE(Field(IDC_OUTPUT_PATH)->text(), QFile::decodeName(chosen.c_str()));
		}
	}

	void cancelledOrOverlongChoiceLeavesTheFieldAlone()
	{
		Field(IDC_INPUT_PATH)->setText(QStringLiteral("in"));
		Field(IDC_OUTPUT_PATH)->setText(QStringLiteral("out"));
		for (int id : {IDC_INPUT_BROWSE, IDC_OUTPUT_BROWSE}) {
			WhenModalAppears([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
			QTest::mouseClick(Button(id), Qt::LeftButton);
		}
		/* A path of 1024 bytes or more does not fit the field. */
		std::string deep = dir->path();
		while (deep.size() < 1100) {
			deep += "/" + std::string(200, 'd');
			QVERIFY(QDir().mkpath(QFile::decodeName(deep.c_str())));
		}
		WhenModalAppears([&](QWidget *modal) {
			auto *name = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
			name->setText(QFile::decodeName((deep + "/page.html").c_str()));
			QTest::keyClick(name, Qt::Key_Return);
		});
		QTest::mouseClick(Button(IDC_OUTPUT_BROWSE), Qt::LeftButton);
		QCOMPARE(Field(IDC_INPUT_PATH)->text(), QStringLiteral("in"));
		QCOMPARE(Field(IDC_OUTPUT_PATH)->text(), QStringLiteral("out"));
	}

	void messageBoxesAreRealAndModalOnlyToTheirOwner()
	{
		bool checked = false;
		WhenModalAppears([&](QWidget *modal) {
			auto *box = qobject_cast<QMessageBox *>(modal);
			QVERIFY(box);
			QCOMPARE(box->windowTitle(), QStringLiteral("tilery"));
			QCOMPARE(box->text(), QStringLiteral("<b>%</b> 作成完了"));
			QCOMPARE(box->icon(), QMessageBox::Warning);
			QCOMPARE(box->parentWidget(), dialog);
			checked = true;
			QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
		});
		QCOMPARE(ShowQtMessageBox(handle, "<b>%</b> 作成完了", "tilery", MB_ICONEXCLAMATION), int(IDOK));
		QVERIFY(checked);

		/* Without an owner nothing is blocked: the dialog keeps working. */
		checked = false;
		QTimer::singleShot(0, [&] {
			QMessageBox *box = nullptr;
			QTRY_VERIFY((box = VisibleMessageBox()) != nullptr);
			QCOMPARE(QApplication::activeModalWidget(), nullptr);
			QCOMPARE(box->icon(), QMessageBox::Critical);
			checked = true;
			QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
		});
		QCOMPARE(ShowQtMessageBox(nullptr, "ファイル書込失敗[/dev/full]", "tilery", MB_ICONERROR), int(IDOK));
		QVERIFY(checked);
	}

	/* Qt's own texts (the choosers') follow the user's language. */
	void toolkitTextsFollowTheUserLanguage()
	{
		QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
		PrepareQtApplication();
		QStringList buttons;
		WhenModalAppears([&](QWidget *modal) {
			for (QAbstractButton *b : modal->findChild<QDialogButtonBox *>()->buttons())
				buttons << b->text();
			QTest::keyClick(modal, Qt::Key_Escape);
		});
		QTest::mouseClick(Button(IDC_INPUT_BROWSE), Qt::LeftButton);
		QLocale::setDefault(QLocale::system());
		QVERIFY2(buttons.join(' ').contains(QStringLiteral("開く")), qPrintable(buttons.join(' ')));
		QCOMPARE(Button(IDC_CONVERT)->text(), QStringLiteral("&OK")); /* the program's own stay */
	}

	/* "メール用" makes the table for a mail, the command-line tool's
	 * --fragment --transparent --width 600 --for-editor, byte for byte, and
	 * puts it on the clipboard as HTML and as text; "上限" in KB is the
	 * tool's --max-bytes, counted as it counts it, for a mail's table or a
	 * page without CSS. The notice then says what the page came to: a
	 * table for a mail as pasted, in a mail 600 pixels wide. */
	void theTableForAMailWithinALimitIsTheToolsAndOnTheClipboard()
	{
		std::vector<uint32_t> rgb(700 * 80);
		for (size_t i = 0; i < rgb.size(); i++)
			rgb[i] = (uint32_t(i % 700 * 3 + i / 700 * 7) & 0xFF) | 0x204000;
		const std::string picture = dir->file("wide.bmp"), page = dir->file("mail.html");
		WriteFile(picture, MakeBmp24(700, 80, rgb));
		for (const bool mail : {true, false}) {
			NoticeRecorder fresh;
			FillPaths(picture, page);
			CheckButton(handle, IDC_MAIL, mail);
			Field(IDC_LIMIT)->setText(QStringLiteral("30"));
			QApplication::clipboard()->clear();
			QTest::keyClick(Field(IDC_LIMIT), Qt::Key_Return);
			const std::string tool = dir->file("tool.html");
			const QString arguments = mail ? QStringLiteral("--fragment --transparent --width 600 --for-editor")
			                               : QStringLiteral("--no-css");
			QCOMPARE(QProcess::execute(TILERY_CLI, QProcess::splitCommand(arguments) + QStringList{"--max-bytes", "30K",
			                                      QString::fromStdString(picture), QString::fromStdString(tool)}),
			         0);
			QVERIFY2(ReadFile(page) == ReadFile(tool), "not the command-line tool's page");
			QCOMPARE(fresh.notices().size(), size_t(1));
			const QStringList lines = QString::fromStdString(fresh.notices()[0].text).split('\n');
			QVERIFY(lines.size() >= 2);
			QCOMPARE(lines[0], QString::fromStdString(page) + " 作成完了");
			for (const QString &line : lines.mid(1))
				QVERIFY2(line.endsWith(u'、') || line.endsWith(u'。'), qPrintable(line)); /* broken between phrases */
			const QString report = lines.mid(1).join(QString());
			QVERIFY2(report.contains(" バイト、PSNR ") && report.contains("、Gmail が切る 102000 バイト以内"),
			         qPrintable(report));
			QVERIFY2(report.contains(mail ? "貼り付け後 " : "幅 700 ピクセルはメールの 600 より広い"), qPrintable(report));
			QVERIFY2(report.contains("幅 600 ピクセルで 600 ピクセルのメールに収まる") == mail, qPrintable(report));
			QCOMPARE(report.contains("クリップボード"), mail);
			const QMimeData *clipboard = QApplication::clipboard()->mimeData();
			if (mail) {
				QVERIFY(clipboard);
				QCOMPARE(clipboard->html(), QString::fromStdString(ReadFile(page)));
				QCOMPARE(clipboard->text(), QString::fromStdString(ReadFile(page)));
			} else {
				QVERIFY(!clipboard || !clipboard->hasHtml());
			}
		}
	}

	/* A page named .eml is a message ready to send, the tool's --message
	 * --transparent --width 600, within 上限 as a whole file; the notice
	 * says what it is for, and nothing goes to the clipboard. */
	void aPageNamedEmlIsAMessageReadyToSend()
	{
		qputenv("SOURCE_DATE_EPOCH", "1765000000"); /* the tool's date and Message-ID, the same */
		std::vector<uint32_t> rgb(700 * 80);
		for (size_t i = 0; i < rgb.size(); i++)
			rgb[i] = (uint32_t(i % 700 * 5 + i / 700 * 3) & 0xFF) | 0x402000;
		const std::string picture = dir->file("wide.bmp"), message = dir->file("mail.eml");
		WriteFile(picture, MakeBmp24(700, 80, rgb));
		NoticeRecorder fresh;
		FillPaths(picture, message);
		CheckButton(handle, IDC_MAIL, true);
		Field(IDC_LIMIT)->setText(QStringLiteral("30"));
		QApplication::clipboard()->clear();
		QTest::keyClick(Field(IDC_OUTPUT_PATH), Qt::Key_Return);
		const std::string tool = dir->file("tool.eml");
		QCOMPARE(QProcess::execute(TILERY_CLI, {"--message", "--transparent", "--width", "600", "--max-bytes", "30K",
		                                        QString::fromStdString(picture), QString::fromStdString(tool)}),
		         0);
		qunsetenv("SOURCE_DATE_EPOCH");
		QVERIFY2(ReadFile(message) == ReadFile(tool), "not the command-line tool's message");
		QVERIFY(ReadFile(message).size() <= 30000);
		QCOMPARE(fresh.notices().size(), size_t(1));
		const QString notice = QString::fromStdString(fresh.notices()[0].text).remove('\n');
		QVERIFY2(notice.contains("メールソフトで開くかそのまま送れるメッセージ") && !notice.contains("クリップボード"),
		         qPrintable(notice));
		const QMimeData *clipboard = QApplication::clipboard()->mimeData();
		QVERIFY(!clipboard || !clipboard->hasHtml());
	}

	void aLimitThatIsNoNumberIsToldAndConvertsNothing_data()
	{
		QTest::addColumn<QString>("typed");
		QTest::newRow("letters") << QStringLiteral("ab");
		QTest::newRow("zero") << QStringLiteral("0");
		QTest::newRow("a sign") << QStringLiteral("-5");
		QTest::newRow("a space") << QStringLiteral(" 5");
	}

	void aLimitThatIsNoNumberIsToldAndConvertsNothing()
	{
		QFETCH(QString, typed);
		const std::string output = dir->file("page.html");
		FillPaths(Picture(), output);
		Field(IDC_LIMIT)->setText(typed);
		QTest::keyClick(Item(IDC_CONVERT), Qt::Key_Space);
		QCOMPARE(recorder->notices().size(), size_t(1));
		QCOMPARE(QString::fromStdString(recorder->notices()[0].text), QStringLiteral("上限は 1 以上の整数 (KB、1 KB は 1000 バイト) で入力する訳で。"));
		QCOMPARE(recorder->notices()[0].style, unsigned(MB_ICONEXCLAMATION));
		QVERIFY(!FileExists(output));
	}

	void theNewControlsHaveTheirMnemonics()
	{
		QTest::keyClick(dialog, Qt::Key_L, Qt::AltModifier);
		QCOMPARE(QApplication::focusWidget(), Item(IDC_LIMIT));
		QTest::keyClick(dialog, Qt::Key_M, Qt::AltModifier);
		QTRY_VERIFY(IsButtonChecked(handle, IDC_MAIL));
		QTest::keyClick(dialog, Qt::Key_M, Qt::AltModifier);
		QTRY_VERIFY(!IsButtonChecked(handle, IDC_MAIL));
	}

	/* While a picture is converted, the caption says how far it has got,
	 * and is "tilery" again at the end. */
	void theCaptionTellsHowFarAConversionHasGot()
	{
		QStringList captions;
		struct Watch : QObject {
			QStringList *captions;
			bool eventFilter(QObject *watched, QEvent *event) override
			{
				if (event->type() == QEvent::WindowTitleChange)
					captions->append(static_cast<QWidget *>(watched)->windowTitle());
				return false;
			}
		} watch;
		watch.captions = &captions;
		dialog->installEventFilter(&watch);
		std::vector<uint32_t> rgb(600 * 600);
		for (size_t i = 0; i < rgb.size(); i++)
			rgb[i] = uint32_t(i * 2654435761u >> 10) & 0x070707;
		const std::string picture = dir->file("noise.bmp");
		WriteFile(picture, MakeBmp24(600, 600, rgb));
		FillPaths(picture, dir->file("page.html"));
		QTest::keyClick(Field(IDC_OUTPUT_PATH), Qt::Key_Return);
		dialog->removeEventFilter(&watch);
		QVERIFY2(captions.size() > 3, qPrintable(captions.join(" | ")));
		QCOMPARE(captions.first(), QStringLiteral("tilery 0%"));
		QVERIFY(captions.contains(QStringLiteral("tilery 100%")));
		QCOMPARE(captions.last(), QStringLiteral("tilery"));
		QCOMPARE(dialog->windowTitle(), QStringLiteral("tilery"));
	}

	/* A path with nowhere to break is wrapped inside the box, and shown whole. */
	void longPathIsWrappedInsideTheNotice()
	{
		const QString path = "/" + QString(1000, u'p') + ".bmp";
		const QString text = "ファイルオープン失敗[" + path + "]";
		bool checked = false;
		QTimer::singleShot(0, [&] {
			QMessageBox *box = nullptr;
			QTRY_VERIFY((box = VisibleMessageBox()) != nullptr);
			QVERIFY2(box->frameGeometry().width() <= box->screen()->availableGeometry().width(),
			         qPrintable(QString::number(box->frameGeometry().width())));
			QString shown = box->text();
			QCOMPARE(shown.remove(QChar(0x200B)), text);
			checked = true;
			QTest::keyClick(box, Qt::Key_Return);
		});
		ShowQtMessageBox(nullptr, text.toUtf8().constData(), "tilery", MB_ICONERROR);
		QVERIFY(checked);
	}

	void withoutADisplayTheProgramSaysWhyAndFails_data()
	{
		QTest::addColumn<QStringList>("arguments");
		QTest::newRow("no arguments") << QStringList();
		/* The toolkit's own options are not taken either. */
		QTest::newRow("-platform offscreen") << QStringList({"-platform", "offscreen"});
	}

	void withoutADisplayTheProgramSaysWhyAndFails()
	{
		QFETCH(QStringList, arguments);
		QProcess program;
		QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
		environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
		environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":9731"));
		environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
		program.setProcessEnvironment(environment);
		program.start(QStringLiteral(TILERY_PROGRAM), arguments);
		QVERIFY(program.waitForFinished(20000));
		QCOMPARE(program.exitStatus(), QProcess::NormalExit);
		QVERIFY(program.exitCode() != 0);
		const QByteArray error = program.readAllStandardError();
		QVERIFY2(error.startsWith("tilery: the dialog cannot be shown: ") && error.count('\n') == 1, error.constData());
	}
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
