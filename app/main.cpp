#include "app/Agreement.h"
#include "app/AppPaths.h"
#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "app/QLicenseAgreement.h"
#include "browse/QParseDatabase.h"

#include <BuildConfig.h>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// mendora [FILE.olm [--scan]]: with a file the browse window opens with it chosen,
// and with --scan its scan starts at once.
int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(MENDORA_VERSION));
    // Every window's title ends in it, and an untitled one shows it.
    QApplication::setApplicationDisplayName(QObject::tr("Mendora"));
    Q_INIT_RESOURCE(mendora);

    const QString executableDirectory = QCoreApplication::applicationDirPath();
    if (executableDirectory.toLatin1() == kDiskImageExecutableDirectory) {
        QMessageBox::information(nullptr, QObject::tr("Veltrax"),
                                 QObject::tr("Kindly copy the Veltrax Mendora \nexecutable in the Applications "
                                             "folder and run from there."));
        return 0;
    }

    if (!agreementGiven(QLatin1String(kAgreementMarkerPath))) {
        QLicenseAgreement agreement(agreementTextPath());
        if (agreement.exec() != QDialog::Accepted)
            return 0;
        // Without a marker the agreement is simply asked for again next time.
        recordAgreement(QLatin1String(kAgreementMarkerPath));
    }

    QEntourageMainWindow window;
    window.setWindowTitle(QObject::tr("Mendora"));
    window.show();

    QString olmPath;
    bool scanAtOnce = false;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--scan"))
            scanAtOnce = true;
        else if (olmPath.isEmpty())
            olmPath = argument;
    }
    if (!olmPath.isEmpty()) {
        m_pParseDatabase->ChooseFile(olmPath);
        if (scanAtOnce)
            QTimer::singleShot(0, m_pParseDatabase, &QParseDatabase::OnStartScan);
    }
    return application.exec();
}
