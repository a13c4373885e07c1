#include "cli/PdfModule.h"

#include <BuildConfig.h>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {
using ApplicationFactory = QCoreApplication *(*)(int *, char **);
using PrinterFactory = MailPrinter *(*)();
PrinterFactory printerFactory = nullptr;

// Beside the program in a build tree, in the library directory once installed.
QStringList moduleCandidates()
{
    const QString programDirectory = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    return {programDirectory + QStringLiteral("/mendora-pdf.so"),
            QDir::cleanPath(programDirectory + QLatin1Char('/') + QLatin1String(MENDORA_PDF_MODULE_FROM_BINARY))};
}
} // namespace

std::unique_ptr<QCoreApplication> pdfApplication(int *argc, char **argv, QString *error)
{
    QStringList reasons;
    for (const QString &path : moduleCandidates()) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary module(path);
        const auto application = reinterpret_cast<ApplicationFactory>(module.resolve("mendoraPdfApplication"));
        printerFactory = reinterpret_cast<PrinterFactory>(module.resolve("mendoraPdfPrinter"));
        if (application && printerFactory)
            return std::unique_ptr<QCoreApplication>(application(argc, argv)); // the module stays loaded
        reasons.append(module.errorString());
    }
    *error = reasons.isEmpty() ? QStringLiteral("the PDF module is not installed: the package mendora-pdf holds it "
                                                "(looked for %1)")
                                     .arg(moduleCandidates().join(QLatin1String(", ")))
                               : reasons.join(QLatin1String("; "));
    return nullptr;
}

std::unique_ptr<MailPrinter> pdfPrinter()
{
    return std::unique_ptr<MailPrinter>(printerFactory ? printerFactory() : nullptr);
}
