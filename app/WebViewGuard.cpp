#include "app/WebViewGuard.h"

#include <QDesktopServices>
#include <QMessageBox>
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

bool MailBodyPage::acceptNavigationRequest(QWebFrame *, const QNetworkRequest &request, NavigationType type)
{
    if (type == NavigationTypeLinkClicked) {
        emit linkOffered(request.url());
        return false;
    }
    // Only the content the preview sets itself is loaded: no forms, reloads or redirects.
    const QUrl url = request.url();
    return type == NavigationTypeOther
           && (url.isEmpty() || url == QUrl(QStringLiteral("about:blank")) || url.scheme() == QLatin1String("data"));
}

void offerLinkToSystem(QWidget *parent, const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("mailto"))
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent, QObject::tr("Open Link"),
        QObject::tr("Open this link with the system's handler?\n%1").arg(url.toDisplayString()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        QDesktopServices::openUrl(url);
}

void restrictWebView(QWebView *view)
{
    auto *page = new MailBodyPage(view);
    view->setPage(page);
    QObject::connect(page, &MailBodyPage::linkOffered, view, [view](const QUrl &url) { offerLinkToSystem(view, url); });
    QWebSettings *settings = view->page()->settings();
    settings->setAttribute(QWebSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebSettings::PluginsEnabled, false);
    settings->setAttribute(QWebSettings::JavaEnabled, false);
    settings->setAttribute(QWebSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebSettings::LocalContentCanAccessFileUrls, false);
    view->page()->setNetworkAccessManager(new LocalOnlyNetworkAccess(view->page()));
}
