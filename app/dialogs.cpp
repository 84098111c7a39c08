#include "app/dialogs.h"

#include "app/linesdialog.h"
#include "mining/batch.h"
#include "mining/exclusion.h"

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

namespace {

std::pair<QString, bool> countSeeds(const QStringList &lines)
{
    const BatchSeeds b = cleanSeeds(lines);
    if (b.seeds.size() > kMaxBatchSeeds)
        return {u"源关键字超过"_s + QString::number(kMaxBatchSeeds) + u"个，请分批采集"_s, false};
    QString text = u"将采集"_s + QString::number(b.seeds.size()) + u"个源关键字"_s;
    if (b.blank > 0 || b.repeated > 0 || b.invalid > 0)
        text += u"（已去掉空行"_s + QString::number(b.blank) + u"个、重复"_s +
                QString::number(b.repeated) + u"个"_s +
                (b.invalid > 0 ? u"、含控制字符的"_s + QString::number(b.invalid) + u"个"_s
                               : QString()) +
                u"）"_s;
    if (b.columns > 0) // pasted from several spreadsheet columns
        text += u"，"_s + QString::number(b.columns) + u"行只取第一列"_s;
    return {text, !b.seeds.isEmpty()};
}

std::pair<QString, bool> countExclusionWords(const QStringList &lines)
{
    return {u"共"_s + QString::number(ExclusionWords(lines, {}).size()) + u"个排除词"_s, true};
}

} // namespace

std::optional<QStringList> Desktop::askSeeds(QWidget *parent)
{
    const LinesDialog::Texts texts{
        u"批量采集"_s, u"源关键字"_s, u"源关键字（每行一个，可从表格粘贴）："_s,
        u"采集个数（每个源关键字）、必须包含源关键字和保存方式与主窗口相同。"_s, u"开始"_s};
    LinesDialog dialog(parent, texts, QString(), countSeeds);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.lines();
}

std::optional<QString> Desktop::askExclusionWords(QWidget *parent, const QString &words)
{
    const LinesDialog::Texts texts{
        u"排除词"_s, u"排除词"_s,
        u"排除词（每行一个）：含有其中任何一个词的长尾词不采集、不查询、不保存。"_s,
        u"英文字母不区分大小写；源关键字本身含有的词对它不起作用。"_s, u"保存"_s};
    LinesDialog dialog(parent, texts, words, countExclusionWords);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.text();
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
