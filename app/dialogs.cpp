#include "app/dialogs.h"

#include "app/batchdialog.h"
#include "app/exclusiondialog.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

using namespace Qt::StringLiterals;

// Named here as well, so the buttons read Chinese even without Qt's translations.
void Desktop::inform(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText); // paths, seeds and engine texts may look like markup
    box.button(QMessageBox::Ok)->setText(u"确定"_s);
    box.exec();
}

bool Desktop::confirmExit(QWidget *parent, const std::function<void()> &onOk)
{
    QMessageBox box(QMessageBox::Question, u"退出"_s, u"真的退出吗?"_s,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    QAbstractButton *ok = box.button(QMessageBox::Ok);
    ok->setText(u"确定"_s);
    box.button(QMessageBox::Cancel)->setText(u"取消"_s);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    QObject::connect(&box, &QMessageBox::buttonClicked, &box, [ok, &onOk](QAbstractButton *b) {
        if (b == ok && onOk)
            onOk();
    });
    box.exec();
    return box.clickedButton() == ok;
}

ContinueChoice Desktop::askContinue(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                    QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton *goOn = box.addButton(u"继续采集"_s, QMessageBox::AcceptRole);
    QPushButton *restart = box.addButton(u"重新开始"_s, QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(u"取消"_s, QMessageBox::RejectRole);
    box.setDefaultButton(goOn);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == goOn)
        return ContinueChoice::Continue;
    return box.clickedButton() == restart ? ContinueChoice::Restart : ContinueChoice::Cancel;
}

std::optional<QStringList> Desktop::askSeeds(QWidget *parent)
{
    BatchDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.lines();
}

std::optional<QString> Desktop::askExclusionWords(QWidget *parent, const QString &words)
{
    ExclusionDialog dialog(parent, words);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.words();
}

std::optional<Desktop::ExportTarget> Desktop::askExportTarget(QWidget *parent,
                                                              const QString &suggested)
{
    const QStringList filters{u"Excel 工作簿 (*.xlsx)"_s, u"CSV 文件，UTF-8 (*.csv)"_s};
    QFileDialog dialog(parent, u"导出"_s, suggested);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(u"xlsx"_s);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &filters](const QString &filter) {
                         dialog.setDefaultSuffix(filter == filters.at(1) ? u"csv"_s : u"xlsx"_s);
                     });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    ExportTarget target{dialog.selectedFiles().first(), ExportFormat::Xlsx};
    // The name typed decides; else the kind chosen in the list.
    if (target.path.endsWith(u".csv"_s, Qt::CaseInsensitive) ||
        (!target.path.endsWith(u".xlsx"_s, Qt::CaseInsensitive) &&
         dialog.selectedNameFilter() == filters.at(1)))
        target.format = ExportFormat::Csv;
    return target;
}

bool Desktop::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool installQtChinese(QTranslator &translator)
{
    return translator.load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
           QCoreApplication::installTranslator(&translator);
}
