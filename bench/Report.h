#pragma once

// What the bench writes: progress and failures on stderr, the figures on
// stdout, as "key = value" lines from a child and as the table in the parent.

#include <QList>
#include <QMap>
#include <QString>
#include <QTextStream>

namespace bench {

/** Figures by key, e.g. "startup_ms". */
using Figures = QMap<QString, double>;

/** Standard output: the figures. */
QTextStream &out();
/** Standard error: progress and failures. */
QTextStream &err();

/** A child's figures as "key = value" lines on standard output. */
void printFigures(const Figures &figures);
/** The "key = value" lines of a child's output, values as written. */
QMap<QString, QString> parseFigures(const QByteArray &output);
/**
 * The table of what the children measured, a column per size beside the
 * target, then a "key_size = value" line per figure and size.
 */
void printTable(const QList<int> &sizes, int runs, const QList<QMap<QString, QString>> &measured);

} // namespace bench
