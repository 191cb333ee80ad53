#pragma once

#include <QFont>
#include <QList>
#include <QWidget>

class FavoriteButton;
class QColor;
class QGridLayout;

/**
 * The 4 × 4 grid of favourite buttons. A view: it shows which slots hold a
 * favourite and reports clicks; what a click means is the window's business.
 */
class FavoriteGrid : public QWidget {
    Q_OBJECT

public:
    /** The number of buttons. */
    static constexpr int slotCount = 16;

    explicit FavoriteGrid(QWidget *parent = nullptr);

    /** Shows slot @p slot as holding a favourite: a heart tinted @p color at @p iconSize, described
     * by @p toolTip. */
    void showSet(int slot, const QString &toolTip, const QColor &color, const QSize &iconSize);
    /** Shows slot @p slot as free: its number and "No favorite set". */
    void showUnset(int slot);
    /** Gives every button the size @p size and the grid the left margin @p leftMargin. */
    void setButtonSize(const QSize &size, int leftMargin);
    /** The buttons in slot order, for the window's tab order. */
    QList<FavoriteButton *> buttons() const;

signals:
    /** Slot @p slot was clicked. */
    void clicked(int slot);
    /** Slot @p slot was right-clicked. */
    void cleared(int slot);

private:
    QGridLayout *grid;
    QList<FavoriteButton *> slotButtons;
    QFont gridFont;
};
