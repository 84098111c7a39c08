#pragma once

#include <QWidget>

class QQuickView;

// The embedded web browser. Chromium draws it through OpenGL in a native window of its own, so
// the rest of the window stays plain raster: were it a widget, every repaint of the window (the
// status line and the list, once per tick) would be composited through OpenGL, which costs
// several times the harvest itself where OpenGL is software.
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
