#include "library/scan/FileReadStream.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileReadStream::FileReadStream(QByteArray path)
    : path(std::move(path))
{
    descriptor = ::open(this->path.constData(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (descriptor >= 0 && ::fstat(descriptor, &status) == 0)
        size = long(status.st_size);
}

FileReadStream::~FileReadStream()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

TagLib::FileName FileReadStream::name() const
{
    return path.constData();
}

long FileReadStream::readAt(long offset, char *into, long count) const
{
    long done = 0;
    while (done < count) {
        const ssize_t got = ::pread(descriptor, into + done, size_t(count - done), offset + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += long(got);
    }
    return done;
}

TagLib::ByteVector FileReadStream::readBlock(unsigned long length)
{
    if (descriptor < 0 || length == 0 || position >= size)
        return TagLib::ByteVector();
    const long wanted
        = long(std::min<unsigned long>(length, static_cast<unsigned long>(size - position)));
    const long windowEnd = windowStart + long(window.size());
    if (position < windowStart || position + wanted > windowEnd) {
        if (wanted > windowSize) {
            // A picture or a long block: read for itself, the window stays.
            TagLib::ByteVector block(static_cast<unsigned int>(wanted), '\0');
            block.resize(static_cast<unsigned int>(readAt(position, block.data(), wanted)));
            position += long(block.size());
            return block;
        }
        window.resize(windowSize);
        window.resize(readAt(position, window.data(), windowSize));
        windowStart = position;
    }
    const long offset = position - windowStart;
    const long count = std::min(wanted, long(window.size()) - offset);
    position += count;
    return TagLib::ByteVector(window.constData() + offset, static_cast<unsigned int>(count));
}

void FileReadStream::writeBlock(const TagLib::ByteVector &)
{
}

void FileReadStream::insert(const TagLib::ByteVector &, unsigned long, unsigned long)
{
}

void FileReadStream::removeBlock(unsigned long, unsigned long)
{
}

bool FileReadStream::readOnly() const
{
    return true;
}

bool FileReadStream::isOpen() const
{
    return descriptor >= 0;
}

void FileReadStream::seek(long offset, Position p)
{
    // As fseek(): a place before the start is refused, one past the end is taken.
    const long from = p == Beginning ? 0 : p == Current ? position : size;
    if (descriptor >= 0 && from + offset >= 0)
        position = from + offset;
}

long FileReadStream::tell() const
{
    return position;
}

long FileReadStream::length()
{
    return size;
}

void FileReadStream::truncate(long)
{
}
