// The small widgets: clickable slider, label and favourite button, tinted icons, About dialog.
#include "TestSupport.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/widgets/ProgressBar.h"
#include <QSignalSpy>
#include <QTextEdit>
class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void clickableWidgets_data()
    {
        // Seen: slider value (was 30), moved, held; label clicked; favourite button right clicked,
        // clicked.
        TestSupport::columns<Qt::MouseButton, QList<qsizetype>>("button", "seen");
        QTest::newRow("left") << Qt::LeftButton << QList<qsizetype>{25, 1, 1, 1, 0, 1};
        QTest::newRow("right") << Qt::RightButton << QList<qsizetype>{30, 0, 0, 0, 1, 0};
    }
    void clickableWidgets()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QList<qsizetype>, seen);
        ClickableSlider slider(Qt::Horizontal); // range 0..99
        ClickableLabel label;
        FavoriteButton favorite;
        slider.setFixedSize(200, 24);
        slider.setValue(30);
        QSignalSpy moved(&slider, &QSlider::sliderMoved),
            labelClicked(&label, &ClickableLabel::clicked),
            rightClicked(&favorite, &FavoriteButton::rightClicked),
            clicked(&favorite, &QPushButton::clicked);
        QTest::mousePress(&slider, button, {},
            QPoint(50, 12)); // jumps, then drags: the handle is under the pointer
        QTest::mouseClick(&label, button);
        QTest::mouseClick(&favorite, button);
        QCOMPARE((QList<qsizetype>{slider.value(), moved.count(), slider.isSliderDown(),
                     labelClicked.count(), rightClicked.count(), clicked.count()}),
            seen);
    }
    void svgIconTintsExactly()
    {
        const QColor orange(0xff, 0x66, 0x33);
        const QImage circle = SvgIcon::coloredIcon(":/icons/filled-circle.svg", orange, {16, 16})
                                  .pixmap(16)
                                  .toImage();
        for (int i = 0; i < 16 * 16; ++i) // every opaque pixel exactly in the colour
            QVERIFY(qAlpha(circle.pixel(i % 16, i / 16)) < 255
                || circle.pixel(i % 16, i / 16) == orange.rgb());
        QVERIFY(circle.pixel(8, 8) == orange.rgb() && qAlpha(circle.pixel(0, 0)) == 0);
        QPushButton button; // a missing drawing: transparent, at the size asked for
        SvgIcon::setColoredIcon(&button, ":/icons/none.svg", orange, {24, 24});
        const QImage drawn = button.icon().pixmap(24).toImage();
        QVERIFY(button.iconSize() == QSize(24, 24) && drawn.size() == QSize(24, 24)
            && drawn.pixel(12, 12) == 0);
    }
    void aboutDialogLicences()
    {
        AboutDialog dialog;
        const QString shown = dialog.findChild<QTextEdit *>()->toPlainText();
        for (const auto &[heading, file] : {std::pair{"Qt - LGPLv3", "LGPL-3.0"},
                 {"Lucide - ISC", "ISC"}, {"Feather Icons - MIT", "MIT"}}) {
            const QString licence
                = AboutDialog::readLicense(QString(":/licenses/LICENSES/%1.txt").arg(file));
            QVERIFY2(
                licence.size() > 500 && shown.contains(heading + QString("\n\n") + licence), file);
        }
    }
};
QTEST_MAIN(TestWidgets)
#include "test_widgets.moc"
