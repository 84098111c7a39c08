#include "app/linesdialog.h"

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

LinesDialog::LinesDialog(QWidget *parent, const Texts &texts, const QString &text, Count count)
    : QDialog(parent)
    , m_what(texts.what)
    , m_countOf(std::move(count))
    , m_lines(new QPlainTextEdit(text, this))
    , m_count(new QLabel(this))
{
    setWindowTitle(texts.title);
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(texts.intro, this);
    intro->setWordWrap(true);
    intro->setBuddy(m_lines);
    layout->addWidget(intro);
    m_lines->setAccessibleName(texts.what);
    m_lines->setTabChangesFocus(true);
    m_lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(m_lines, 1);
    auto *fromFile = new QPushButton(u"从文件读取…"_s, this);
    auto *row = new QHBoxLayout;
    row->addWidget(m_count, 1);
    row->addWidget(fromFile);
    layout->addLayout(row);
    layout->addWidget(new QLabel(texts.note, this));
    auto *buttons = new QDialogButtonBox(this);
    m_accept = buttons->addButton(texts.accept, QDialogButtonBox::AcceptRole);
    buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole);
    m_accept->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fromFile, &QPushButton::clicked, this, &LinesDialog::readFile);
    connect(m_lines, &QPlainTextEdit::textChanged, this, &LinesDialog::recount);
    resize(420, 360);
    recount();
}

QString LinesDialog::text() const
{
    return m_lines->toPlainText();
}

QStringList LinesDialog::lines() const
{
    QStringList out = text().split(u'\n');
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

void LinesDialog::readFile()
{
    const QString path = QFileDialog::getOpenFileName(this, u"读取"_s + m_what, QString(),
                                                      u"文本文件 (*.txt);;所有文件 (*)"_s);
    if (path.isEmpty())
        return;
    const SeedFile file = readSeedFile(path);
    if (!file.error.isEmpty()) {
        QMessageBox::warning(this, windowTitle(),
                             u"无法读取"_s + m_what + u"："_s + file.error + u"\n"_s +
                                 QDir::toNativeSeparators(path));
        return;
    }
    m_lines->setPlainText(file.lines.join(u'\n'));
}

void LinesDialog::recount()
{
    const auto [text, acceptable] = m_countOf(lines());
    m_count->setText(text);
    m_accept->setEnabled(acceptable);
}
