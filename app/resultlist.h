#pragma once

#include <QBasicTimer>
#include <QListWidget>
#include <functional>

// The result list. It reports the row the user's action leaves selected, once per action (a
// click, also on the row already selected, a drag, a key), never the program's own changes.
// Its menu (right-click, the Menu key, Shift+F10) and Ctrl+C ask for copies and the folder.
//
// QListView lays out every row again after each insertion, which makes a long harvest
// quadratic. Rows appended out of sight below the view, no taller than the rows laid out and
// no wider than the view, change nothing on screen but the scroll bar's range: those are
// only counted, and laid out in full just before anything could show or reach them.
class ResultList final : public QListWidget {
    Q_OBJECT
public:
    explicit ResultList(QWidget *parent = nullptr);

    QRect visualRect(const QModelIndex &index) const override;
    QModelIndex indexAt(const QPoint &point) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;
    void reset() override;
    int selectedRow() const; // -1: none
    // Every row in list order, joined by lineEnd.
    QString allRows(const QString &lineEnd) const;
    // The tool tip of a row, asked for when it is shown; none for an empty text.
    void setToolTipSource(std::function<QString(int row)> source) { m_toolTip = std::move(source); }

signals:
    void userSelected();
    void copyRequested(); // of the selected row
    void copyAllRequested();
    void openFolderRequested();
    void exclusionWordsRequested();
    void exportRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    bool viewportEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent *event) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;

private:
    QPoint keyboardMenuPlace() const;
    bool appendsOutOfSight(const QModelIndex &parent, int start, int end) const;
    void catchUp() const; // lays out the rows only counted so far
    QSize lastRowSize() const;
    bool lastRowFits() const; // the last row leaves the layout as it is

    int m_laidOut = 0;           // rows the last full layout covered
    bool m_pending = true;       // a full layout is due anyway
    bool m_counted = false;      // rows were appended past m_laidOut without a layout
    QSize m_rowSize;             // the row size of the last full layout
    int m_rowHeight = 0;         // its rows' height on screen
    QBasicTimer m_sizeCheck;     // the last row is measured once per pass of the event loop
    bool m_pressedOnRow = false; // the left button went down on a row
    std::function<QString(int row)> m_toolTip;
};
