#pragma once
// Answers the modal dialogs a slot opens, so that tests can drive it to its end.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "app/SaveFormatDialog.h"
#include "olm/FolderHierarchy.h"
#include "olm/ScanState.h"
#include "parsers/FolderInformation.h"
#include "scan/ScanSession.h"

#include <QtTest>

#include <QCheckBox>
#include <QRadioButton>

// Writes bytes to a file of that name in dir and returns its path.
inline QString writeTestFile(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

// Scans the intact sample as Start does, and makes it the file the window works on.
inline void scanIntactSample()
{
    const QString sample = QFINDTESTDATA("../../samples/intact.olm");
    QVERIFY(!sample.isEmpty());
    FolderInformation parsers;
    QCOMPARE(int(scanFile(sample, parsers, WalkHooks())), int(ScanResult::Finished));
    m_strDatabasePath = sample;
}

// A folder as a scan makes it: the top-level "Contacts", "Calendars", "Tasks" and
// "Notes" as the folders of their item kinds, every other path as mail folders.
inline void createScannedFolder(const QString &path)
{
    const QList<QPair<QString, FolderType>> kinds{{"Contacts", ContactsFolderType}, {"Calendars", CalendarFolderType},
                                                  {"Tasks", TasksFolderType}, {"Notes", NotesFolderType}};
    for (const auto &kind : kinds) {
        if (path == kind.first) {
            kindFolderCreator(path, kind.second);
            return;
        }
    }
    treeCreator(path);
}

// Answers every message box that becomes the active modal widget while it lives,
// and remembers what each one said.
class MessageBoxAnswerer : public QObject
{
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer)
        : m_answer(answer)
    {
        connect(&m_poll, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
        m_poll.start(5);
    }

    QStringList texts;
    QStringList informativeTexts;
    QStringList titles;
    QList<QMessageBox::StandardButton> defaultButtons; // what Return would answer

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        texts << box->text();
        defaultButtons << box->standardButton(box->defaultButton());
        informativeTexts << box->informativeText();
        titles << box->windowTitle();
        QAbstractButton *button = box->button(m_answer);
        if (!button)
            button = box->defaultButton();
        if (button)
            button->click();
        else
            box->close();
    }

    QMessageBox::StandardButton m_answer;
    QTimer m_poll;
};

// Answers the next file dialog: with path (selected and accepted), or cancels it when path is empty.
class FileDialogAnswerer : public QObject
{
public:
    explicit FileDialogAnswerer(const QString &path)
        : m_path(path)
    {
        connect(&m_poll, &QTimer::timeout, this, &FileDialogAnswerer::poll);
        m_poll.start(5);
    }

    int answered = 0;
    QString lastTitle;
    QStringList lastNameFilters;

private:
    void poll()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        ++answered;
        lastTitle = dialog->windowTitle();
        lastNameFilters = dialog->nameFilters();
        if (m_path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(m_path);
        QMetaObject::invokeMethod(dialog, "accept");
    }

    QString m_path;
    QTimer m_poll;
};

// Answers the next directory chooser with directory (entered, then accepted), or
// cancels it when directory is empty. Entering it rather than typing its name keeps
// quotes in the name from being read as a list of names.
class DirectoryChooserAnswerer : public QObject
{
public:
    explicit DirectoryChooserAnswerer(const QString &directory)
        : m_directory(directory)
    {
        connect(&m_poll, &QTimer::timeout, this, &DirectoryChooserAnswerer::poll);
        m_poll.start(5);
    }

    QStringList titles;

private:
    void poll()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        titles << dialog->windowTitle();
        if (m_directory.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(m_directory);
        QMetaObject::invokeMethod(dialog, "accept");
    }

    QString m_directory;
    QTimer m_poll;
};

// Answers the format question of a save with format, as a click on its choice would.
class FormatChooserAnswerer : public QObject
{
public:
    explicit FormatChooserAnswerer(BundleFormat format, bool pdfPerFolder = false)
        : m_format(format), m_pdfPerFolder(pdfPerFolder)
    {
        connect(&m_poll, &QTimer::timeout, this, &FormatChooserAnswerer::poll);
        m_poll.start(5);
    }

    int asked = 0;
    QVector<BundleFormat> offered; // the choice the question showed first
    QVector<bool> perFolderOffered; // whether "one PDF for each folder" could be chosen, once chosen the format

private:
    void poll()
    {
        auto *dialog = qobject_cast<SaveFormatDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        ++asked;
        offered.append(dialog->format());
        static const char *const kChoices[] = {"bundleFormat", "standardFormat", "emlFormat", "pdfFormat"};
        dialog->findChild<QRadioButton *>(QLatin1String(kChoices[int(m_format)]))->click();
        auto *perFolder = dialog->findChild<QCheckBox *>(QStringLiteral("pdfPerFolder"));
        perFolderOffered.append(perFolder->isEnabled());
        if (perFolder->isChecked() != m_pdfPerFolder)
            perFolder->click();
        dialog->accept();
    }

    BundleFormat m_format;
    bool m_pdfPerFolder;
    QTimer m_poll;
};
