// The three one-behaviour widgets, driven with real mouse presses.

#include "ProgressBar.h"
#include "TestSupport.h"

#include <QApplication>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyle>
#include <QtTest>

namespace {

// A style whose sliders jump on no button of their own, so that any jump
// seen in a test comes from ClickableSlider.
class NoAbsoluteSetStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

class TestClickable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sliderLeftPressJumps_data();
    void sliderLeftPressJumps();
    void sliderValueChangedComesBeforeSliderMoved();
    void sliderMovedEvenWhenValueUnchanged();
    void sliderPressThenDragFollowsPointer();
    void sliderOtherButtonsDoNotJump_data();
    void sliderOtherButtonsDoNotJump();
    void sliderMiddlePressIsTheBaseSliders();
    void labelEmitsClickedOnLeftPressOnly();
    void favoriteRightPressEmitsRightClickedOnly();
    void favoriteLeftClickEmitsClicked();

private:
    ClickableSlider *slider = nullptr;
    QStringList log;
    // Outlives every slider that borrows it.
    NoAbsoluteSetStyle noJumpStyle;
};

void TestClickable::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestClickable::init()
{
    slider = new ClickableSlider(Qt::Horizontal, nullptr);
    slider->setRange(0, 100);
    slider->setFixedSize(200, 24);
    slider->show();
    QVERIFY(QTest::qWaitForWindowExposed(slider));
    log.clear();
    connect(slider, &QSlider::valueChanged, this,
            [this](int value) { log << QStringLiteral("valueChanged %1").arg(value); });
    connect(slider, &QSlider::sliderMoved, this,
            [this](int value) { log << QStringLiteral("sliderMoved %1").arg(value); });
}

void TestClickable::cleanup()
{
    delete slider;
    slider = nullptr;
}

void TestClickable::sliderLeftPressJumps_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("expected");
    QTest::newRow("left edge") << 60 << 0 << 0;
    QTest::newRow("middle") << 0 << 100 << 50;
    QTest::newRow("right edge") << 0 << 200 << 100;
    QTest::newRow("quarter") << 90 << 50 << 25;
}

void TestClickable::sliderLeftPressJumps()
{
    QFETCH(int, start);
    QFETCH(int, x);
    QFETCH(int, expected);

    slider->setValue(start);
    log.clear();
    QSignalSpy moved(slider, &QSlider::sliderMoved);

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
    QCOMPARE(slider->value(), expected);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(0).toInt(), expected);

    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(x, slider->height() / 2));
    QCOMPARE(slider->value(), expected);
    QCOMPARE(moved.count(), 1);
    QVERIFY(!slider->isSliderDown());
}

void TestClickable::sliderValueChangedComesBeforeSliderMoved()
{
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(100, slider->height() / 2));
    QCOMPARE(log, (QStringList{QStringLiteral("valueChanged 50"), QStringLiteral("sliderMoved 50")}));
}

void TestClickable::sliderMovedEvenWhenValueUnchanged()
{
    slider->setValue(50);
    log.clear();
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(100, slider->height() / 2));
    QCOMPARE(log, QStringList{QStringLiteral("sliderMoved 50")});
    QCOMPARE(slider->value(), 50);
}

void TestClickable::sliderPressThenDragFollowsPointer()
{
    // After the jump the handle is under the pointer, so the base press starts a drag.
    const int y = slider->height() / 2;
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(40, y));
    QCOMPARE(slider->value(), 20);
    QVERIFY(slider->isSliderDown());

    QMouseEvent move(QEvent::MouseMove, QPointF(140, y), slider->mapToGlobal(QPointF(140, y)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    QVERIFY(slider->value() > 60);

    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(140, y));
    QVERIFY(!slider->isSliderDown());
}

void TestClickable::sliderOtherButtonsDoNotJump_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestClickable::sliderOtherButtonsDoNotJump()
{
    QFETCH(Qt::MouseButton, button);

    slider->setStyle(&noJumpStyle);
    slider->setValue(30);
    log.clear();

    for (const int x : {0, 100, 200}) {
        QTest::mouseClick(slider, button, {}, QPoint(x, slider->height() / 2));
        QCOMPARE(slider->value(), 30);
        QVERIFY(log.isEmpty());
    }
}

void TestClickable::sliderMiddlePressIsTheBaseSliders()
{
    // Under the default style the middle button is the slider's own
    // "jump here" button; the subclass must add nothing to that: the same
    // value as a plain slider and no sliderMoved of its own.
    QSlider plain(Qt::Horizontal);
    plain.setRange(0, 100);
    plain.setFixedSize(200, 24);
    plain.setValue(30);
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    slider->setValue(30);
    log.clear();

    const QPoint at(160, slider->height() / 2);
    QTest::mouseClick(&plain, Qt::MiddleButton, {}, at);
    QTest::mouseClick(slider, Qt::MiddleButton, {}, at);
    QCOMPARE(slider->value(), plain.value());
    for (const QString &entry : std::as_const(log))
        QVERIFY2(!entry.startsWith(QStringLiteral("sliderMoved")), qPrintable(entry));
}

void TestClickable::labelEmitsClickedOnLeftPressOnly()
{
    ClickableLabel label(nullptr);
    label.setText(QStringLiteral("0:00 / 0:00"));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy clicked(&label, &ClickableLabel::clicked);

    QTest::mousePress(&label, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QTest::mouseRelease(&label, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QTest::mouseClick(&label, Qt::RightButton);
    QTest::mouseClick(&label, Qt::MiddleButton);
    QCOMPARE(clicked.count(), 1);
}

void TestClickable::favoriteRightPressEmitsRightClickedOnly()
{
    FavoriteButton button(QStringLiteral("Fav 3"), nullptr);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy rightClicked(&button, &FavoriteButton::rightClicked);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QSignalSpy pressed(&button, &QAbstractButton::pressed);

    QTest::mousePress(&button, Qt::RightButton);
    QCOMPARE(rightClicked.count(), 1);
    QVERIFY(!button.isDown());
    QTest::mouseRelease(&button, Qt::RightButton);
    QCOMPARE(rightClicked.count(), 1);
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(pressed.count(), 0);
}

void TestClickable::favoriteLeftClickEmitsClicked()
{
    FavoriteButton button(QStringLiteral("Fav 4"), nullptr);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy rightClicked(&button, &FavoriteButton::rightClicked);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);

    QTest::mousePress(&button, Qt::LeftButton);
    QVERIFY(button.isDown());
    QCOMPARE(clicked.count(), 0);
    QTest::mouseRelease(&button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toBool(), false);
    QCOMPARE(rightClicked.count(), 0);
}

QTEST_MAIN(TestClickable)
#include "test_clickable.moc"
