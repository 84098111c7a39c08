#include "app/browser.h"

Browser::Browser(QWidget *parent)
    : QTextBrowser(parent)
{
    Q_INIT_RESOURCE(resources); // the page lives in a static library
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setOpenExternalLinks(true);
    // The page's body has its own 8 pixels and its own background; Qt's rich text gives a body
    // neither.
    document()->setDocumentMargin(8);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, QColor(0xf4, 0xf8, 0xfd));
    setPalette(palette);
}

void Browser::navigate(const QUrl &url)
{
    setSource(url, QTextDocument::HtmlResource);
}
