#include "app/elidedlabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>

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
    return fontMetrics().horizontalAdvance(text()) > textRoom().width();
}

void ElidedLabel::setRightNeighbour(QWidget *neighbour)
{
    m_neighbour = neighbour;
    neighbour->installEventFilter(this);
    updateToolTip();
    update();
}

QRect ElidedLabel::textRoom() const
{
    QRect room = contentsRect();
    if (m_neighbour && m_neighbour->isVisibleTo(parentWidget()))
        room.setRight(std::min(room.right(), m_neighbour->x() - x() - 1));
    return room;
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    if (!isElided())
        return QLabel::paintEvent(event);
    QPainter p(this);
    const QRect room = textRoom();
    style()->drawItemText(&p, room, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()),
                          foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateToolTip();
}

bool ElidedLabel::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == m_neighbour &&
        (type == QEvent::Show || type == QEvent::Hide || type == QEvent::Move)) {
        updateToolTip();
        update();
    }
    return QLabel::eventFilter(watched, event);
}

void ElidedLabel::updateToolTip()
{
    // Tool tips read markup: a path or a keyword must show as it is.
    setToolTip(isElided() ? Qt::convertFromPlainText(text()) : QString());
}
