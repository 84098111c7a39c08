#include "app/browser.h"

#include <QQuickItem>
#include <QQuickView>

using namespace Qt::StringLiterals;

namespace {

QQuickView *quickView(QObject *view)
{
    return static_cast<QQuickView *>(view);
}

} // namespace

Browser::Browser(QWidget *parent)
    : QWidget(parent)
    , m_view(new QQuickView)
    , m_container(QWidget::createWindowContainer(quickView(m_view), this))
{
    Q_INIT_RESOURCE(resources); // the view's source lives in a static library
    // Native, the container nests the view's window in the native windows of its parents, so
    // the frame around it clips it as it clips a widget; the window's other controls stay
    // drawn into its one surface (no native siblings: see prepareBrowserEnvironment).
    m_container->setAttribute(Qt::WA_NativeWindow);
    quickView(m_view)->setResizeMode(QQuickView::SizeRootObjectToView);
    quickView(m_view)->setSource(QUrl(u"qrc:/tailspade/browser.qml"_s));
}

Browser::~Browser() = default; // the container owns the view

void Browser::navigate(const QUrl &url)
{
    if (QObject *view = page())
        view->setProperty("url", url);
}

QObject *Browser::page() const
{
    return quickView(m_view)->rootObject();
}

void Browser::resizeEvent(QResizeEvent *event)
{
    m_container->setGeometry(rect());
    QWidget::resizeEvent(event);
}
