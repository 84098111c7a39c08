#pragma once

#include <QLabel>
#include <QPointer>

// A one-line label that shows a text too wide for it with its middle left out, so that both
// ends (where a path starts, the folder or file it names) stay in sight. The whole text is then
// its tool tip, as plain text; a text that fits shows as in any label, with no tool tip.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    // fitText: the label takes its text's width, up to its maximum width, at every new text.
    explicit ElidedLabel(QWidget *parent = nullptr, bool fitText = false);

    void setText(const QString &text); // in place of QLabel's, which cannot be overridden
    bool isElided() const;
    // A sibling further along the same row: while it shows, the text ends where it begins.
    // The label keeps its own place and size.
    void setRightNeighbour(QWidget *neighbour);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QRect textRoom() const;
    void updateToolTip();

    const bool m_fitText;
    QPointer<QWidget> m_neighbour;
};
