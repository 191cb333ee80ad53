#include "ui/widgets/FavoriteGrid.h"

#include "ui/SvgIcon.h"
#include "ui/widgets/ProgressBar.h"

#include <QGridLayout>

FavoriteGrid::FavoriteGrid(QWidget *parent)
    : QWidget(parent)
    , grid(new QGridLayout(this))
{
    grid->setContentsMargins(50, 0, 10, 0);
    gridFont.setPointSize(10);
    for (int i = 0; i < slotCount; ++i) {
        auto *button = new FavoriteButton(this);
        button->setObjectName(QStringLiteral("fav%1").arg(i + 1));
        button->setFixedSize(56, 56);
        grid->addWidget(button, i / 4, i % 4);
        slotButtons.append(button);
        showUnset(i);
        connect(button, &FavoriteButton::clicked, this, [this, i] { emit clicked(i); });
        connect(button, &FavoriteButton::rightClicked, this, [this, i] { emit cleared(i); });
    }
}

void FavoriteGrid::showSet(
    int slot, const QString &toolTip, const QColor &color, const QSize &iconSize)
{
    FavoriteButton *button = slotButtons.at(slot);
    button->setText(QString());
    button->setToolTip(toolTip);
    SvgIcon::setColoredIcon(button, QStringLiteral(":/icons/heart.svg"), color, iconSize);
}

void FavoriteGrid::showUnset(int slot)
{
    FavoriteButton *button = slotButtons.at(slot);
    button->setFont(gridFont);
    button->setIcon(QIcon());
    button->setText(tr("Fav %1").arg(slot + 1));
    button->setToolTip(tr("No favorite set"));
}

void FavoriteGrid::setButtonSize(const QSize &size, int leftMargin)
{
    grid->setContentsMargins(leftMargin, 0, 10, 0);
    for (FavoriteButton *button : std::as_const(slotButtons))
        button->setFixedSize(size);
}

QList<FavoriteButton *> FavoriteGrid::buttons() const
{
    return slotButtons;
}
