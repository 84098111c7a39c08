#pragma once

#include <QTextBrowser>

// The strip at the bottom, showing the publisher's page as rich text, its links handed to the
// default browser. The page is the program's own and still: no browser engine is needed to
// draw it.
class Browser final : public QTextBrowser {
    Q_OBJECT
public:
    explicit Browser(QWidget *parent);

    void navigate(const QUrl &url);
};
