#include "TimeText.h"

#include <QChar>
#include <QStringView>

#include <algorithm>

QString TimeText::length(qint64 ms)
{
    if (ms <= 0)
        return QStringLiteral("0:00");
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

qint64 TimeText::lengthSeconds(const QString &text)
{
    // The cache can be damaged or edited by hand. The minutes are capped so
    // that no sum of them can come near the end of a 64-bit count.
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QStringView minutes = QStringView(text).left(colon);
    const QStringView seconds = QStringView(text).mid(colon + 1);
    const auto allDigits = [](QStringView part) {
        return std::all_of(part.begin(), part.end(),
            [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    };
    if (colon < 1 || minutes.size() > 9 || seconds.size() != 2 || !allDigits(minutes)
        || !allDigits(seconds))
        return 0;
    const int s = seconds.toInt();
    if (s >= 60)
        return 0;
    return minutes.toLongLong() * 60 + s;
}

QString TimeText::position(qint64 ms)
{
    const qint64 totalSeconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2")
        .arg(totalSeconds / 60, 2, 10, QLatin1Char('0'))
        .arg(totalSeconds % 60, 2, 10, QLatin1Char('0'));
}

QString TimeText::total(qint64 seconds)
{
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds % 3600) / 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}
