// The PDF writer loads nothing a mail names from outside itself: neither local files
// nor anything from the network; an image written into the body is shown unless its
// header claims a size that decoding would need gigabytes for.
#include "pdf/PdfMailPrinter.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray pngBytes(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A PNG whose header claims width by height pixels, with no pixel data after it.
QByteArray pngHeaderClaiming(quint32 width, quint32 height)
{
    QByteArray png = pngBytes(QSize(1, 1));
    // IHDR's width and height follow the 8-byte signature, the chunk length and its type.
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = char(width >> (24 - 8 * i));
        png[20 + i] = char(height >> (24 - 8 * i));
    }
    return png.left(33);
}

// The picture a mail might name: a size no placeholder has, found again by its size.
const QSize kPictureSize(37, 23);

bool holdsPicture(const QByteArray &pdf)
{
    static const QRegularExpression width(QStringLiteral("/Width\\s*%1\\b").arg(kPictureSize.width()));
    static const QRegularExpression height(QStringLiteral("/Height\\s*%1\\b").arg(kPictureSize.height()));
    const QString text = QString::fromLatin1(pdf.constData(), pdf.size()); // past its zero bytes
    return width.match(text).hasMatch() && height.match(text).hasMatch();
}

QByteArray printed(const QString &body, const QVector<PrintedFile> &files = {})
{
    QByteArray pdf;
    QBuffer out(&pdf);
    out.open(QIODevice::WriteOnly);
    PdfMailPrinter printer;
    PrintedMail mail;
    mail.header = {{QStringLiteral("Subject"), QStringLiteral("<img src=\"data:,x\">")}};
    mail.body = body;
    mail.bodyIsHtml = true;
    printer.begin(&out, QStringLiteral("test"), files);
    printer.addMail(mail);
    printer.finish();
    return pdf;
}
} // namespace

class PdfPrinterTest : public QObject
{
    Q_OBJECT

private slots:
    void imagesFromOutsideTheMailAreNotLoaded_data();
    void imagesFromOutsideTheMailAreNotLoaded();
    void carriesTheFilesItIsGiven();
};

void PdfPrinterTest::imagesFromOutsideTheMailAreNotLoaded_data()
{
    QTest::addColumn<QString>("image");
    QTest::addColumn<bool>("shown");
    static QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("secret.png"));
    QFile file(local);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(pngBytes(kPictureSize)) > 0);
    file.close();
    QTest::newRow("written into the body")
        << QStringLiteral("data:image/png;base64,") + QString::fromLatin1(pngBytes(kPictureSize).toBase64()) << true;
    QTest::newRow("local file by URL") << QUrl::fromLocalFile(local).toString() << false;
    QTest::newRow("local file by path") << local << false;
    QTest::newRow("server") << QStringLiteral("http://127.0.0.1:9/tracker.png") << false;
    QTest::newRow("claims 60000 x 60000 pixels")
        << QStringLiteral("data:image/png;base64,") + QString::fromLatin1(pngHeaderClaiming(60000, 60000).toBase64())
        << false;
}

void PdfPrinterTest::imagesFromOutsideTheMailAreNotLoaded()
{
    QFETCH(QString, image);
    QFETCH(bool, shown);
    const QByteArray pdf = printed(QStringLiteral("<p>before</p><img src=\"%1\"><link rel=\"stylesheet\" href=\"%1\">"
                                                  "<p>after</p>").arg(image.toHtmlEscaped()));
    QVERIFY(pdf.startsWith("%PDF-"));
    QCOMPARE(holdsPicture(pdf), shown);
}

void PdfPrinterTest::carriesTheFilesItIsGiven()
{
    const QByteArray pdf = printed(QStringLiteral("<p>x</p>"), {{QStringLiteral("report.docx"), QString(), "contents"},
                                                                {QStringLiteral("notes.txt"), QStringLiteral("text/plain"), "more"}});
    QCOMPARE(pdf.count("/Type/Filespec"), 2);
    QVERIFY(pdf.contains("report.docx"));
    QVERIFY(pdf.contains("notes.txt"));
}

QTEST_MAIN(PdfPrinterTest)
#include "test_pdfprinter.moc"
