// The About dialog: its texts, the joined licence view and how it closes.

#include "AboutDialog.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QResource>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QString lgplPath = QStringLiteral(":/licenses/LICENSES/LGPL-3.0.txt");
const QString iscPath = QStringLiteral(":/licenses/LICENSES/ISC.txt");
const QString mitPath = QStringLiteral(":/licenses/LICENSES/MIT.txt");
const QString fallback = QStringLiteral("License text unavailavle");

QString renderedText(const QLabel *label)
{
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

} // namespace

// Receives the URLs the dialog hands to the system browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titleAndSizes();
    void licenceResourcesAreEmbedded_data();
    void licenceResourcesAreEmbedded();
    void readerFallsBackForMissingFile();
    void joinedLicenceText();
    void tabsInOrder();
    void aboutLabels();
    void closeButtonHides();
    void escapeHides();
    void reopenKeepsTabAndText();
    void qtLinkOpensBrowserAndDialogStays();

private:
    void showDialog();

    AboutDialog *dialog = nullptr;
};

void TestAboutDialog::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestAboutDialog::init()
{
    dialog = new AboutDialog(nullptr);
}

void TestAboutDialog::cleanup()
{
    delete dialog;
    dialog = nullptr;
}

void TestAboutDialog::showDialog()
{
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
}

void TestAboutDialog::titleAndSizes()
{
    QCOMPARE(dialog->windowTitle(), QStringLiteral("About Corvel Media Player"));
    QCOMPARE(dialog->minimumSize(), QSize(300, 400));
    QVERIFY(dialog->isSizeGripEnabled());

    showDialog();
    dialog->resize(100, 100);
    QVERIFY(dialog->width() >= 300);
    QVERIFY(dialog->height() >= 400);
}

void TestAboutDialog::licenceResourcesAreEmbedded_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("LGPL-3.0") << lgplPath;
    QTest::newRow("ISC") << iscPath;
    QTest::newRow("MIT") << mitPath;
}

void TestAboutDialog::licenceResourcesAreEmbedded()
{
    QFETCH(QString, path);

    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(path));
    QVERIFY(file.size() > 0);
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);

    const QString text = AboutDialog::readLicense(path);
    QVERIFY(!text.trimmed().isEmpty());
    QVERIFY(text != fallback);
}

void TestAboutDialog::readerFallsBackForMissingFile()
{
    QCOMPARE(AboutDialog::readLicense(QStringLiteral(":/licenses/LICENSES/none.txt")), fallback);
    QTest::ignoreMessage(QtWarningMsg, "QFSFileEngine::open: No file name specified");
    QCOMPARE(AboutDialog::readLicense(QString()), fallback);
}

void TestAboutDialog::joinedLicenceText()
{
    const QString lgpl = AboutDialog::readLicense(lgplPath);
    const QString isc = AboutDialog::readLicense(iscPath);
    const QString mit = AboutDialog::readLicense(mitPath);
    QVERIFY(lgpl.contains(QStringLiteral("GNU LESSER GENERAL PUBLIC LICENSE")));
    QVERIFY(isc.contains(QStringLiteral("ISC")));
    QVERIFY(mit.contains(QStringLiteral("MIT")));

    const QString text = dialog->licenseText->toPlainText();
    QCOMPARE(text,
             QStringLiteral("Qt - LGPLv3\n\n") + lgpl
                 + QStringLiteral("\n\n---\n\nLucide - ISC\n\n") + isc
                 + QStringLiteral("\n\n---\n\nFeather Icons - MIT\n\n") + mit);
    QCOMPARE(text.count(QStringLiteral("\n\n---\n\n")), 2);
}

void TestAboutDialog::tabsInOrder()
{
    QCOMPARE(dialog->tabs->count(), 2);
    QCOMPARE(dialog->tabs->tabText(0), QStringLiteral("About"));
    QCOMPARE(dialog->tabs->tabText(1), QStringLiteral("Licenses"));
    QCOMPARE(dialog->tabs->widget(0), dialog->aboutTab);
    QCOMPARE(dialog->tabs->widget(1), dialog->licensesTab);
    QCOMPARE(dialog->tabs->currentIndex(), 0);
    QCOMPARE(dialog->licensesLayout->count(), 1);
    QCOMPARE(dialog->licensesLayout->itemAt(0)->widget(), dialog->licenseText);

    // Tabs above the button box, which holds the one Close button.
    QCOMPARE(dialog->mainLayout->count(), 2);
    QCOMPARE(dialog->mainLayout->itemAt(0)->widget(), dialog->tabs);
    QCOMPARE(dialog->mainLayout->itemAt(1)->widget(), dialog->buttons);
    QCOMPARE(dialog->buttons->buttons().size(), 1);
    QVERIFY(dialog->buttons->button(QDialogButtonBox::Close));
}

void TestAboutDialog::aboutLabels()
{
    QCOMPARE(dialog->nameLabel->text(), QStringLiteral("<h2>About Corvel Media Player"));
    QCOMPARE(dialog->nameLabel->textFormat(), Qt::AutoText);
    QVERIFY(Qt::mightBeRichText(dialog->nameLabel->text()));
    QCOMPARE(dialog->versionLabel->text(), QStringLiteral("Version 1.0"));
    QVERIFY(dialog->copyrightLabel->text().contains(QStringLiteral("Copyright")));
    QVERIFY(dialog->copyrightLabel->text().contains(QRegularExpression(QStringLiteral("\\d{4}"))));
    QCOMPARE(dialog->descLabel->text(),
             QStringLiteral("Simple, fast and efficient media player built with Qt"));

    QCOMPARE(renderedText(dialog->qtLabel), QStringLiteral("Uses Qt under LGPLv3."));
    QVERIFY(dialog->qtLabel->text().contains(QStringLiteral("href=\"https://www.qt.io\"")));
    QVERIFY(dialog->qtLabel->text().contains(QStringLiteral(">Qt</a>")));
    QVERIFY(dialog->qtLabel->openExternalLinks());

    QVERIFY(dialog->lucideLabel->text().startsWith(QStringLiteral("Icons from ")));
    QVERIFY(dialog->lucideLabel->text().contains(QStringLiteral("href=\"https://lucide.dev\"")));
    QVERIFY(dialog->lucideLabel->text().contains(QStringLiteral("> Lucide Icons</a>")));
    QVERIFY(dialog->lucideLabel->text().endsWith(QStringLiteral("</a> under ISC/MIT")));
    QVERIFY(dialog->lucideLabel->openExternalLinks());

    // Order on the page, with the 10 px gap before the credits.
    QVBoxLayout *layout = dialog->aboutLayout;
    QCOMPARE(layout->count(), 7);
    QCOMPARE(layout->itemAt(0)->widget(), dialog->nameLabel);
    QCOMPARE(layout->itemAt(1)->widget(), dialog->versionLabel);
    QCOMPARE(layout->itemAt(2)->widget(), dialog->copyrightLabel);
    QCOMPARE(layout->itemAt(3)->widget(), dialog->descLabel);
    QVERIFY(layout->itemAt(4)->spacerItem());
    QCOMPARE(layout->itemAt(4)->sizeHint().height(), 10);
    QCOMPARE(layout->itemAt(5)->widget(), dialog->qtLabel);
    QCOMPARE(layout->itemAt(6)->widget(), dialog->lucideLabel);
}

void TestAboutDialog::closeButtonHides()
{
    showDialog();
    QSignalSpy rejected(dialog, &QDialog::rejected);

    QTest::mouseClick(dialog->buttons->button(QDialogButtonBox::Close), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(rejected.count(), 1);
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

void TestAboutDialog::escapeHides()
{
    showDialog();
    QApplication::setActiveWindow(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog));

    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
    QTest::keyClick(target, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());

    // Also from inside the licence view, where the user may be typing.
    showDialog();
    dialog->tabs->setCurrentIndex(1);
    dialog->licenseText->setFocus();
    QTest::keyClick(dialog->licenseText, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
}

void TestAboutDialog::reopenKeepsTabAndText()
{
    showDialog();
    QTest::mouseClick(dialog->tabs->tabBar(), Qt::LeftButton, {},
                      dialog->tabs->tabBar()->tabRect(1).center());
    QCOMPARE(dialog->tabs->currentIndex(), 1);

    dialog->licenseText->setFocus();
    dialog->licenseText->moveCursor(QTextCursor::Start);
    QTest::keyClicks(dialog->licenseText, QStringLiteral("typed "));
    QVERIFY(dialog->licenseText->toPlainText().startsWith(QStringLiteral("typed Qt - LGPLv3")));

    QTest::mouseClick(dialog->buttons->button(QDialogButtonBox::Close), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());

    showDialog();
    QCOMPARE(dialog->tabs->currentIndex(), 1);
    QVERIFY(dialog->licenseText->toPlainText().startsWith(QStringLiteral("typed Qt - LGPLv3")));
}

void TestAboutDialog::qtLinkOpensBrowserAndDialogStays()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    showDialog();

    // "Qt" follows "Uses " at the label's left edge, vertically centred.
    QLabel *label = dialog->qtLabel;
    const QFontMetrics metrics(label->font());
    const QPoint onQt(metrics.horizontalAdvance(QStringLiteral("Uses ")) + 2, label->height() / 2);
    QTest::mouseClick(label, Qt::LeftButton, {}, onQt);

    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("https://www.qt.io"))});
    QVERIFY(dialog->isVisible());
}

QTEST_MAIN(TestAboutDialog)
#include "test_aboutdialog.moc"
