#include "ui/dialogs/AboutDialog.h"

#include "app/DesktopApp.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTextEdit>
#include <QTextStream>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent, Qt::WindowFlags())
{
    setWindowTitle(tr("About Corvel Media Player"));
    setMinimumSize(300, 400);
    setSizeGripEnabled(true);
    setupLayout();
    setupConnections();
}

QString AboutDialog::readLicense(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return tr("License text unavailavle");
    QTextStream in(&file);
    return in.readAll();
}

void AboutDialog::setupLayout()
{
    mainLayout = new QVBoxLayout(this);
    aboutTab = new QWidget;
    aboutLayout = new QVBoxLayout(aboutTab);
    tabs = new QTabWidget(this);

    // The heading is left unclosed on purpose; rich-text detection still
    // renders it as a level-2 heading.
    nameLabel = new QLabel(tr("<h2>About Corvel Media Player"));
    versionLabel = new QLabel(tr("Version %1").arg(DesktopApp::version()));
    copyrightLabel = new QLabel(tr("Copyright \u00a9 2026 Tavrenin International"));
    descLabel = new QLabel(tr("Simple, fast and efficient media player built with Qt"));
    qtLabel = new QLabel(tr("Uses <a href=\"https://www.qt.io\">Qt</a> under LGPLv3."));
    lucideLabel = new QLabel(
        tr("Icons from <a href=\"https://lucide.dev\"> Lucide Icons</a> under ISC/MIT"));

    qtLabel->setOpenExternalLinks(true);
    lucideLabel->setOpenExternalLinks(true);

    aboutLayout->addWidget(nameLabel);
    aboutLayout->addWidget(versionLabel);
    aboutLayout->addWidget(copyrightLabel);
    aboutLayout->addWidget(descLabel);
    aboutLayout->addSpacing(10);
    aboutLayout->addWidget(qtLabel);
    aboutLayout->addWidget(lucideLabel);

    licensesTab = new QWidget;
    licensesLayout = new QVBoxLayout(licensesTab);
    // Left editable: nothing typed here is ever stored.
    licenseText = new QTextEdit;
    licenseText->setAccessibleName(tr("License texts"));

    const QString lgpl = readLicense(QStringLiteral(":/licenses/LICENSES/LGPL-3.0.txt"));
    const QString isc = readLicense(QStringLiteral(":/licenses/LICENSES/ISC.txt"));
    const QString mit = readLicense(QStringLiteral(":/licenses/LICENSES/MIT.txt"));
    const QString gap = QStringLiteral("\n\n");
    const QString rule = QStringLiteral("\n\n---\n\n");
    licenseText->setText(tr("Qt - LGPLv3") + gap + lgpl + rule + tr("Lucide - ISC") + gap + isc
        + rule + tr("Feather Icons - MIT") + gap + mit);

    licensesLayout->addWidget(licenseText);

    tabs->addTab(aboutTab, tr("About"));
    tabs->addTab(licensesTab, tr("Licenses"));

    mainLayout->addWidget(tabs);
    buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    mainLayout->addWidget(buttons);
}

void AboutDialog::setupConnections()
{
    connect(buttons, &QDialogButtonBox::rejected, this, &AboutDialog::reject);
}
