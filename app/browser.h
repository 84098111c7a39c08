#pragma once

#include <QWidget>

class QQuickView;

// The embedded web browser: a web view in a native window of its own. As a widget it made the
// whole window an OpenGL-composited surface, so every repaint of the status line and the list,
// once per tick, went through OpenGL, at several times the cost of the harvest itself where
// OpenGL is software (virtual machines, remote desktops).
class Browser final : public QWidget {
    Q_OBJECT
public:
    explicit Browser(QWidget *parent);
    ~Browser() override;

    void navigate(const QUrl &url);
    QObject *page() const; // the web view: its url, title and loading state

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QQuickView *const m_view;
    QWidget *const m_container;
};
