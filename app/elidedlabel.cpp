#include "app/elidedlabel.h"

#include <QPainter>
#include <QStyle>
#include <QTextDocument>

ElidedLabel::ElidedLabel(QWidget *parent, bool fitText)
    : QLabel(parent)
    , m_fitText(fitText)
{
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setText(const QString &text)
{
    QLabel::setText(text);
    if (m_fitText)
        adjustSize(); // a hidden label gets no resize event: the tool tip follows below
    updateToolTip();
}

bool ElidedLabel::isElided() const
{
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    if (!isElided())
        return QLabel::paintEvent(event);
    QPainter p(this);
    const QRect room = contentsRect();
    style()->drawItemText(&p, room, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()),
                          foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip()
{
    // Tool tips read markup: a path or a keyword must show as it is.
    setToolTip(isElided() ? Qt::convertFromPlainText(text()) : QString());
}
