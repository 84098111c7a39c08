#include "app/dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>

using namespace Qt::StringLiterals;

void Desktop::inform(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool Desktop::confirmExit(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, u"退出"_s, u"真的退出吗?"_s,
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

bool Desktop::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
