#include "PlayQueue.h"
#include "Playlist.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

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
        QJsonArray tracks;
        for (const Record &record : records) {
            const QString path = dir.filePath(record.fileName);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return false;
            file.write("x");
            tracks.append(QJsonObject{{"path", path},
                                      {"artist", record.artist},
                                      {"title", record.title},
                                      {"album", record.album},
                                      {"duration", record.duration}});
        }
        const QString cachePath = dir.filePath("playlist_cache.json");
        QFile cache(cachePath);
        if (!cache.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        cache.write(QJsonDocument(QJsonObject{{"tracks", tracks}}).toJson());
        cache.close();
        return playlist.loadFromCache(cachePath) && playlist.getTracks().size() == records.size();
    }

    QString path(int index) const { return playlist.at(index).toLocalFile(); }

private:
    QTemporaryDir dir;
};

const QList<Record> kRecords{
    {"Nina", "Blue", "", "3:07", "blue.mp3"},                      // 0
    {"Arvo", "Spiegel im Spiegel", "Alina", "10:12", "spiegel.flac"}, // 1
    {"", "", "", "", "01 Intro.ogg"},                               // 2
    {"The Blue Notes", "Night", "Blue Album", "4:10", "night.mp3"},  // 3
    {"Ψάλτης", "Σίσυφος", "", "2:00", "sisyfos.wav"},                // 4
    {"Kora", "Song Five", "Ensemble", "5:05", "five.mp3"},           // 5
};

QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

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
    void blanksOnlyQueryFindsNothing();
    void caseFoldingOnBothSides();
    void queryIsOneSubstringInWordOrder();
    void hitCountTexts_data();
    void hitCountTexts();
    void rowsCarryLibraryIndexAndDisplayName();
    void queueMarksOnHits();
    void contextMenuTexts();
    void contextMenuTogglesThroughWindow();
    void contextMenuOnEmptySpaceOpensNothing();
    void keyDownMovesToFirstHit();
    void keysOnHits();
    void escapeClosesAndReopeningKeepsQueryWithFocus();
    void buttonsWithoutCurrentRowDoNothing();
    void buttonsAndDoubleClickEmitIndex();
    void refreshResultsAfterLibraryChange();
    void outOfRangeIndexGetsNoMarkAndNoMenu();
    void iconsTinted();

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

void TestSearchDialog::blanksOnlyQueryFindsNothing()
{
    showAndActivate();
    type("blue");
    QVERIFY(dialog->resultList->count() > 0);
    type("   ");
    QCOMPARE(dialog->resultList->count(), 0);
    QCOMPARE(dialog->resultLabel->text(), QString("0 tracks found"));
    type(QString());
    QCOMPARE(dialog->resultList->count(), 0);
    QCOMPARE(dialog->resultLabel->text(), QString("0 tracks found"));
}

void TestSearchDialog::caseFoldingOnBothSides()
{
    showAndActivate();
    type("BLUE");
    QCOMPARE(rowIndices(dialog->resultList), (QList<int>{0, 3}));

    // Surrounding blanks do not count.
    type("  nIGHT ");
    QCOMPARE(rowIndices(dialog->resultList), QList<int>{3});

    // Folding, not lower-casing: the final sigma of the title matches a capital sigma.
    type("ΣΊΣΥΦΟΣ");
    QCOMPARE(rowIndices(dialog->resultList), QList<int>{4});
}

void TestSearchDialog::queryIsOneSubstringInWordOrder()
{
    showAndActivate();
    type("nina blue");
    QCOMPARE(rowIndices(dialog->resultList), QList<int>{0});
    type("blue nina");
    QCOMPARE(dialog->resultList->count(), 0);
    QCOMPARE(dialog->resultLabel->text(), QString("0 tracks found"));
    // Spacing as typed: the empty album leaves two blanks before the file name.
    type("blue  blue.mp3");
    QCOMPARE(rowIndices(dialog->resultList), QList<int>{0});
    type("blue blue.mp3");
    QCOMPARE(dialog->resultList->count(), 0);
    // Album and file name are searched too.
    type("alina");
    QCOMPARE(rowIndices(dialog->resultList), QList<int>{1});
    type("intro.ogg");
    QCOMPARE(rowIndices(dialog->resultList), QList<int>{2});
}

void TestSearchDialog::hitCountTexts_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("label");
    QTest::newRow("none") << "zzz" << "0 tracks found";
    QTest::newRow("one") << "spiegel" << "1 track found";
    QTest::newRow("two") << "blue" << "2 tracks found";
    QTest::newRow("all") << "." << "6 tracks found";
}

void TestSearchDialog::hitCountTexts()
{
    QFETCH(QString, query);
    QFETCH(QString, label);
    showAndActivate();
    type(query);
    QCOMPARE(dialog->resultLabel->text(), label);
}

void TestSearchDialog::rowsCarryLibraryIndexAndDisplayName()
{
    type(".mp3");
    const QList<Playlist::TrackInfo> tracks = library->playlist.getTracks();
    QCOMPARE(rowIndices(dialog->resultList), (QList<int>{0, 3, 5}));
    QCOMPARE(rowTexts(dialog->resultList),
             (QStringList{tracks.at(0).displayName, tracks.at(3).displayName,
                          tracks.at(5).displayName}));
    QCOMPARE(dialog->resultList->item(0)->text(), QString("Nina - Blue (3:07)"));
    type("intro");
    QCOMPARE(rowTexts(dialog->resultList), QStringList{"01 Intro.ogg"});
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

namespace {

// Opens the hit list's context menu at @p pos as a right click would, reads
// its entries and picks @p choice (or dismisses it when empty).
QStringList answerMenu(QListWidget *list, const QPoint &pos, const QString &choice, bool *opened)
{
    QStringList entries;
    *opened = false;
    QTimer::singleShot(0, list, [&entries, opened, choice] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        *opened = true;
        for (QAction *action : menu->actions()) {
            entries << action->text();
            if (action->text() == choice)
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, choice.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(list->viewport(), &event);
    return entries;
}

} // namespace

void TestSearchDialog::contextMenuTexts()
{
    queue->add(library->path(3));
    queue->setActive(true);
    showAndActivate();
    type("blue");
    QListWidget *list = dialog->resultList;
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);

    bool opened = false;
    QCOMPARE(answerMenu(list, list->visualItemRect(list->item(1)).center(), QString(), &opened),
             QStringList{"Remove from queue"});
    QVERIFY(opened);
    QCOMPARE(answerMenu(list, list->visualItemRect(list->item(0)).center(), QString(), &opened),
             QStringList{"Add to queue"});
    QVERIFY(opened);
    QCOMPARE(queued.count(), 0);
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

    bool opened = false;
    const QPoint row = list->visualItemRect(list->item(0)).center();
    answerMenu(list, row, "Remove from queue", &opened);
    QVERIFY(opened);
    QCOMPARE(queued.count(), 1);
    QCOMPARE(queued.at(0).at(0).toInt(), 5);
    QCOMPARE(list->item(0)->text(), QString("Kora - Song Five (5:05)"));

    QCOMPARE(answerMenu(list, row, "Add to queue", &opened), QStringList{"Add to queue"});
    QCOMPARE(list->item(0)->text(), QString("[2] Kora - Song Five (5:05)"));
}

void TestSearchDialog::contextMenuOnEmptySpaceOpensNothing()
{
    showAndActivate();
    type("spiegel");
    QListWidget *list = dialog->resultList;
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    bool opened = false;
    const QRect row = list->visualItemRect(list->item(0));
    answerMenu(list, QPoint(row.center().x(), row.bottom() + 40), "Add to queue", &opened);
    QCoreApplication::processEvents();
    QVERIFY(!opened);
    QCOMPARE(queued.count(), 0);
}

void TestSearchDialog::keyDownMovesToFirstHit()
{
    showAndActivate();
    QVERIFY(dialog->searchInput->hasFocus());
    type("blue");
    QCOMPARE(dialog->resultList->currentRow(), -1);
    QTest::keyClick(dialog->searchInput, Qt::Key_Down);
    QVERIFY(dialog->resultList->hasFocus());
    QCOMPARE(dialog->resultList->currentRow(), 0);
    // Down on the list is the list's own: it moves to the next hit.
    QTest::keyClick(dialog->resultList, Qt::Key_Down);
    QCOMPARE(dialog->resultList->currentRow(), 1);
}

void TestSearchDialog::keysOnHits()
{
    showAndActivate();
    type("blue");
    QSignalSpy played(dialog, &SearchDialog::playRequested);
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    QSignalSpy jumped(dialog, &SearchDialog::jumpRequested);

    QTest::keyClick(dialog->searchInput, Qt::Key_Down);
    QTest::keyClick(dialog->resultList, Qt::Key_Down); // the second hit, library record 3
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

void TestSearchDialog::buttonsWithoutCurrentRowDoNothing()
{
    showAndActivate();
    type("blue");
    QCOMPARE(dialog->resultList->currentRow(), -1);
    QSignalSpy played(dialog, &SearchDialog::playRequested);
    QSignalSpy queued(dialog, &SearchDialog::queueRequested);
    QSignalSpy jumped(dialog, &SearchDialog::jumpRequested);
    QTest::mouseClick(dialog->playButton, Qt::LeftButton);
    QTest::mouseClick(dialog->queueButton, Qt::LeftButton);
    QTest::mouseClick(dialog->jumpButton, Qt::LeftButton);
    QCOMPARE(played.count() + queued.count() + jumped.count(), 0);
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
    bool opened = false;
    answerMenu(list, list->visualItemRect(list->item(0)).center(), "Add to queue", &opened);
    QCoreApplication::processEvents();
    QVERIFY(!opened);
    QCOMPARE(queued.count(), 0);
    QVERIFY(!dialog->createContextMenu(-1));
    QVERIFY(!dialog->createContextMenu(2));
}

void TestSearchDialog::iconsTinted()
{
    const QColor colour("#22aa44");
    dialog->setIcons(colour, QSize(32, 32));
    for (QPushButton *button : {dialog->playButton, dialog->queueButton, dialog->jumpButton}) {
        QCOMPARE(button->iconSize(), QSize(32, 32));
        const QImage image = button->icon().pixmap(QSize(32, 32)).toImage().convertToFormat(
            QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(32, 32));
        int visible = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 128)
                    continue;
                ++visible;
                QVERIFY(qAbs(pixel.green() - colour.green()) <= 2);
                QVERIFY(qAbs(pixel.red() - colour.red()) <= 2);
            }
        }
        QVERIFY(visible > 0);
    }
}

QTEST_MAIN(TestSearchDialog)
#include "test_searchdialog.moc"
