// mendora-bench-browse FILE [RUNS]: scans FILE in the real main window (run it with
// QT_QPA_PLATFORM=offscreen), then clicks the mail folder that holds the most mails
// and times the click until the list is filled, the first mail previewed and the
// window painted. Switching between that folder and the contacts RUNS times more
// shows whether memory grows. Then it times sorting that folder by its Date header and
// filtering it with the search box, a keystroke at a time, and the search across every
// folder: each keystroke until the window is free again, the time until the first mail
// found shows and until every mail was looked at. Prints one JSON object.
// With --open-only after RUNS, it stops after the scan and the first click on that folder:
// whether the window opens the file at all, inside a memory limit say.
#include "app/AppState.h"
#include "app/QEntourageMainWindow.h"
#include "browse/MailSearchPane.h"
#include "browse/QParseDatabase.h"
#include "browse/QPreviewOfItems.h"
#include "parsers/RecordLists.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QTimer>
#include <QJsonObject>
#include <QMap>
#include <QTest>
#include <QTreeWidget>
#include <QTreeView>
#include <algorithm>
#include <sys/resource.h>
#include <cstdio>
#include <vector>

namespace {
// Resident set of this process in bytes.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * 4096 : -1;
}

void click(QTreeWidget *tree, QTreeWidgetItem *item)
{
    tree->scrollToItem(item);
    const QRect row = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(row.left() + 60, row.center().y()));
}

// Milliseconds from the click until the list is filled and every pending event, painting
// included, has been handled.
double timedClick(QTreeWidget *tree, QTreeWidgetItem *item)
{
    QElapsedTimer clock;
    clock.start();
    click(tree, item);
    QCoreApplication::processEvents();
    return clock.nsecsElapsed() / 1e6;
}

// Milliseconds of each click on a column's header (sorting by it, then the other way)
// until every event is handled; the clicks are apart enough not to make a double click.
std::vector<double> timedHeaderClicks(QHeaderView *header, int column, int clicks)
{
    std::vector<double> times;
    for (int click = 0; click < clicks; ++click) {
        QTest::qWait(QApplication::doubleClickInterval() + 10);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        QCoreApplication::processEvents();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    return times;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double worst(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The search across every folder, typed a letter at a time: how long each keystroke
// holds the window, and for the whole word how long until the first mail found is in the
// list and until the search has looked at every mail.
struct SearchFigures {
    std::vector<double> keystrokes, firstResults, completions;
    int found = 0;
};

SearchFigures timeSearch(MailSearchPane *search, const QString &word, bool bodies, int runs)
{
    SearchFigures figures;
    search->bodiesBox()->setChecked(bodies);
    for (int run = 0; run < runs; ++run) {
        search->searchField()->clear();
        QCoreApplication::processEvents();
        QElapsedTimer sinceLast;
        for (const QChar letter : word) {
            QElapsedTimer clock;
            clock.start();
            QTest::keyClicks(search->searchField(), QString(letter));
            QCoreApplication::processEvents();
            figures.keystrokes.push_back(clock.nsecsElapsed() / 1e6);
            sinceLast.start();
        }
        double first = -1;
        while (search->isSearching()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (first < 0 && search->results()->rowCount() > 0)
                first = sinceLast.nsecsElapsed() / 1e6;
        }
        QCoreApplication::processEvents();
        if (first < 0 && search->results()->rowCount() > 0)
            first = sinceLast.nsecsElapsed() / 1e6;
        figures.completions.push_back(sinceLast.nsecsElapsed() / 1e6);
        if (first >= 0)
            figures.firstResults.push_back(first);
        figures.found = search->results()->rowCount();
    }
    return figures;
}

// Largest resident set of this process so far, in bytes.
qint64 peakResidentBytes()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(mendora);
    if (argc < 2) {
        fprintf(stderr, "usage: mendora-bench-browse FILE [RUNS [--open-only]]\n");
        return 2;
    }
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 5;
    const bool openOnly = argc > 3 && qstrcmp(argv[3], "--open-only") == 0;

    QEntourageMainWindow window;
    window.resize(1200, 800);
    window.show();
    m_pParseDatabase->ChooseFile(QString::fromLocal8Bit(argv[1]));
    // A scan that ends early says so in a message box: its text goes into the figures, and
    // the box is answered, as nobody is there to.
    QStringList scanMessages;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&scanMessages] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            scanMessages << box->text();
            box->accept();
        }
    });
    answerer.start(50);
    m_pParseDatabase->OnStartScan();
    answerer.stop();
    if (!anyRecordsLoaded()) {
        fprintf(stderr, "the scan found nothing\n");
        return 1;
    }

    QMap<qint64, int> mailsPerFolder;
    for (const MailMLRC *mail = TmpMlrcPtrStart; mail; mail = mail->Next)
        ++mailsPerFolder[mail->ParentId];
    const auto largest = std::max_element(mailsPerFolder.cbegin(), mailsPerFolder.cend());
    QTreeWidget *tree = window.folderTree();
    QTreeWidgetItem *folder = objMapFileIdTreeItem.value(largest.key());
    QTreeWidgetItem *contacts = nullptr;
    for (auto it = objMapFileIdTreeItem.cbegin(); it != objMapFileIdTreeItem.cend(); ++it) {
        if (it.value()->text(FolderTypeColumn) == QLatin1String("41"))
            contacts = it.value();
    }
    if (!folder || !contacts) {
        fprintf(stderr, "the file needs a mail folder and a contacts folder\n");
        return 1;
    }

    std::vector<double> clicks;
    qint64 residentAfterFirst = 0;
    for (int run = 0; run < runs; ++run) {
        clicks.push_back(timedClick(tree, folder));
        if (window.itemList()->topLevelItemCount() != *largest) {
            fprintf(stderr, "the list shows %d rows, not %d\n", window.itemList()->topLevelItemCount(), *largest);
            return 1;
        }
        if (run == 0)
            residentAfterFirst = residentBytes();
        if (openOnly) {
            QJsonObject opened;
            opened.insert(QStringLiteral("allMails"), double(MailItemCount));
            opened.insert(QStringLiteral("mails"), *largest);
            opened.insert(QStringLiteral("medianMs"), clicks.front());
            opened.insert(QStringLiteral("residentAfterFirstClick"), double(residentAfterFirst));
            opened.insert(QStringLiteral("peakResident"), double(peakResidentBytes()));
            opened.insert(QStringLiteral("scanMessages"), QJsonArray::fromStringList(scanMessages));
            printf("%s\n", QJsonDocument(opened).toJson(QJsonDocument::Compact).constData());
            return 0;
        }
        timedClick(tree, contacts);
    }
    // Many more switches: the resident set must stay where the first ones left it.
    for (int run = 0; run < 4 * runs; ++run) {
        timedClick(tree, folder);
        timedClick(tree, contacts);
    }
    const qint64 residentAfterAll = residentBytes();

    // Sorting the big folder by date with a click on the Date header, and filtering it
    // with the search box one keystroke at a time, each until every event is handled.
    timedClick(tree, folder);
    QHeaderView *header = window.itemList()->header();
    const int dateColumn = ItemFirstDetailColumn + 1;
    std::vector<double> sorts = timedHeaderClicks(header, dateColumn, 2 * runs);
    const QString word = QStringLiteral("meeting");
    std::vector<double> keystrokes;
    for (int run = 0; run < runs; ++run) {
        window.searchBox()->clear();
        QCoreApplication::processEvents();
        for (const QChar letter : word) {
            QElapsedTimer clock;
            clock.start();
            QTest::keyClicks(window.searchBox(), QString(letter));
            QCoreApplication::processEvents();
            keystrokes.push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    window.searchBox()->clear();
    QCoreApplication::processEvents();

    // Across every folder: a word in many mails, one in none (every mail is looked at),
    // and the same word in the bodies too. Then the results sorted by date.
    MailSearchPane *search = window.mailSearch();
    const SearchFigures common = timeSearch(search, QStringLiteral("example"), false, runs);
    const SearchFigures none = timeSearch(search, QStringLiteral("quetzalcoatl"), false, runs);
    const SearchFigures bodies = timeSearch(search, word, true, 1);
    timeSearch(search, QStringLiteral("example"), false, 1);
    QHeaderView *resultsHeader = search->resultsView()->header();
    const int resultsDate = SearchResultsModel::DateColumn;
    const std::vector<double> resultSorts = timedHeaderClicks(resultsHeader, resultsDate, 2 * runs);

    int shownAfterFilter = 0;
    for (int i = 0; i < window.itemList()->topLevelItemCount(); ++i)
        shownAfterFilter += window.itemList()->topLevelItem(i)->isHidden() ? 0 : 1;
    std::sort(sorts.begin(), sorts.end());
    std::sort(keystrokes.begin(), keystrokes.end());

    std::sort(clicks.begin(), clicks.end());
    QJsonObject result;
    result.insert(QStringLiteral("mails"), *largest);
    result.insert(QStringLiteral("bestMs"), clicks.front());
    result.insert(QStringLiteral("medianMs"), clicks[clicks.size() / 2]);
    result.insert(QStringLiteral("worstMs"), clicks.back());
    result.insert(QStringLiteral("residentAfterFirstClick"), double(residentAfterFirst));
    result.insert(QStringLiteral("residentAfterSwitching"), double(residentAfterAll));
    result.insert(QStringLiteral("switches"), 5 * runs);
    result.insert(QStringLiteral("sortByDateMedianMs"), sorts[sorts.size() / 2]);
    result.insert(QStringLiteral("sortByDateWorstMs"), sorts.back());
    result.insert(QStringLiteral("filterKeystrokeMedianMs"), keystrokes[keystrokes.size() / 2]);
    result.insert(QStringLiteral("filterKeystrokeWorstMs"), keystrokes.back());
    result.insert(QStringLiteral("filterWord"), word);
    result.insert(QStringLiteral("rowsMatchingWord"), shownAfterFilter);
    result.insert(QStringLiteral("allMails"), double(MailItemCount));
    const std::pair<const char *, const SearchFigures *> searches[] = {
        {"searchCommon", &common}, {"searchNone", &none}, {"searchBodies", &bodies}};
    for (const auto &named : searches) {
        const QString name = QLatin1String(named.first);
        result.insert(name + QStringLiteral("KeystrokeMedianMs"), median(named.second->keystrokes));
        result.insert(name + QStringLiteral("KeystrokeWorstMs"), worst(named.second->keystrokes));
        result.insert(name + QStringLiteral("FirstResultMs"), named.second->firstResults.empty() ? -1 : median(named.second->firstResults));
        result.insert(name + QStringLiteral("CompleteMs"), median(named.second->completions));
        result.insert(name + QStringLiteral("Found"), named.second->found);
    }
    result.insert(QStringLiteral("searchCommonWord"), QStringLiteral("example"));
    result.insert(QStringLiteral("searchBodiesWord"), word);
    result.insert(QStringLiteral("sortResultsByDateMedianMs"), median(resultSorts));
    result.insert(QStringLiteral("sortResultsByDateWorstMs"), worst(resultSorts));
    result.insert(QStringLiteral("peakResident"), double(peakResidentBytes()));
    result.insert(QStringLiteral("scanMessages"), QJsonArray::fromStringList(scanMessages));
    printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}
