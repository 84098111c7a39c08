#include "app/browser.h"

#include <QTextBrowser>

// Qt has no web engine for MinGW: the shipped page is shown as rich text, at the place and size
// of the web view, its links handed to the default browser.
Browser::Browser(QWidget *parent)
    : QWidget(parent)
    , m_view(new QTextBrowser(this))
    , m_container(static_cast<QTextBrowser *>(m_view))
{
    Q_INIT_RESOURCE(resources); // the page lives in a static library
    auto *text = static_cast<QTextBrowser *>(m_view);
    text->setFrameShape(QFrame::NoFrame);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setFocusPolicy(Qt::NoFocus);
    text->setOpenExternalLinks(true);
    // The page's body has its own 8 pixels and its own background; Qt's rich text gives a body
    // neither.
    text->document()->setDocumentMargin(8);
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, QColor(0xf4, 0xf8, 0xfd));
    text->setPalette(palette);
}

Browser::~Browser() = default;

void Browser::navigate(const QUrl &url)
{
    static_cast<QTextBrowser *>(m_view)->setSource(url, QTextDocument::HtmlResource);
}

QObject *Browser::page() const
{
    return m_view;
}

void Browser::resizeEvent(QResizeEvent *event)
{
    m_container->setGeometry(rect());
    QWidget::resizeEvent(event);
}
