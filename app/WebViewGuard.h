#pragma once
// Mail bodies are untrusted HTML: the web view that shows them runs no scripts or
// plugins and fetches nothing from outside the application.
#include <QNetworkAccessManager>
#include <QWebPage>

class QWebView;

// Lets through only data: and qrc: requests; every other request fails at once.
class LocalOnlyNetworkAccess : public QNetworkAccessManager
{
    Q_OBJECT
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply *createRequest(Operation operation, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override;
};

// The page of a mail body: it never navigates anywhere. A clicked link is handed out
// through linkOffered instead of being followed.
class MailBodyPage : public QWebPage
{
    Q_OBJECT
public:
    using QWebPage::QWebPage;

signals:
    void linkOffered(const QUrl &url);

protected:
    bool acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request, NavigationType type) override;
};

// A link clicked in a mail: http(s) and mailto links are offered to the system's
// handler after a question; anything else is ignored.
void offerLinkToSystem(QWidget *parent, const QUrl &url);

// Gives the view a MailBodyPage whose links go to offerLinkToSystem, turns off scripts, plugins and prefetching and routes the view's loads through LocalOnlyNetworkAccess.
void restrictWebView(QWebView *view);
