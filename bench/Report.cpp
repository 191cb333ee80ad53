#include "Report.h"

#include <QByteArray>
#include <QStringList>

namespace bench {

namespace {

/** One line of the table: a figure's key, its label, its unit and its targets at 50,000 and 200,000
 * tracks. */
struct TableRow {
    const char *key;
    const char *label;
    const char *unit;
    const char *target50k;
    const char *target200k;
};

const TableRow tableRows[] = {
    {"scan_ms", "scan (loadFromFolder)", "ms", "", ""},
    {"floor_ms", "floor (bare TagLib reads)", "ms", "", ""},
    {"scan_over_floor", "scan / floor", "", "<= 1.6", "<= 0.6"},
    {"walk_ms", "walk alone, name order", "ms", "", ""},
    {"walk_unsorted_ms", "walk alone, unsorted", "ms", "", ""},
    {"cache_save_ms", "cache save (saveToCache)", "ms", "", "<= 400 ms"},
    {"cache_load_ms", "cache load (loadFromCache)", "ms", "", ""},
    {"startup_ms", "start-up from the cache", "ms", "<= 300 ms", "<= 300 ms"},
    {"startup_empty_ms", "start-up, empty window", "ms", "", ""},
    {"startup_library_ms", "start-up, library's share", "ms", "<= 150 ms", ""},
    {"update_ms", "update (to painted list)", "ms", "", "<= 1500 ms"},
    {"install_ms", "install (to painted list)", "ms", "", ""},
    {"search_ms", "search, per keystroke", "ms", "<= 10 ms", "<= 10 ms"},
    {"search_max_ms", "search, slowest keystroke", "ms", "<= 16 ms", "<= 16 ms"},
    {"stall_startup_ms", "longest stall, start-up", "ms", "<= 50 ms", "<= 50 ms"},
    {"stall_refresh_ms", "longest stall, full refresh", "ms", "<= 50 ms", "<= 50 ms"},
    {"stall_update_ms", "longest stall, update", "ms", "<= 50 ms", "<= 50 ms"},
    {"stall_install_ms", "longest stall, install", "ms", "<= 50 ms", "<= 50 ms"},
    {"stall_cache_save_ms", "longest stall, cache save", "ms", "<= 50 ms", "<= 50 ms"},
    {"stall_watch_ms", "longest stall, file landing", "ms", "<= 50 ms", "<= 50 ms"},
    {"handover_ms", "hand-over, 20,000 files", "ms", "<= 500 ms", ""},
    {"stall_handover_ms", "longest stall, hand-over", "ms", "<= 50 ms", "<= 50 ms"},
    {"watch_ready_ms", "watch, whole tree watched", "ms", "", ""},
    {"watch_memory_mb", "watch, resident memory", "MB", "", ""},
    {"watch_landing_ms", "watch, file landed to row", "ms", "", "<= 2000 ms"},
    {"cover_ordinary_ms", "cover, 600 px JPEG embedded", "ms", "", ""},
    {"cover_png_20000_ms", "cover, 20000 px PNG refused", "ms", "<= 20 ms", "<= 20 ms"},
    {"cover_jpeg_20000_ms", "cover, 20000 px JPEG refused", "ms", "<= 20 ms", "<= 20 ms"},
    {"cover_png_5000_ms", "cover, past allocation limit", "ms", "<= 20 ms", "<= 20 ms"},
    {"cover_frame_50mb_ms", "cover, 50 MB frame refused", "ms", "<= 200 ms", "<= 200 ms"},
    {"peak_rss_mb", "peak memory, the player", "MB", "<= 220 MB", "<= 450 MB"},
    {"peak_startup_mb", "  of it: start-up", "MB", "", ""},
    {"peak_refresh_mb", "  full refresh", "MB", "", ""},
    {"peak_update_mb", "  update", "MB", "", ""},
    {"peak_install_mb", "  install", "MB", "", ""},
    {"peak_watch_mb", "  watch", "MB", "", ""},
    {"peak_search_mb", "  search", "MB", "", ""},
    {"peak_rss_bench_mb", "peak memory, scan figures", "MB", "", ""},
};

QString shown(double value, const char *unit)
{
    const QString number = QString::number(value, 'f', qstrlen(unit) ? 1 : 2);
    return qstrlen(unit) ? number + ' ' + QLatin1String(unit) : number;
}

} // namespace

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

void printFigures(const Figures &figures)
{
    for (auto it = figures.cbegin(); it != figures.cend(); ++it)
        out() << it.key() << " = " << QString::number(it.value(), 'f', 2) << '\n';
    out().flush();
}

QMap<QString, QString> parseFigures(const QByteArray &output)
{
    QMap<QString, QString> values;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype equals = line.indexOf(" = ");
        if (equals > 0)
            values.insert(
                QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 3)));
    }
    return values;
}

void printTable(const QList<int> &sizes, int runs, const QList<QMap<QString, QString>> &measured)
{
    QStringList sizeNames;
    for (const int size : sizes)
        sizeNames << QString::number(size);
    out() << "Corvel library benchmark: " << sizeNames.join(QStringLiteral(", "))
          << " tracks, median of " << runs << " runs\n\n";
    out() << QStringLiteral("figure").leftJustified(30);
    for (const QString &name : sizeNames)
        out() << name.leftJustified(14);
    out() << QStringLiteral("target 50000").leftJustified(14) << "target 200000\n";
    for (const TableRow &row : tableRows) {
        out() << QString::fromUtf8(row.label).leftJustified(30);
        for (const auto &values : measured) {
            const QString value = values.value(QLatin1String(row.key));
            out() << (value.isEmpty() ? QStringLiteral("-") : shown(value.toDouble(), row.unit))
                         .leftJustified(14);
        }
        out() << QString::fromUtf8(row.target50k).leftJustified(14) << row.target200k << '\n';
    }
    out() << '\n';
    for (int i = 0; i < sizes.size(); ++i) {
        for (const TableRow &row : tableRows) {
            const QString value = measured.at(i).value(QLatin1String(row.key));
            if (!value.isEmpty())
                out() << row.key << '_' << sizes.at(i) << " = " << value << '\n';
        }
    }
    out().flush();
}

} // namespace bench
