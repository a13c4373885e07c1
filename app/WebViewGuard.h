#pragma once
// Mail bodies are untrusted HTML: the web view that shows them runs no scripts or
// plugins and fetches nothing from outside the application.
#include <QNetworkAccessManager>

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

// Turns off scripts, plugins and prefetching and routes the view's loads through LocalOnlyNetworkAccess.
void restrictWebView(QWebView *view);
