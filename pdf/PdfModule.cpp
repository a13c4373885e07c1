// The PDF writer as a module that mendora-cli loads only for a PDF save, so that the
// scanner itself links neither the GUI libraries nor what they bring (X11, GL).
#include "pdf/PdfMailPrinter.h"

#include <QGuiApplication>

extern "C" {

// The application object a PDF save runs under: a QGuiApplication, since laying text
// out takes fonts, on the offscreen platform, since a save needs no display.
Q_DECL_EXPORT QCoreApplication *mendoraPdfApplication(int *argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(*argc, argv);
}

Q_DECL_EXPORT MailPrinter *mendoraPdfPrinter()
{
    return new PdfMailPrinter;
}
}
