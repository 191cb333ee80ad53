// The search dialog over a small library: matching, hit texts and queue
// marks, its keys, buttons and context menu, and refreshing after the
// library changes.

#include "PlayQueue.h"
#include "Playlist.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace TestSupport;

namespace {

struct Record
{
    QString artist;
    QString title;
    QString album;
    QString duration;
    QString fileName;
};

/** Library records for a test: empty audio files in a temporary folder, loaded through a cache file. */
class Library
{
public:
    Playlist playlist;

    bool load(const QList<Record> &records)
    {
        QList<CacheEntry> entries;
        for (const Record &r : records)
            entries.append({touch(dir.filePath(r.fileName)), r.artist, r.title, r.album, r.duration});
        writeCacheFile(dir.filePath("playlist_cache.json"), entries);
        return playlist.loadFromCache(dir.filePath("playlist_cache.json")) && playlist.getTracks().size() == records.size();
    }

    QString path(int index) const { return playlist.at(index).toLocalFile(); }

private:
    QTemporaryDir dir;
};

const QList<Record> kRecords{
    {"Nina", "Blue", "", "3:07", "blue.mp3"},                      // 0
    {"Arvo", "Spiegel im Spiegel", "Alina", "10:12", "spiegel.flac"}, // 1
    {"", "", "", "", "[01] Intro.ogg"},                             // 2
    {"The Blue Notes", "Night", "Blue Album", "4:10", "night.mp3"},  // 3
    {"Ψάλτης", "Σίσυφος", "", "2:00", "sisyfos.wav"},                // 4
    {"Kora", "Song Five", "Ensemble", "5:05", "five.mp3"},           // 5
};

QList<int> rowIndices(const QListWidget *list)
{
    QList<int> indices;
    for (int row = 0; row < list->count(); ++row)
        indices << list->item(row)->data(Qt::UserRole).toInt();
    return indices;
}

} // namespace

class TestSearchDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void layoutAndTexts();
    void withoutLibraryNothingIsFound();
    void search_data();
    void search();
    void queueMarksOnHits();
    void contextMenuTogglesThroughWindow();
    void contextMenuOnEmptySpaceOpensNothing();
    void keysOnHits();
    void escapeClosesAndReopeningKeepsQueryWithFocus();
    void buttonsAndDoubleClickEmitIndex();
    void refreshResultsAfterLibraryChange();
    void outOfRangeIndexGetsNoMarkAndNoMenu();

private:
    Library *library = nullptr;
    PlayQueue *queue = nullptr;
    SearchDialog *dialog = nullptr;

    void showAndActivate();
    void type(const QString &text);
};

void TestSearchDialog::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestSearchDialog::init()
{
    library = new Library;
    QVERIFY(library->load(kRecords));
    queue = new PlayQueue;
    dialog = new SearchDialog(&library->playlist, queue);
}

void TestSearchDialog::cleanup()
{
    delete dialog;
    delete queue;
    delete library;
    dialog = nullptr;
    queue = nullptr;
    library = nullptr;
}

void TestSearchDialog::showAndActivate()
{
    dialog->show();
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
}

void TestSearchDialog::type(const QString &text)
{
    dialog->searchInput->selectAll();
    if (text.isEmpty())
        QTest::keyClick(dialog->searchInput, Qt::Key_Backspace);
    for (const QChar ch : text) {
        // QTest only knows key codes for ASCII; other letters come as text.
        if (ch.unicode() < 0x80)
            QTest::keyClick(dialog->searchInput, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, dialog->searchInput, Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
    }
    QCOMPARE(dialog->searchInput->text(), text);
}

void TestSearchDialog::layoutAndTexts()
{
    QCOMPARE(dialog->windowTitle(), QString("Search"));
    QCOMPARE(dialog->size(), QSize(400, 300));
    QCOMPARE(dialog->resultLabel->text(), QString("0 tracks found"));
    QCOMPARE(dialog->queueButton->toolTip(), QString("Add to queue"));
    QCOMPARE(dialog->jumpButton->toolTip(), QString("Jump to selected track"));
    QVERIFY(dialog->playButton->toolTip().isEmpty());
    for (QPushButton *button : {dialog->queueButton, dialog->jumpButton, dialog->playButton})
        QVERIFY(button->text().isEmpty());
    QCOMPARE(dialog->resultList->contextMenuPolicy(), Qt::CustomContextMenu);

    showAndActivate();
    // Query, hits, buttons, count from top to bottom; play at the left, queue and jump at the right.
    const QRect list = dialog->resultList->geometry();
    QVERIFY(dialog->searchInput->geometry().bottom() < list.top());
    QVERIFY(dialog->playButton->geometry().top() > list.bottom());
    QVERIFY(dialog->resultLabel->geometry().top() > dialog->playButton->geometry().bottom());
    QVERIFY(dialog->playButton->geometry().right() < dialog->queueButton->geometry().left());
    QVERIFY(dialog->queueButton->geometry().right() < dialog->jumpButton->geometry().left());
    QVERIFY(dialog->queueButton->geometry().left() - dialog->playButton->geometry().right() > 50);
}

void TestSearchDialog::withoutLibraryNothingIsFound()
{
    SearchDialog orphan(nullptr, nullptr);
    orphan.searchInput->setText("blue");
    QCOMPARE(orphan.resultList->count(), 0);
    QCOMPARE(orphan.resultLabel->text(), QString("0 tracks found"));
    orphan.updateQueueIndicators();
    orphan.refreshResults();
    QCOMPARE(orphan.resultList->count(), 0);
}

void TestSearchDialog::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<int>>("hits");
    QTest::addColumn<QString>("label");
    using L = QList<int>;
    QTest::newRow("case folded") << "BLUE" << L{0, 3} << "2 tracks found";
    QTest::newRow("surrounding blanks dropped") << "  nIGHT " << L{3} << "1 track found";
    // Folding, not lower-casing: the final sigma of the title matches a capital sigma.
    QTest::newRow("final sigma") << "ΣΊΣΥΦΟΣ" << L{4} << "1 track found";
    QTest::newRow("words in order") << "nina blue" << L{0} << "1 track found";
    QTest::newRow("words out of order") << "blue nina" << L{} << "0 tracks found";
    // Spacing as typed: the empty album leaves two blanks before the file name.
    QTest::newRow("two blanks for no album") << "blue  blue.mp3" << L{0} << "1 track found";
    QTest::newRow("one blank") << "blue blue.mp3" << L{} << "0 tracks found";
    QTest::newRow("album") << "alina" << L{1} << "1 track found";
    QTest::newRow("file name") << "intro.ogg" << L{2} << "1 track found";
    // The file name's own "[01]" is no queue mark.
    QTest::newRow("file name like a mark") << "[01]" << L{2} << "1 track found";
    QTest::newRow("extension") << ".mp3" << L{0, 3, 5} << "3 tracks found";
    QTest::newRow("all") << "." << L{0, 1, 2, 3, 4, 5} << "6 tracks found";
    QTest::newRow("none") << "zzz" << L{} << "0 tracks found";
    QTest::newRow("blanks only") << "   " << L{} << "0 tracks found";
    QTest::newRow("emptied") << "" << L{} << "0 tracks found";
}

void TestSearchDialog::search()
{
    QFETCH(QString, query);
    QFETCH(QList<int>, hits);
    QFETCH(QString, label);

    // Typed over an earlier query that found something.
    showAndActivate();
    type("blue");
    type(query);
    QCOMPARE(rowIndices(dialog->resultList), hits);
    QStringList names;
    for (int index : hits)
        names << library->playlist.getTracks().at(index).displayName;
    QCOMPARE(rowTexts(dialog->resultList), names);
    QCOMPARE(dialog->resultLabel->text(), label);
}

void TestSearchDialog::queueMarksOnHits()
{
    queue->add(library->path(1));
    queue->add(library->path(5));
    queue->setActive(true);
    type("five");
    QCOMPARE(rowTexts(dialog->resultList), QStringList{"[2] Kora - Song Five (5:05)"});

    type("e");
    const QStringList marked = rowTexts(dialog->resultList);
    QVERIFY(marked.contains("[1] Arvo - Spiegel im Spiegel (10:12)"));
    QVERIFY(marked.contains("[2] Kora - Song Five (5:05)"));
    QVERIFY(marked.contains("Nina - Blue (3:07)"));

    // The window takes track 5 out and refreshes the marks; the rest is renumbered.
    queue->remove(library->path(1));
    dialog->updateQueueIndicators();
    const QStringList renumbered = rowTexts(dialog->resultList);
    QVERIFY(renumbered.contains("Arvo - Spiegel im Spiegel (10:12)"));
    QVERIFY(renumbered.contains("[1] Kora - Song Five (5:05)"));

    queue->clear();
    dialog->updateQueueIndicators();
    for (const QString &text : rowTexts(dialog->resultList))
        QVERIFY2(!text.startsWith('['), qPrintable(text));
}

void TestSearchDialog::contextMenuTogglesThroughWindow()
{
    // The window's part: toggle the path and refresh the marks.
    connect(dialog, &SearchDialog::queueRequested, dialog, [this](const int &index) {
        const QString path = library->path(index);
        if (queue->contains(path)) {
            queue->remove(path);
        } else {
            queue->add(path);
            queue->setActive(true);
        }
        dialog->updateQueueIndicators();
    });
    queue->add(library->path(0));
    queue->add(library->path(5));
    queue->setActive(true);
    showAndActivate();
    type("five");
    QListWidget *list = dialog->resultList;
    QCOMPARE(list->item(0)->text(), QString("[2] Kora - Song Five (5:05)"));
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);

    const QPoint row = list->visualItemRect(list->item(0)).center();
    QCOMPARE(answerMenu(list, row, "Remove from queue"), QStringList{"Remove from queue"});
    QCOMPARE(queued.count(), 1);
    QCOMPARE(queued.at(0).at(0).toInt(), 5);
    QCOMPARE(list->item(0)->text(), QString("Kora - Song Five (5:05)"));

    // Dismissed, the menu asks for nothing.
    QCOMPARE(answerMenu(list, row, QString()), QStringList{"Add to queue"});
    QCOMPARE(queued.count(), 1);
    QCOMPARE(answerMenu(list, row, "Add to queue"), QStringList{"Add to queue"});
    QCOMPARE(list->item(0)->text(), QString("[2] Kora - Song Five (5:05)"));
}

void TestSearchDialog::contextMenuOnEmptySpaceOpensNothing()
{
    showAndActivate();
    type("spiegel");
    QListWidget *list = dialog->resultList;
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    const QRect row = list->visualItemRect(list->item(0));
    QCOMPARE(answerMenu(list, QPoint(row.center().x(), row.bottom() + 40), "Add to queue"), QStringList());
    QCOMPARE(queued.count(), 0);
}

void TestSearchDialog::keysOnHits()
{
    showAndActivate();
    QVERIFY(dialog->searchInput->hasFocus());
    type("blue");
    QCOMPARE(dialog->resultList->currentRow(), -1);
    QSignalSpy played(dialog, &SearchDialog::playRequested);
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    QSignalSpy jumped(dialog, &SearchDialog::jumpRequested);

    // Down from the query field goes to the first hit; on the list it is the list's own.
    QTest::keyClick(dialog->searchInput, Qt::Key_Down);
    QVERIFY(dialog->resultList->hasFocus());
    QCOMPARE(dialog->resultList->currentRow(), 0);
    QTest::keyClick(dialog->resultList, Qt::Key_Down); // the second hit, library record 3
    QCOMPARE(dialog->resultList->currentRow(), 1);
    QTest::keyClick(dialog->resultList, Qt::Key_Return);
    QCOMPARE(played.count(), 1);
    QCOMPARE(played.at(0).at(0).toInt(), 3);
    QTest::keyClick(dialog->resultList, Qt::Key_Enter);
    QCOMPARE(played.count(), 2);
    QTest::keyClick(dialog->resultList, Qt::Key_Q);
    QCOMPARE(queued.count(), 1);
    QCOMPARE(queued.at(0).at(0).toInt(), 3);
    // Shifted letters count too.
    QTest::keyClick(dialog->resultList, Qt::Key_Q, Qt::ShiftModifier);
    QCOMPARE(queued.count(), 2);
    QTest::keyClick(dialog->resultList, Qt::Key_C);
    QCOMPARE(jumped.count(), 1);
    QCOMPARE(jumped.at(0).at(0).toInt(), 3);
    QVERIFY(dialog->isVisible());
    QCOMPARE(played.count(), 2);
    QCOMPARE(queued.count(), 2);
}

void TestSearchDialog::escapeClosesAndReopeningKeepsQueryWithFocus()
{
    showAndActivate();
    type("blue");
    QTest::keyClick(dialog->searchInput, Qt::Key_Down);
    QVERIFY(dialog->resultList->hasFocus());
    QTest::keyClick(dialog->resultList, Qt::Key_Escape);
    QVERIFY(dialog->isHidden());

    showAndActivate();
    QVERIFY(dialog->searchInput->hasFocus());
    QCOMPARE(dialog->searchInput->text(), QString("blue"));
    QCOMPARE(rowIndices(dialog->resultList), (QList<int>{0, 3}));
    QCOMPARE(dialog->resultLabel->text(), QString("2 tracks found"));

    QTest::keyClick(dialog->searchInput, Qt::Key_Escape);
    QVERIFY(dialog->isHidden());
}

void TestSearchDialog::buttonsAndDoubleClickEmitIndex()
{
    showAndActivate();
    type("e");
    QListWidget *list = dialog->resultList;
    const int row = rowIndices(list).indexOf(5);
    QVERIFY(row >= 0);
    QSignalSpy played(dialog, &SearchDialog::playRequested);
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    QSignalSpy jumped(dialog, &SearchDialog::jumpRequested);

    // Without a current row the buttons ask for nothing.
    QCOMPARE(list->currentRow(), -1);
    for (QPushButton *button : {dialog->playButton, dialog->queueButton, dialog->jumpButton})
        QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(played.count() + queued.count() + jumped.count(), 0);

    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(dialog->playButton, Qt::LeftButton);
    QTest::mouseClick(dialog->queueButton, Qt::LeftButton);
    QTest::mouseClick(dialog->jumpButton, Qt::LeftButton);
    QCOMPARE(played.count(), 1);
    QCOMPARE(played.at(0).at(0).toInt(), 5);
    QCOMPARE(queued.count(), 1);
    QCOMPARE(queued.at(0).at(0).toInt(), 5);
    QCOMPARE(jumped.count(), 1);
    QCOMPARE(jumped.at(0).at(0).toInt(), 5);

    const QPoint first = list->visualItemRect(list->item(0)).center();
    // A double click is a click followed by a second press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(played.count(), 2);
    QCOMPARE(played.at(1).at(0).toInt(), list->item(0)->data(Qt::UserRole).toInt());
}

void TestSearchDialog::refreshResultsAfterLibraryChange()
{
    queue->add(library->path(0));
    queue->setActive(true);
    type("blue");
    QCOMPARE(rowIndices(dialog->resultList), (QList<int>{0, 3}));

    // A new library puts other records at those indices.
    QList<Record> replaced{{"Someone", "Else", "", "1:00", "else.mp3"}};
    replaced += kRecords;
    QVERIFY(library->load(replaced));

    dialog->refreshResults();
    QCOMPARE(dialog->searchInput->text(), QString("blue"));
    QCOMPARE(rowIndices(dialog->resultList), (QList<int>{1, 4}));
    const QList<Playlist::TrackInfo> tracks = library->playlist.getTracks();
    QCOMPARE(rowTexts(dialog->resultList),
             (QStringList{"[1] " + tracks.at(1).displayName, tracks.at(4).displayName}));
    QCOMPARE(dialog->resultLabel->text(), QString("2 tracks found"));

    // Playing the first hit now asks for the record it names.
    showAndActivate();
    QSignalSpy played(dialog, &SearchDialog::playRequested);
    QTest::keyClick(dialog->searchInput, Qt::Key_Down);
    QTest::keyClick(dialog->resultList, Qt::Key_Return);
    QCOMPARE(played.count(), 1);
    QCOMPARE(library->playlist.at(played.at(0).at(0).toInt()).fileName(), QString("blue.mp3"));
}

void TestSearchDialog::outOfRangeIndexGetsNoMarkAndNoMenu()
{
    showAndActivate();
    type("five");
    QListWidget *list = dialog->resultList;
    QCOMPARE(rowIndices(list), QList<int>{5});
    queue->add(library->path(5));
    queue->setActive(true);
    dialog->updateQueueIndicators();
    QCOMPARE(list->item(0)->text(), QString("[1] Kora - Song Five (5:05)"));

    // The library shrinks and nobody re-runs the query: the row's index is now out of range.
    QVERIFY(library->load(kRecords.mid(0, 2)));
    dialog->updateQueueIndicators();
    QCOMPARE(list->item(0)->text(), QString("Kora - Song Five (5:05)"));

    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    QCOMPARE(answerMenu(list, list->visualItemRect(list->item(0)).center(), "Add to queue"), QStringList());
    QCOMPARE(queued.count(), 0);
    QVERIFY(!dialog->createContextMenu(-1));
    QVERIFY(!dialog->createContextMenu(2));
}

QTEST_MAIN(TestSearchDialog)
#include "test_searchdialog.moc"
