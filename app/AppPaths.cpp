#include "app/AppPaths.h"

#include <BuildConfig.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QXmlStreamReader>

const char kDiskImageExecutableDirectory[] = "/Volumes/Mendora/Mendora.app/Contents/MacOS";

QString resourcesDirectoryFor(const QString &executableDirectory)
{
    // Worked out on the text: the directory need not exist yet for its path to be known.
    return QDir::cleanPath(executableDirectory + QLatin1String("/..")) + QLatin1String("/Resources");
}

QString installedDataDirectoryFor(const QString &executableDirectory)
{
    return QDir::cleanPath(executableDirectory + QLatin1Char('/') + QLatin1String(MENDORA_DATA_FROM_BINARY));
}

QString shippedFilePathFor(const QString &executableDirectory, const QString &name)
{
    const QString beside = resourcesDirectoryFor(executableDirectory) + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = installedDataDirectoryFor(executableDirectory) + QLatin1Char('/') + name;
    return QFileInfo::exists(installed) ? installed : beside;
}

QString linksFilePath()
{
    return shippedFilePathFor(QCoreApplication::applicationDirPath(), QStringLiteral("MendoraLink.plist"));
}

QString helpPagePath()
{
    return shippedFilePathFor(QCoreApplication::applicationDirPath(), QStringLiteral("help/Mendora_Help.htm"));
}

QString agreementTextPath()
{
    return shippedFilePathFor(QCoreApplication::applicationDirPath(), QStringLiteral("Eula.txt"));
}

QString readLinkFromPropertyList(const QString &plistPath, const QString &key)
{
    QFile file(plistPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QXmlStreamReader xml(&file);
    // Only the dictionary directly under <plist> holds the links: depth 2 inside it.
    int depth = 0;
    bool keyMatched = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        if (depth != 3)
            continue;
        const QStringRef name = xml.name();
        if (name == QLatin1String("key")) {
            keyMatched = xml.readElementText() == key;
            --depth; // readElementText consumed the end tag
        } else if (keyMatched) {
            if (name != QLatin1String("string"))
                return QString();
            return xml.readElementText().trimmed();
        }
    }
    return QString();
}

void openLink(const QString &link)
{
    if (link.isEmpty())
        return;
    QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
}

void openLocalPage(QWidget *parent, const QString &path, const QString &title)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    // No handler on this machine: the page is shown in a window of the application.
    auto *window = new QDialog(parent);
    window->setObjectName(QStringLiteral("localPageWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    auto *page = new QTextBrowser(window);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        page->setPlainText(QObject::tr("%1 could not be read: %2").arg(path, file.errorString()));
    } else if (path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) {
        page->setPlainText(QString::fromLatin1(file.readAll()));
    } else {
        page->setSearchPaths({QFileInfo(path).absolutePath()});
        page->setHtml(QString::fromUtf8(file.readAll()));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(page);
    layout->addWidget(buttons);
    window->resize(640, 560);
    window->show();
    window->raise();
    window->activateWindow();
}
