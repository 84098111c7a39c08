// The window as the user meets it: controls, the save-mode pair, copying, closing, opening.

#include "app/publisher.h"
#include "app/resultplace.h"
#include "harness.h"
#include "xlsxreader.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QOperatingSystemVersion>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>

using namespace Qt::StringLiterals;

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void freshWindow()
    {
        Harness h;
        Form8 &f = *h.form;
        QCOMPARE(f.size(), QSize(730, 334));
        QCOMPARE(f.Text2Edit->text(), u"软件站"_s);
        QCOMPARE(f.Combo1->currentText(), u"0"_s);
        QVERIFY(f.Check3->isChecked());
        QVERIFY(!f.Check2->isChecked());
        QVERIFY(!f.Check1->isChecked());
        QCOMPARE(f.Label4->text(), QString());
        QCOMPARE(f.List3->count(), 0);
        QCOMPARE(f.Command1->text(), u"开始采集"_s);
        QCOMPARE(f.Command5->text(), u"查看保存结果"_s);
        QCOMPARE(f.Command6->text(), u"访问官网"_s);
        QCOMPARE(h.miner().Label3, u"-1"_s);
        QCOMPARE(h.miner().Text1, u"0"_s);
        QVERIFY(!h.miner().Timer1.isActive());
        QCOMPARE(h.miner().Timer1.interval(), 10);
        QCOMPARE(h.miner().List1.ListCount(), 0);
        QCOMPARE(h.miner().List2.ListIndex(), -1);
        QVERIFY(f.windowTitle().startsWith(u"Tailspade      "_s)); // six blanks
        QVERIFY(f.Image39->toolTip() ==
                u"查询完成后软件自动保存结果，请点[查看保存结果]按钮查看"_s);
        QVERIFY(
            f.Label9->text().startsWith(u"长尾关键词解释："_s + QString(25, u' ') + u"网站上"_s));
        QVERIFY(f.Label9->text().endsWith(u"范围广。\r\n"_s));
        QCOMPARE(f.Command1->cursor().hotSpot(), QPoint(6, 0));
        QCOMPARE(f.Command5->cursor().pixmap().size(), QSize(32, 32));
        QCOMPARE(f.Label13->palette().color(QPalette::WindowText), QColor(192, 192, 192));
        const QSize iconSizes[] = {{48, 48}, {32, 32}, {24, 24}, {16, 16}};
        for (const QSize &s : iconSizes)
            QVERIFY(f.windowIcon().availableSizes().contains(s));
    }

    void comboEntries()
    {
        Harness h;
        QStringList entries;
        for (int i = 0; i < h.form->Combo1->count(); ++i)
            entries << h.form->Combo1->itemText(i);
        QCOMPARE(entries, (QStringList{u"0"_s,   u"10"_s,  u"20"_s,  u"30"_s,  u"40"_s,  u"50"_s,
                                       u"60"_s,  u"70"_s,  u"80"_s,  u"90"_s,  u"100"_s, u"150"_s,
                                       u"200"_s, u"300"_s, u"400"_s, u"500"_s, u"600"_s, u"700"_s,
                                       u"800"_s, u"900"_s, u"1000"_s}));
    }

    void comboTakesTypedTextAsItStands_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("not in the list") << u"35"_s;
        QTest::newRow("prefix of 150") << u"15"_s;
        QTest::newRow("prefix of 100") << u"1"_s;
        QTest::newRow("letters") << u"abc"_s;
    }
    void comboTakesTypedTextAsItStands()
    {
        QFETCH(QString, typed);
        Harness h;
        QLineEdit *edit = h.form->Combo1->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);
        QCOMPARE(h.form->Combo1Text(), typed);
        QTest::keyClick(edit, Qt::Key_Return); // starts a run, and adds nothing to the list
        QCOMPARE(h.form->Combo1Text(), typed);
        QCOMPARE(h.form->Combo1->count(), 21);
        h.miner().abandon();
    }

    void placesInPixels_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("Text2") << u"Text2"_s << QRect(112, 8, 217, 27);
        QTest::newRow("Command1") << u"Command1"_s << QRect(344, 8, 97, 25);
        QTest::newRow("Command6") << u"Command6"_s << QRect(616, 8, 97, 25);
        QTest::newRow("Command5") << u"Command5"_s << QRect(464, 248, 105, 25);
        QTest::newRow("Check1") << u"Check1"_s << QRect(30, 48, 17, 12);
        QTest::newRow("Check3") << u"Check3"_s << QRect(152, 48, 17, 12);
        QTest::newRow("Check2") << u"Check2"_s << QRect(229, 48, 17, 12);
        QTest::newRow("Combo1") << u"Combo1"_s << QRect(344, 40, 49, 20);
        QTest::newRow("List3") << u"List3"_s << QRect(8, 80, 449, 160);
        QTest::newRow("Frame1") << u"Frame1"_s << QRect(200, 208, 225, 17);
        QTest::newRow("Label9") << u"Label9"_s << QRect(496, 88, 225, 145);
        QTest::newRow("Frame2") << u"Frame2"_s << QRect(0, 280, 729, 49);
        QTest::newRow("WebBrowser1") << u"WebBrowser1"_s << QRect(-8, -8, 809, 81);
        QTest::newRow("Image39") << u"Image39"_s << QRect(0, 0, 745, 335);
    }
    void placesInPixels()
    {
        QFETCH(QString, control);
        QFETCH(QRect, expected);
        Harness h;
        const QHash<QString, QWidget *> byName = {{u"Text2"_s, h.form->Text2Edit},
                                                  {u"Command1"_s, h.form->Command1},
                                                  {u"Command6"_s, h.form->Command6},
                                                  {u"Command5"_s, h.form->Command5},
                                                  {u"Check1"_s, h.form->Check1},
                                                  {u"Check3"_s, h.form->Check3},
                                                  {u"Check2"_s, h.form->Check2},
                                                  {u"Combo1"_s, h.form->Combo1},
                                                  {u"List3"_s, h.form->List3},
                                                  {u"Frame1"_s, h.form->Frame1},
                                                  {u"Label9"_s, h.form->Label9},
                                                  {u"Frame2"_s, h.form->Frame2},
                                                  {u"WebBrowser1"_s, h.form->WebBrowser1},
                                                  {u"Image39"_s, h.form->Image39}};
        QCOMPARE(byName.value(control)->geometry(), expected);
    }

    // The labels that fit their text hold it whole in the font they are drawn in (the window's,
    // which is not the default one they were made in).
    void labelsHoldTheirWholeText()
    {
        Harness h;
        for (const QLabel *l : {h.form->Label7, h.form->Label10, h.form->Label11, h.form->Label12,
                                h.form->Label8, h.form->Label13})
            QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()),
                     qPrintable(l->text()));
    }

    void stackingKeepsWindowedControlsInFront()
    {
        Harness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        // Frame1 lies over the lower part of the result list; the picture lies behind all.
        QCOMPARE(h.form->childAt(QPoint(300, 215)), h.form->Frame1);
        QVERIFY(h.form->childAt(QPoint(100, 120)) != h.form->Image39);
        QCOMPARE(h.form->childAt(QPoint(600, 270)), h.form->Image39);
    }

    void saveModePairStaysOpposite()
    {
        Harness h;
        Form8 &f = *h.form;
        const auto opposite = [&] { return f.Check2->isChecked() != f.Check3->isChecked(); };
        QTest::mouseClick(f.Check2, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(f.Check2->isChecked() && opposite());
        QTest::mouseClick(f.Check2, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!f.Check2->isChecked() && opposite());
        QTest::mouseClick(f.Check3, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!f.Check3->isChecked() && f.Check2->isChecked());
        f.setCheck3Value(1);
        QVERIFY(f.Check3->isChecked() && opposite());
        f.setCheck3Value(1); // the value it holds: nothing moves
        QVERIFY(f.Check3->isChecked() && opposite());
        f.setCheck2Value(1);
        QVERIFY(f.Check2->isChecked() && opposite());
        f.setCheck2Value(0);
        QVERIFY(f.Check3->isChecked() && opposite());
    }

    void saveLocationText_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QString>("expected");
        const QString sep = QDir::separator();
        QTest::newRow("ordinary directory")
            << u"/opt/tailspade"_s
            << u"结果保存在："_s + QDir::toNativeSeparators(u"/opt/tailspade"_s) + sep +
                   u"Keywords"_s + sep + u" "_s;
        QTest::newRow("root keeps the doubled separator")
            << u"/"_s
            << u"结果保存在："_s + QDir::toNativeSeparators(u"/"_s) + sep + u"Keywords"_s + sep +
                   u" "_s;
        const QString deep =
            u"/home/user/<u>Tools</u>/"_s + QString(u"很长的文件夹名/"_s).repeated(12) + u"x"_s;
        QTest::newRow("long path") << deep
                                   << u"结果保存在："_s + QDir::toNativeSeparators(deep) + sep +
                                          u"Keywords"_s + sep + u" "_s;
    }
    void saveLocationText()
    {
        QFETCH(QString, programDir);
        QFETCH(QString, expected);
        RecordingDesktop desktop;
        Form8Options options;
        options.withBrowser = false;
        options.desktop = &desktop;
        options.miner.programDir = programDir;
        Form8 form(std::move(options));
        QCOMPARE(form.Label6->text(), expected);
        QVERIFY(!QFileInfo::exists(programDir + u"/Keywords"_s) || programDir == u"/"_s);
        // A long path is shortened in its middle, short of the button beside it; the tool tip
        // holds it whole.
        QVERIFY(form.Label6->geometry().right() < form.Command5->x());
        QCOMPARE(form.Label6->isElided(), QTest::currentDataTag() == QByteArray("long path"));
        QCOMPARE(form.Label6->toolTip(),
                 form.Label6->isElided() ? Qt::convertFromPlainText(expected) : QString());
    }

    // The status line shares its row with the grey hint: a long status ends where the hint
    // begins, whole in the tool tip; once the hint is gone it takes the whole row.
    void longStatusStopsWhereTheHintBegins()
    {
        Harness h;
        auto *status = h.form->Label4;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        const QString text = u"搜索引擎暂时拒绝查询（HTTP 429），12秒后重试“鲜花店批发”"_s;
        const int hintStart = h.form->Label13->x() - status->x();
        const int width = status->fontMetrics().horizontalAdvance(text);
        QVERIFY(hintStart < width && width < status->width());
        h.form->setLabel4Caption(text);
        for (const bool hintShown : {true, false}) {
            h.form->Label13->setVisible(hintShown);
            QCOMPARE(status->toolTip(), hintShown ? Qt::convertFromPlainText(text) : QString());
            const QImage shot = status->grab().toImage();
            const QRgb paper = status->palette().color(QPalette::Window).rgb();
            int inkEnd = 0; // one past the rightmost column with ink
            for (int x = 0; x < shot.width(); ++x)
                for (int y = 0; y < shot.height(); ++y)
                    inkEnd = shot.pixel(x, y) != paper ? x + 1 : inkEnd;
            QVERIFY2((inkEnd <= hintStart) == hintShown, qPrintable(QString::number(inkEnd)));
        }
    }

    // A copy run from a writable folder keeps Keywords beside itself; an installed one saves
    // under the user's documents. Deciding creates nothing; the first save makes what is missing.
    void resultFolderChoice_data()
    {
        QTest::addColumn<QString>("programFolder"); // as the platform leaves it
        QTest::addColumn<bool>("portable");
        QTest::newRow("writable, no Keywords yet") << u"writable"_s << true;
        // Root may write to /usr/bin, yet an installed copy saves under the documents.
        QTest::newRow("writable, where it was installed") << u"installed"_s << false;
        QTest::newRow("writable Keywords folder") << u"keywords folder"_s << true;
        QTest::newRow("read-only") << u"read-only"_s << false;
        QTest::newRow("a file named Keywords in the way") << u"keywords file"_s << false;
        QTest::newRow("missing") << u"missing"_s << false;
    }
    void resultFolderChoice()
    {
        QFETCH(QString, programFolder);
        QFETCH(bool, portable);
        QTemporaryDir program;
        QTemporaryDir documents;
        QString programDir = program.path();
        const QString keywords = programDir + u"/Keywords"_s;
        if (programFolder == u"keywords folder"_s)
            QVERIFY(QDir(programDir).mkdir(u"Keywords"_s));
        if (programFolder == u"keywords file"_s) {
            QFile file(keywords);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        if (programFolder == u"missing"_s)
            programDir += u"/gone"_s;
        const auto writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        if (programFolder == u"read-only"_s) {
            QVERIFY(QFile::setPermissions(programDir, QFile::ReadOwner | QFile::ExeOwner));
            if (QFileInfo(programDir).isWritable()) {
                QFile::setPermissions(programDir, writable);
                QSKIP("this user may write to any folder");
            }
        }
        const bool keywordsBefore = QFileInfo::exists(keywords);

        const QString installBinDir =
            programFolder == u"installed"_s ? program.path() + u"/."_s : u"/usr/bin"_s;
        const QString base = resultBaseDir(programDir, documents.path(), installBinDir);
        QFile::setPermissions(program.path(), writable);

        QCOMPARE(base, portable ? programDir : documents.path() + u"/Tailspade"_s);
        QCOMPARE(QFileInfo::exists(keywords), keywordsBefore);
        QVERIFY(QDir(documents.path()).isEmpty());
        const SaveResult saved = saveResults(base, u"鲜花"_s, {u"鲜花店"_s}, false, fixedClock());
        QVERIFY2(saved.status == SaveResult::Status::Saved, qPrintable(saved.detail));
        QVERIFY(QFileInfo::exists(base + u"/Keywords/关键词-鲜花.txt"_s));
    }

    void clickingAResultCopiesIt()
    {
        Harness h;
        Form8 &f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(u"earlier"_s);
        for (const QString &k : {u"鲜花"_s, u"鲜花店"_s, u"Rose 花"_s})
            f.List3AddItem(k);
        QCOMPARE(clipboard->text(), u"earlier"_s); // adding selects and copies nothing
        QCOMPARE(f.List3->currentRow(), -1);

        const QRect first = f.List3->visualItemRect(f.List3->item(0));
        QTest::mouseClick(f.List3->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(clipboard->text(), u"鲜花"_s);
        QCOMPARE(f.Label5->text(), u"长尾词：鲜花  复制成功"_s);
        QCOMPARE(f.Label5->width(), f.Label5->sizeHint().width());

        QTest::keyClick(f.List3, Qt::Key_Down);
        QCOMPARE(clipboard->text(), u"鲜花店"_s);
        QCOMPARE(f.Label5->text(), u"长尾词：鲜花店  复制成功"_s);

        // Clicking the selected entry again copies it again.
        clipboard->setText(u"other"_s);
        const QRect second = f.List3->visualItemRect(f.List3->item(1));
        QTest::mouseClick(f.List3->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(clipboard->text(), u"鲜花店"_s);

        // A start empties the notice.
        f.Command1->click();
        QCOMPARE(f.Label5->text(), QString());
        h.miner().abandon();
    }

    void draggingCopiesTheRowItEndsOn_data()
    {
        QTest::addColumn<bool>("fromBelowTheRows");
        QTest::newRow("from another row") << false;
        QTest::newRow("from the empty space below the rows") << true;
    }
    void draggingCopiesTheRowItEndsOn()
    {
        QFETCH(bool, fromBelowTheRows);
        Harness h;
        Form8 &f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        for (const QString &k : {u"鲜花"_s, u"鲜花店"_s, u"花店"_s})
            f.List3AddItem(k);
        QSignalSpy copies(QGuiApplication::clipboard(), &QClipboard::dataChanged);
        const QRect last = f.List3->visualItemRect(f.List3->item(2));
        const QPoint from = fromBelowTheRows ? last.center() + QPoint(0, 2 * last.height())
                                             : f.List3->visualItemRect(f.List3->item(0)).center();
        QVERIFY(f.List3->viewport()->rect().contains(from));
        const QPoint to = last.center();
        QTest::mousePress(f.List3->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(f.List3->viewport(), to);
        QTest::mouseRelease(f.List3->viewport(), Qt::LeftButton, {}, to);
        QCOMPARE(f.List3->selectedItems(), QList<QListWidgetItem *>{f.List3->item(2)});
        QCOMPARE(QGuiApplication::clipboard()->text(), u"花店"_s);
        QCOMPARE(f.Label5->text(), u"长尾词：花店  复制成功"_s);
        QCOMPARE(copies.count(), 2); // cleared, then set: once
    }

    // The list's menu, opened by mouse or keyboard, and Ctrl+C: what each puts on the clipboard
    // and in the notice, or opens. A run goes on undisturbed.
    void listMenuAndCtrlC_data()
    {
        QTest::addColumn<QString>("open"); // how the user asks
        QTest::addColumn<int>("selected"); // the row clicked first; -1: none
        QTest::addColumn<int>("entry");    // the menu entry chosen; -1: no menu (Ctrl+C)
        QTest::addColumn<bool>("running");
        QTest::newRow("right-click, copy all") << u"right-click"_s << -1 << 1 << false;
        QTest::newRow("right-click, copy all during a run") << u"right-click"_s << 0 << 1 << true;
        QTest::newRow("Menu key, copy") << u"Menu"_s << 1 << 0 << false;
        QTest::newRow("Shift+F10, open folder") << u"Shift+F10"_s << 2 << 2 << false;
        QTest::newRow("Ctrl+C") << u"Ctrl+C"_s << 2 << -1 << true;
        QTest::newRow("Ctrl+C, nothing selected") << u"Ctrl+C"_s << -1 << -1 << false;
    }
    void listMenuAndCtrlC()
    {
        QFETCH(QString, open);
        QFETCH(int, selected);
        QFETCH(int, entry);
        QFETCH(bool, running);
        Harness h;
        Form8 &f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        if (running)
            f.Command1->click(); // no event is handled from here on: the run waits for its tick
        const QStringList rows = {u"鲜花"_s, u"鲜花店"_s, u"Rose 花"_s};
        for (const QString &row : rows)
            f.List3AddItem(row);
        QString clickNotice;
        if (selected >= 0) {
            const QRect row = f.List3->visualItemRect(f.List3->item(selected));
            QTest::mouseClick(f.List3->viewport(), Qt::LeftButton, {}, row.center());
            clickNotice = f.Label5->text();
        }
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(u"earlier"_s);
        f.setLabel5Caption(QString());

        if (open == u"right-click"_s) {
            const QPoint at = f.List3->viewport()->rect().center();
            QContextMenuEvent click(QContextMenuEvent::Mouse, at,
                                    f.List3->viewport()->mapToGlobal(at));
            QApplication::sendEvent(f.List3->viewport(), &click);
        } else if (open == u"Menu"_s) {
            QTest::keyClick(f.List3, Qt::Key_Menu);
        } else if (open == u"Shift+F10"_s) {
            QTest::keyClick(f.List3, Qt::Key_F10, Qt::ShiftModifier);
        } else {
            QTest::keyClick(f.List3, Qt::Key_C, Qt::ControlModifier);
        }
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QCOMPARE(menu != nullptr, entry >= 0);
        if (menu) {
            const QList<QAction *> actions = menu->actions();
            QStringList texts;
            for (const QAction *action : actions)
                texts << action->text();
            QCOMPARE(texts, (QStringList{u"复制"_s, u"复制全部（3个）"_s, u"打开结果文件夹"_s,
                                         QString(), u"排除词…"_s, u"导出…"_s}));
            QCOMPARE(actions.at(0)->isEnabled(), selected >= 0);
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(actions.at(entry)).center());
            QVERIFY(!QApplication::activePopupWidget());
        }

        const bool copiesRow = entry == 0 || (entry < 0 && selected >= 0);
        const QString eol =
            QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows ? u"\r\n"_s
                                                                                       : u"\n"_s;
        if (entry == 1) {
            QCOMPARE(clipboard->text(), rows.join(eol));
            QCOMPARE(f.Label5->text(), u"已复制全部3个长尾词"_s);
        } else {
            QCOMPARE(clipboard->text(), copiesRow ? rows.at(selected) : u"earlier"_s);
            QCOMPARE(f.Label5->text(), copiesRow ? clickNotice : QString());
        }
        QCOMPARE(h.desktop.opened.size(), entry == 2 ? 1 : 0);
        if (entry == 2) {
            QTest::mouseClick(f.Command5, Qt::LeftButton);
            QCOMPARE(h.desktop.opened.at(0), h.desktop.opened.at(1));
        }
        QCOMPARE(h.miner().Timer1.isActive(), running);
        h.miner().abandon();
    }

    // A click on a box's text does what a click on the box does, each time.
    // 排除词… and 导出… from the list's menu, their dialogs answered through the desktop.
    void exclusionWordsAndExportFromTheMenu()
    {
        Harness h;
        Form8 &f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const auto choose = [&](const QString &entry) {
            QTest::keyClick(f.List3, Qt::Key_F10, Qt::ShiftModifier);
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions()) {
                if (action->text() == entry && action->isEnabled())
                    action->trigger();
            }
            menu->close();
        };
        const QString words = h.dir.filePath(u"Keywords/排除词.txt"_s);
        h.desktop.exclusionText = u" 招聘\n\n下载 \n"_s;
        choose(u"排除词…"_s);
        choose(u"排除词…"_s);
        QCOMPARE(h.desktop.exclusionShown, (QStringList{QString(), u"招聘\n下载"_s}));
        QFile file(words);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "\xEF\xBB\xBF" + u"招聘\r\n下载\r\n"_s.toUtf8());
        QCOMPARE(f.Label5->text(), u"已保存2个排除词，开始采集时生效"_s);

        h.pages.insert(u"鲜花"_s, {u"鲜花店"_s, u"鲜花招聘"_s});
        f.Text2Edit->setText(u"鲜花"_s);
        f.Command1->click();
        QTRY_COMPARE(f.Command1->text(), u"开始采集"_s);
        const QString book = h.dir.filePath(u"鲜花.xlsx"_s);
        h.desktop.exportTarget = {{book, ExportFormat::Xlsx}};
        choose(u"导出…"_s);
        QCOMPARE(h.desktop.exportSuggested,
                 QStringList{h.dir.filePath(u"Keywords/关键词-鲜花.xlsx"_s)});
        QFile written(book);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(readSheet(unzip(written.readAll()), 1).rows.value(1),
                 (QStringList{u"鲜花店"_s, u"鲜花"_s, u"鲜花"_s, u"n:1"_s, u"n:3"_s}));
        QCOMPARE(f.Label5->text(), u"已导出1个长尾词"_s);

        const QString nowhere = h.dir.filePath(u"无/鲜花.csv"_s);
        h.desktop.exportTarget = {{nowhere, ExportFormat::Csv}};
        choose(u"导出…"_s);
        QVERIFY(!QFile::exists(nowhere));
        QCOMPARE(h.desktop.messages.size(), 2);
        QVERIFY2(h.desktop.messages.last().startsWith(u"导出失败（"_s) &&
                     h.desktop.messages.last().endsWith(u"），没有写入文件："_s +
                                                        QDir::toNativeSeparators(nowhere)),
                 qPrintable(h.desktop.messages.last()));
    }

    void clickOnABoxTextClicksTheBox_data()
    {
        QTest::addColumn<int>("box");
        QTest::newRow("must contain the seed") << 1;
        QTest::newRow("overwrite, ticked") << 3;
        QTest::newRow("append") << 2;
    }
    void clickOnABoxTextClicksTheBox()
    {
        QFETCH(int, box);
        Harness byText;
        Harness byBox;
        const auto boxOf = [box](Form8 &f) {
            return box == 1 ? f.Check1 : box == 2 ? f.Check2 : f.Check3;
        };
        const auto ticks = [](Form8 &f) {
            return QList<bool>{f.Check1->isChecked(), f.Check2->isChecked(), f.Check3->isChecked()};
        };
        const QList<bool> fresh = ticks(*byText.form);
        QLabel *text = box == 1   ? byText.form->Label10
                       : box == 2 ? byText.form->Label12
                                  : byText.form->Label11;
        for (int click = 1; click <= 2; ++click) {
            QTest::mouseClick(text, Qt::LeftButton, {}, text->rect().center());
            QTest::mouseClick(boxOf(*byBox.form), Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(ticks(*byText.form), ticks(*byBox.form));
            QCOMPARE(ticks(*byText.form) == fresh, click == 2);
            QCOMPARE(byText.form->focusWidget(), boxOf(*byText.form));
        }
    }

    // Return in either field is a click on the start and stop button; a held key is not.
    void returnInAFieldPressesStart_data()
    {
        QTest::addColumn<bool>("seedField");
        QTest::newRow("seed field") << true;
        QTest::newRow("target field") << false;
    }
    void returnInAFieldPressesStart()
    {
        QFETCH(bool, seedField);
        Harness h;
        QWidget *field =
            seedField ? static_cast<QWidget *>(h.form->Text2Edit) : h.form->Combo1->lineEdit();
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(h.miner().Timer1.isActive());
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier, QString(), true);
        QApplication::sendEvent(field, &held);
        QVERIFY(h.miner().Timer1.isActive());
        QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!h.miner().Timer1.isActive());
        QCOMPARE(h.desktop.messages.size(), 1); // the stop's report
    }

    // What a screen reader meets, Tab by Tab: every input, named by the text beside it and
    // labelled by that text where it is a label of its own.
    void accessibleNamesInTabOrder()
    {
        Harness h;
        Form8 &f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.Text2Edit->setFocus();
        struct Expected {
            QWidget *control;
            QString name;
            QLabel *label;
        };
        const QList<Expected> expected = {
            {f.Text2Edit, u"源关键字"_s, f.Label7},
            {f.Command1, f.Command1->text(), nullptr},
            {f.BatchButton, f.BatchButton->text(), nullptr},
            {f.Command6, f.Command6->text(), nullptr},
            {f.Check1, f.Label10->text(), f.Label10},
            {f.Check3, f.Label11->text(), f.Label11},
            {f.Check2, f.Label12->text(), f.Label12},
            // Named in its edit field: on Unix Qt names the box itself by the number it holds.
            {f.Combo1, u"采集个数（0为不限）"_s, f.Label13},
            {f.List3, u"采集结果"_s, nullptr},
            {f.Command5, f.Command5->text(), nullptr},
        };
        for (const Expected &e : expected) {
            QCOMPARE(QApplication::focusWidget(), e.control);
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(e.control);
            QWidget *named = e.control == f.Combo1 ? f.Combo1->lineEdit() : e.control;
            QCOMPARE(QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name), e.name);
            QStringList labels;
            for (const auto &[label, relation] : accessible->relations(QAccessible::Label))
                labels << label->text(QAccessible::Name);
            QCOMPARE(labels, e.label ? QStringList{e.label->text()} : QStringList());
            QTest::keyClick(e.control, Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), f.Text2Edit); // round again
    }

    void closeQuestionCancelKeepsTheHarvestGoing()
    {
        Harness h;
        h.slowKeywords.insert(u"软件站"_s, 60000); // keep the run waiting on its first page
        Form8 &f = *h.form;
        f.show();
        f.Command1->click();
        QVERIFY(h.miner().Timer1.isActive());
        h.desktop.exitAnswer = false;
        QVERIFY(!f.close());
        QCOMPARE(h.desktop.exitQuestions, 1);
        QVERIFY(f.isVisible());
        QVERIFY(h.miner().Timer1.isActive());
        QCOMPARE(f.Command1->text(), u"停止"_s);
        QCOMPARE(h.quitCalls, 0);
        h.miner().abandon();
    }

    void closeQuestionOkEndsWithoutSaving()
    {
        Harness h;
        Form8 &f = *h.form;
        f.show();
        f.Command1->click();
        h.desktop.exitAnswer = true;
        QVERIFY(f.close());
        QCOMPARE(h.quitCalls, 1);
        QVERIFY(!h.miner().Timer1.isActive());
        QVERIFY(!QFileInfo::exists(h.dir.path() + u"/Keywords"_s));
        QVERIFY(h.desktop.messages.isEmpty());
    }

    // The real modal question, answered through its buttons while the run's first page is
    // held unanswered. The stand-in quit leaves no loop, so the page is let through right after
    // the answer: after OK it must change nothing; after Cancel the run goes on with it.
    void exitQuestionAnswer_data()
    {
        QTest::addColumn<bool>("askedDuringFetch");
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK while a page is awaited") << true << true;
        QTest::newRow("OK between ticks") << false << true;
        QTest::newRow("Cancel while a page is awaited") << true << false;
    }
    void exitQuestionAnswer()
    {
        QFETCH(bool, askedDuringFetch);
        QFETCH(bool, ok);
        Harness h;
        Form8 &f = *h.form;
        h.desktop.askForReal = true;
        bool asked = false;
        bool closed = false;
        const auto ask = [&] {
            asked = true;
            closed = f.close();
        };
        h.engine.setHandler([&](const QByteArray &) {
            if (askedDuringFetch && !asked)
                QTimer::singleShot(0, &f, ask);
            TestServer::Response r;
            r.body = suggestionPage({u"软件站下载"_s, u"软件站大全"_s}); // reaches the target
            r.mode = TestServer::Response::Mode::Held;
            return r;
        });
        int quitsAtAnswer = -1;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &f, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || h.engine.requests().isEmpty())
                return;
            answer.stop();
            box->button(ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
            quitsAtAnswer = h.quitCalls;
            h.engine.release();
        });
        answer.start(0);
        f.Combo1->setEditText(u"2"_s);
        f.show();
        f.Command1->click();
        if (!askedDuringFetch)
            ask();
        QTRY_VERIFY(asked);

        QCOMPARE(closed, ok);
        QCOMPARE(quitsAtAnswer, ok ? 1 : 0); // quit before the page came: nothing waited for it
        QCOMPARE(h.engine.requests().size(), 1);
        if (ok) {
            QVERIFY(!QFileInfo::exists(h.resultPath(u"软件站"_s)));
            QCOMPARE(h.desktop.messages, QStringList());
        } else {
            QCOMPARE(h.resultLines(u"软件站"_s).size(), 4);
            QCOMPARE(h.desktop.messages.size(), 1);
            QVERIFY(h.desktop.messages.first().startsWith(u"恭喜！"_s));
        }
    }

    void standardTextsAreChinese_data()
    {
        QTest::addColumn<bool>("qtTranslations");
        QTest::newRow("with Qt's translations") << true;
        QTest::newRow("without them") << false;
    }
    void standardTextsAreChinese()
    {
        QFETCH(bool, qtTranslations);
        QTranslator qtChinese;
        if (qtTranslations) {
            QVERIFY(installQtChinese(qtChinese));
            QLineEdit edit;
            const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
            QVERIFY(menu->actions().first()->text().startsWith(u"撤消(&U)"_s));
        }
        QStringList seen;
        QList<Qt::TextFormat> formats;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            formats << box->textFormat();
            for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Cancel})
                if (QAbstractButton *button = box->button(b))
                    seen << button->text();
            box->button(QMessageBox::Ok)->click();
        });
        answer.start(0);
        Desktop desktop;
        desktop.inform(nullptr, u"无法打开文件夹：/home/<u>Tools</u>/Keywords/"_s);
        bool okRan = false;
        QVERIFY(desktop.confirmExit(nullptr, [&] { okRan = true; }));
        QVERIFY(okRan);
        QCOMPARE(seen, (QStringList{u"确定"_s, u"确定"_s, u"取消"_s}));
        // A folder's or a seed's name is shown as it is, never read as markup.
        QCOMPARE(formats, (QList<Qt::TextFormat>{Qt::PlainText, Qt::PlainText}));
    }

    void openers()
    {
        Harness h;
        QTest::mouseClick(h.form->Command5, Qt::LeftButton);
        QTest::mouseClick(h.form->Command6, Qt::LeftButton);
        QCOMPARE(h.desktop.opened.size(), 2);
        QCOMPARE(h.desktop.opened.at(0), QUrl::fromLocalFile(h.dir.path() + u"/Keywords/"_s));
        QVERIFY(QFileInfo(h.dir.path() + u"/Keywords"_s).isDir()); // before any save
        QCOMPARE(h.desktop.opened.at(1).scheme(), u"https"_s);
        QVERIFY(h.form->windowTitle().endsWith(h.desktop.opened.at(1).toString() + u' ' +
                                               QString::fromUtf8(publisher::kName)));
        QCOMPARE(h.desktop.messages, QStringList());
    }

    void failedOpenerSaysWhatItCouldNotOpen_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("fileInTheWay"); // a file named Keywords: no folder can be made
        QTest::newRow("result folder") << true << false;
        QTest::newRow("home page") << false << false;
        QTest::newRow("result folder that cannot be made") << true << true;
    }
    void failedOpenerSaysWhatItCouldNotOpen()
    {
        QFETCH(bool, folder);
        QFETCH(bool, fileInTheWay);
        Harness h;
        const QString keywords = h.dir.path() + u"/Keywords"_s;
        if (fileInTheWay)
            QVERIFY(QFile(keywords).open(QIODevice::WriteOnly));
        h.desktop.openSucceeds = fileInTheWay; // then the opener is not to be asked at all
        QTest::mouseClick(folder ? h.form->Command5 : h.form->Command6, Qt::LeftButton);
        const QString shown = QDir::toNativeSeparators(keywords + u'/');
        QString expected = folder ? u"无法打开文件夹："_s + shown
                                  : u"无法打开网页："_s + QString::fromLatin1(publisher::kHomePage);
        if (fileInTheWay) // the reason a save gives for the same folder
            expected = u"无法创建文件夹："_s + shown + u"（"_s +
                       saveResults(h.dir.path(), {}, {}, false, {}).detail + u"）"_s;
        QCOMPARE(h.desktop.messages, QStringList{expected});
        QCOMPARE(h.desktop.opened.isEmpty(), fileInTheWay);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
