#pragma once

#include <QByteArray>

#include <taglib/tiostream.h>

/**
 * A file opened for TagLib to read, with its length taken once and its reads
 * served from a window of the file: TagLib's own stream asks the system for
 * the length and the position at almost every step, some forty calls for a
 * small file, and each call costs more than the tags of such a file take to
 * parse. Read-only; writes are ignored. Unix only.
 */
class FileReadStream : public TagLib::IOStream {
public:
    /** Opens the file at the native path @p path; isOpen() tells whether that worked. */
    explicit FileReadStream(QByteArray path);
    ~FileReadStream() override;
    FileReadStream(const FileReadStream &) = delete;
    FileReadStream &operator=(const FileReadStream &) = delete;

    TagLib::FileName name() const override;
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector &data) override;
    void insert(
        const TagLib::ByteVector &data, unsigned long start, unsigned long replace) override;
    void removeBlock(unsigned long start, unsigned long length) override;
    bool readOnly() const override;
    bool isOpen() const override;
    void seek(long offset, Position p) override;
    long tell() const override;
    long length() override;
    void truncate(long length) override;

    /** How much one read of the system takes at least. */
    static constexpr long windowSize = 64 * 1024;

private:
    /** Reads @p count bytes at @p offset into @p into; the bytes read, short at the end. */
    long readAt(long offset, char *into, long count) const;

    QByteArray path;
    int descriptor = -1;
    long size = 0;
    long position = 0;
    QByteArray window; ///< the bytes from windowStart on, as last read
    long windowStart = 0;
};
