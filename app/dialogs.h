#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// Everything the window asks of the desktop beyond itself: message boxes and opening places.
// Tests replace it so that no dialog waits for a person and nothing is launched.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Modal, one OK button, no icon, the application's title.
    virtual void inform(QWidget *parent, const QString &text);
    // "真的退出吗?" with OK (default) and Cancel; true for OK.
    virtual bool confirmExit(QWidget *parent);
    // Hands a folder or web address to the system, without waiting.
    virtual bool open(const QUrl &url);
};
