#include "app/batchdialog.h"

#include "mining/batch.h"
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

BatchDialog::BatchDialog(QWidget *parent)
    : QDialog(parent)
    , m_seeds(new QPlainTextEdit(this))
    , m_count(new QLabel(this))
{
    setWindowTitle(u"批量采集"_s);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(u"源关键字（每行一个，可从表格粘贴）："_s, this);
    intro->setBuddy(m_seeds);
    layout->addWidget(intro);
    m_seeds->setAccessibleName(u"源关键字"_s);
    m_seeds->setTabChangesFocus(true);
    m_seeds->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(m_seeds, 1);
    auto *fromFile = new QPushButton(u"从文件读取…"_s, this);
    auto *row = new QHBoxLayout;
    row->addWidget(m_count, 1);
    row->addWidget(fromFile);
    layout->addLayout(row);
    layout->addWidget(
        new QLabel(u"采集个数（每个源关键字）、必须包含源关键字和保存方式与主窗口相同。"_s, this));
    auto *buttons = new QDialogButtonBox(this);
    m_start = buttons->addButton(u"开始"_s, QDialogButtonBox::AcceptRole);
    buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    m_start->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fromFile, &QPushButton::clicked, this, &BatchDialog::readFile);
    connect(m_seeds, &QPlainTextEdit::textChanged, this, &BatchDialog::recount);
    resize(420, 360);
    recount();
}

QStringList BatchDialog::lines() const
{
    QStringList out = m_seeds->toPlainText().split(u'\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast(); // the end of the last line
    return out;
}

void BatchDialog::readFile()
{
    const QString path = QFileDialog::getOpenFileName(this, u"读取源关键字"_s, QString(),
                                                      u"文本文件 (*.txt);;所有文件 (*)"_s);
    if (path.isEmpty())
        return;
    const SeedFile file = readSeedFile(path);
    if (!file.error.isEmpty()) {
        QMessageBox::warning(this, u"批量采集"_s,
                             u"无法读取源关键字："_s + file.error + u"\n"_s +
                                 QDir::toNativeSeparators(path));
        return;
    }
    m_seeds->setPlainText(file.lines.join(u'\n'));
}

void BatchDialog::recount()
{
    const BatchSeeds b = cleanSeeds(lines());
    QString text = u"将采集"_s + QString::number(b.seeds.size()) + u"个源关键字"_s;
    if (b.blank > 0 || b.repeated > 0 || b.invalid > 0)
        text += u"（已去掉空行"_s + QString::number(b.blank) + u"个、重复"_s +
                QString::number(b.repeated) + u"个"_s +
                (b.invalid > 0 ? u"、含控制字符的"_s + QString::number(b.invalid) + u"个"_s
                               : QString()) +
                u"）"_s;
    if (b.columns > 0) // pasted from several spreadsheet columns
        text += u"，"_s + QString::number(b.columns) + u"行只取第一列"_s;
    const bool tooMany = b.seeds.size() > kMaxBatchSeeds;
    if (tooMany)
        text = u"源关键字超过"_s + QString::number(kMaxBatchSeeds) + u"个，请分批采集"_s;
    m_count->setText(text);
    m_start->setEnabled(!b.seeds.isEmpty() && !tooMany);
}
