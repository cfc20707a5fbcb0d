// The size and modification time of an open file, taken to notice that the file was
// changed between two readings of it: decoding validates the whole input before it
// writes anything, then reads it again, and the second reading must see the bytes the
// first one proved valid.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <ctime>
#include <sys/types.h>

namespace waterline {

class FileSnapshot {
public:
    static ErrorOr<FileSnapshot> take(int fd);

    // An error ("input file changed while reading") when the file's size or
    // modification time differ from this snapshot's.
    ErrorOr<void> checkUnchanged(int fd) const;

private:
    FileSnapshot(off_t size, timespec modified)
        : m_size(size)
        , m_modified(modified)
    {
    }

    off_t m_size;
    timespec m_modified;
};

} // namespace waterline
