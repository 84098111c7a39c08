#include "app/exclusiondialog.h"

#include "mining/exclusion.h"
#include "storage/batchrecord.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ExclusionDialog::ExclusionDialog(QWidget *parent, const QString &words)
    : QDialog(parent)
    , m_words(new QPlainTextEdit(words, this))
    , m_count(new QLabel(this))
{
    setWindowTitle(u"排除词"_s);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        u"排除词（每行一个）：含有其中任何一个词的长尾词不采集、不查询、不保存。"_s, this);
    intro->setWordWrap(true);
    intro->setBuddy(m_words);
    layout->addWidget(intro);
    m_words->setAccessibleName(u"排除词"_s);
    m_words->setTabChangesFocus(true);
    m_words->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(m_words, 1);
    auto *fromFile = new QPushButton(u"从文件读取…"_s, this);
    auto *row = new QHBoxLayout;
    row->addWidget(m_count, 1);
    row->addWidget(fromFile);
    layout->addLayout(row);
    layout->addWidget(
        new QLabel(u"英文字母不区分大小写；源关键字本身含有的词对它不起作用。"_s, this));
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(u"保存"_s, QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fromFile, &QPushButton::clicked, this, &ExclusionDialog::readFile);
    connect(m_words, &QPlainTextEdit::textChanged, this, &ExclusionDialog::recount);
    resize(420, 360);
    recount();
}

QString ExclusionDialog::words() const
{
    return m_words->toPlainText();
}

void ExclusionDialog::readFile()
{
    const QString path = QFileDialog::getOpenFileName(this, u"读取排除词"_s, QString(),
                                                      u"文本文件 (*.txt);;所有文件 (*)"_s);
    if (path.isEmpty())
        return;
    const SeedFile file = readSeedFile(path);
    if (!file.error.isEmpty()) {
        QMessageBox::warning(this, u"排除词"_s,
                             u"无法读取排除词："_s + file.error + u"\n"_s +
                                 QDir::toNativeSeparators(path));
        return;
    }
    m_words->setPlainText(file.lines.join(u'\n'));
}

void ExclusionDialog::recount()
{
    m_count->setText(u"共"_s + QString::number(ExclusionWords(words().split(u'\n'), {}).size()) +
                     u"个排除词"_s);
}
