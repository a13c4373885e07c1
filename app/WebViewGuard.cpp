#include "app/WebViewGuard.h"

#include <QNetworkRequest>
#include <QWebPage>
#include <QWebSettings>
#include <QWebView>

QNetworkReply *LocalOnlyNetworkAccess::createRequest(Operation operation, const QNetworkRequest &request,
                                                     QIODevice *outgoingData)
{
    const QString scheme = request.url().scheme();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("qrc"))
        return QNetworkAccessManager::createRequest(operation, request, outgoingData);
    // A request without a URL fails with "protocol unknown" and touches nothing.
    return QNetworkAccessManager::createRequest(operation, QNetworkRequest(), outgoingData);
}

void restrictWebView(QWebView *view)
{
    QWebSettings *settings = view->page()->settings();
    settings->setAttribute(QWebSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebSettings::PluginsEnabled, false);
    settings->setAttribute(QWebSettings::JavaEnabled, false);
    settings->setAttribute(QWebSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebSettings::LocalContentCanAccessFileUrls, false);
    view->page()->setNetworkAccessManager(new LocalOnlyNetworkAccess(view->page()));
}
