#pragma once

#include <QWidget>

// The strip at the bottom, showing the publisher's page. Where Qt has a web engine, a web view
// in a native window of its own: as a widget it made the whole window an OpenGL-composited
// surface, so every repaint of the status line and the list, once per tick, went through OpenGL,
// at several times the cost of the harvest itself where OpenGL is software (virtual machines,
// remote desktops). On Windows (MinGW: no web engine) a rich-text view.
class Browser final : public QWidget {
    Q_OBJECT
public:
    explicit Browser(QWidget *parent);
    ~Browser() override;

    void navigate(const QUrl &url);
    QObject *page() const; // the view: its url (source), title and loading state

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QObject *const m_view;
    QWidget *const m_container; // what fills this widget
};
