#include "app/resultlist.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <utility>

using namespace Qt::StringLiterals;

ResultList::ResultList(QWidget *parent)
    : QListWidget(parent)
{
    verticalScrollBar()->installEventFilter(this);
}

void ResultList::doItemsLayout()
{
    const int rows = model()->rowCount(rootIndex());
    m_laidOut = rows;
    m_pending = false;
    m_counted = false;
    QListWidget::doItemsLayout();
    // Uniform rows take the size of the last row.
    m_rowSize = rows > 0 ? lastRowSize() : QSize();
    m_rowHeight =
        rows > 0 ? QListWidget::visualRect(model()->index(0, modelColumn(), rootIndex())).height()
                 : 0;
}

QSize ResultList::lastRowSize() const
{
    const int rows = model()->rowCount(rootIndex());
    return sizeHintForIndex(model()->index(rows - 1, modelColumn(), rootIndex()));
}

bool ResultList::lastRowFits() const
{
    const QSize last = lastRowSize();
    const int width = viewport()->width();
    return last.height() == m_rowSize.height() && last.width() <= width &&
           m_rowSize.width() <= width;
}

void ResultList::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_sizeCheck.timerId())
        return QListWidget::timerEvent(event);
    // When QListView would lay out: rows of another size than the last layout's change them all.
    m_sizeCheck.stop();
    if (m_counted && !lastRowFits())
        doItemsLayout();
}

void ResultList::reset()
{
    m_pending = true;
    m_counted = false;
    m_laidOut = 0;
    QListWidget::reset();
}

void ResultList::catchUp() const
{
    if (m_counted)
        const_cast<ResultList *>(this)->doItemsLayout();
}

bool ResultList::appendsOutOfSight(const QModelIndex &parent, int start, int end) const
{
    const QAbstractItemModel *m = model();
    if (m_pending || !isVisible() || parent != rootIndex() || start < m_laidOut || m_laidOut < 1 ||
        end != m->rowCount(parent) - 1)
        return false;
    if (viewMode() != ListMode || flow() != TopToBottom || isWrapping() || !uniformItemSizes() ||
        spacing() != 0 || gridSize().isValid() || verticalScrollMode() != ScrollPerItem)
        return false;
    const QScrollBar *bar = verticalScrollBar();
    if (bar->maximum() <= 0)
        return false; // not overflowing yet: the scroll bar would appear
    return m_rowHeight > 0 && qint64(start - bar->value()) * m_rowHeight >= viewport()->height();
}

void ResultList::rowsInserted(const QModelIndex &parent, int start, int end)
{
    if (!appendsOutOfSight(parent, start, end)) {
        m_pending = true;
        QListWidget::rowsInserted(parent, start, end);
        return;
    }
    m_counted = true;
    m_sizeCheck.start(0, this);
    QAbstractItemView::rowsInserted(parent, start, end);
    // What the full layout sets: one step per row, the page unchanged.
    QScrollBar *bar = verticalScrollBar();
    bar->setRange(0, end + 1 - bar->pageStep());
}

void ResultList::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    catchUp();
    m_pending = true;
    QListWidget::rowsAboutToBeRemoved(parent, start, end);
}

QRect ResultList::visualRect(const QModelIndex &index) const
{
    if (index.row() >= m_laidOut)
        catchUp();
    return QListWidget::visualRect(index);
}

QModelIndex ResultList::indexAt(const QPoint &point) const
{
    if (!viewport()->rect().contains(point))
        catchUp();
    return QListWidget::indexAt(point);
}

void ResultList::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    catchUp();
    QListWidget::scrollTo(index, hint);
}

bool ResultList::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_toolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.isValid() ? m_toolTip(index.row()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        return true;
    }
    if (event->type() == QEvent::Wheel || event->type() == QEvent::Resize)
        catchUp();
    return QListWidget::viewportEvent(event);
}

bool ResultList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == verticalScrollBar()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            catchUp();
            break;
        default:
            break;
        }
    }
    return QListWidget::eventFilter(watched, event);
}

void ResultList::resizeEvent(QResizeEvent *event)
{
    catchUp();
    QListWidget::resizeEvent(event);
}

void ResultList::scrollContentsBy(int dx, int dy)
{
    catchUp();
    QListWidget::scrollContentsBy(dx, dy);
}

void ResultList::updateGeometries()
{
    if (m_counted)
        return catchUp(); // the layout ends by updating the geometries
    QListWidget::updateGeometries();
}

QModelIndex ResultList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    catchUp();
    return QListWidget::moveCursor(cursorAction, modifiers);
}

void ResultList::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    catchUp();
    QListWidget::setSelection(rect, command);
}

QRegion ResultList::visualRegionForSelection(const QItemSelection &selection) const
{
    catchUp();
    return QListWidget::visualRegionForSelection(selection);
}

int ResultList::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// A press, perhaps dragged to another row, selects when it is released: the copy follows then.
// A press or a release on a row copies; a click on the empty space below the rows does not.
void ResultList::mousePressEvent(QMouseEvent *event)
{
    QListWidget::mousePressEvent(event);
    m_pressedOnRow = event->button() == Qt::LeftButton && itemAt(event->position().toPoint());
}

void ResultList::mouseReleaseEvent(QMouseEvent *event)
{
    QListWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const bool onRow =
        std::exchange(m_pressedOnRow, false) || itemAt(event->position().toPoint()) != nullptr;
    if (onRow && selectedRow() >= 0)
        emit userSelected();
}

void ResultList::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        if (selectedRow() >= 0)
            emit copyRequested();
        return;
    }
    // The X11 and Wayland platforms turn the Menu key into a menu event themselves, before the
    // key arrives; then the menu is open and takes the key. Shift+F10 is left to the program.
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        return contextMenuEvent(&menuEvent);
    }
    catchUp();
    const int before = selectedRow();
    QListWidget::keyPressEvent(event);
    if (selectedRow() != before && selectedRow() >= 0)
        emit userSelected();
}

void ResultList::contextMenuEvent(QContextMenuEvent *event)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(u"复制"_s, this, &ResultList::copyRequested)->setEnabled(selectedRow() >= 0);
    menu->addAction(u"复制全部（"_s + QString::number(count()) + u"个）"_s, this,
                    &ResultList::copyAllRequested)
        ->setEnabled(count() > 0);
    menu->addAction(u"打开结果文件夹"_s, this, &ResultList::openFolderRequested);
    menu->addSeparator();
    menu->addAction(u"排除词…"_s, this, &ResultList::exclusionWordsRequested);
    menu->addAction(u"导出…"_s, this, &ResultList::exportRequested)->setEnabled(count() > 0);
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    menu->popup(byMouse ? event->globalPos() : viewport()->mapToGlobal(keyboardMenuPlace()));
}

// Opened from the keyboard, the menu lies on the selected row when it is in sight.
QPoint ResultList::keyboardMenuPlace() const
{
    const QRect row = visualRect(model()->index(selectedRow(), modelColumn(), rootIndex()));
    return viewport()->rect().intersects(row) ? row.center() : QPoint(0, 0);
}

QString ResultList::allRows(const QString &lineEnd) const
{
    QString text;
    for (int row = 0; row < count(); ++row) {
        if (row > 0)
            text += lineEnd;
        text += item(row)->text();
    }
    return text;
}
