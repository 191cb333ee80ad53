#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QString>

class Playlist;
class QueueController;

/**
 * Library records as a list model with their queue marks: either every record
 * (row i is record i, as the main track list shows them) or only some, such as
 * the hits of a search. It keeps no text of its own: a row's text is read from
 * the records when a view asks for it, so a large library costs a view nothing
 * but the rows it paints.
 */
class TrackModel : public QAbstractListModel {
    Q_OBJECT

public:
    /** Under this role every row gives the library row of its record (an int). */
    static constexpr int RecordRole = Qt::UserRole;

    /**
     * Every record of @p records, marked with the positions @p queue gives them;
     * both must outlive the model. The model follows the queue by itself; after
     * a library install call showAll() or showOnly().
     */
    TrackModel(const Playlist *records, const QueueController *queue, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    /** The display text is the record's text, "[position] " in front where it is queued. */
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    /** Shows every record as the library holds it now, with its marks found again: a reset. */
    void showAll();
    /** Shows only the library rows @p records, ascending (a search's hits): a reset. */
    void showOnly(const QList<int> &records);
    /**
     * Finds the queue marks again and announces the rows whose mark changed. The
     * model does this on every queue change; a model showing only some records
     * needs it once more after a library install.
     */
    void remark();

    /** The library row shown at @p row, or -1. */
    int recordAt(int row) const;
    /** The row showing library row @p record, or -1. */
    int rowOf(int record) const;
    /** The file shown at @p row, or an empty string. */
    QString pathAt(int row) const;
    /** The row showing the file at @p path (its first record), or -1. */
    int rowOfPath(const QString &path) const;

private:
    const Playlist *records;
    const QueueController *queue;
    bool all = true;
    // Fixed at each reset: a view must never be told of rows the records got
    // before the model was told of the install.
    int allRows = 0;
    QList<int> shown;
    QHash<int, int> marks;
};
