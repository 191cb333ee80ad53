#include "ui/Theme.h"

namespace {

bool sizesFor(const QString &size, Theme::Sizes *row)
{
    if (size == QLatin1String("small"))
        *row = {QSize(8, 8), QSize(16, 16), QSize(24, 24), QSize(28, 28), 25};
    else if (size == QLatin1String("normal"))
        *row = {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(56, 56), 50};
    else if (size == QLatin1String("big"))
        *row = {QSize(32, 32), QSize(64, 64), QSize(96, 96), QSize(112, 112), 100};
    else
        return false;
    return true;
}

} // namespace

QMap<QString, QColor> Theme::palette = {
    {QStringLiteral("orange"), QColor(QStringLiteral("#FF6633"))},
    {QStringLiteral("green"), QColor(QStringLiteral("#33FF33"))},
    {QStringLiteral("red"), QColor(QStringLiteral("#FF3333"))},
    {QStringLiteral("pink"), QColor(QStringLiteral("#FF9999"))},
    {QStringLiteral("gray"), QColor(QStringLiteral("#666666"))},
    {QStringLiteral("blue"), QColor(QStringLiteral("#3333FF"))},
    {QStringLiteral("dark-gray"), QColor(QStringLiteral("#333333"))},
    {QStringLiteral("black"), QColor(QStringLiteral("#000000"))},
    {QStringLiteral("white"), QColor(QStringLiteral("#FFFFFF"))},
};

QMap<QString, QSize> Theme::iconSize;

QColor Theme::color(const char *name)
{
    return palette.value(QLatin1String(name));
}

QSize Theme::size(const char *name)
{
    return iconSize.value(QLatin1String(name));
}

QString Theme::icon(const char *name)
{
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
}

Theme::Sizes Theme::applySize(const QString &size)
{
    Sizes row;
    if (!sizesFor(size, &row))
        sizesFor(QStringLiteral("normal"), &row);
    iconSize.insert(QStringLiteral("small"), row.small);
    iconSize.insert(QStringLiteral("normal"), row.normal);
    iconSize.insert(QStringLiteral("large"), row.large);
    return row;
}
