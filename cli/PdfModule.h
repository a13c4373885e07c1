#pragma once
// The PDF writer, loaded from the module mendora-pdf for a PDF save only: laying text
// out takes fonts and so the GUI libraries, which the scanner does not link.
#include "archive/MailPrinter.h"

#include <QCoreApplication>
#include <QString>
#include <memory>

// The application object a PDF save runs under (a QGuiApplication on the offscreen
// platform); null, with the reason, when the module cannot be loaded.
std::unique_ptr<QCoreApplication> pdfApplication(int *argc, char **argv, QString *error);
// A printer of the module; null unless pdfApplication succeeded.
std::unique_ptr<MailPrinter> pdfPrinter();
