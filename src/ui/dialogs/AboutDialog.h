#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QTabWidget;
class QTextEdit;
class QVBoxLayout;

/** Program name, version, credits and the embedded licence texts. */
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

    /** The text of the licence resource at @p path, or a fallback line when it cannot be read. */
    static QString readLicense(const QString &path);

private:
    void setupLayout();
    void setupConnections();

    QVBoxLayout *mainLayout;
    QTabWidget *tabs;
    QWidget *aboutTab;
    QVBoxLayout *aboutLayout;
    QLabel *nameLabel;
    QLabel *versionLabel;
    QLabel *copyrightLabel;
    QLabel *descLabel;
    QLabel *qtLabel;
    QLabel *lucideLabel;
    QWidget *licensesTab;
    QVBoxLayout *licensesLayout;
    QTextEdit *licenseText;
    QDialogButtonBox *buttons;
};
