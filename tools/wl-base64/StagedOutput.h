// Output that reaches its destination only once it is known to be complete, so that
// a decode failure late in a large input leaves nothing behind, in bounded memory.
//
// When the destination is a regular file positioned at its end, bytes go straight
// there and a failure cuts the file back to where it was: nothing that was in the
// file before is ever touched. Anything else (a pipe, a terminal, a file with data
// after the current position, a file in append mode, where another process may be
// appending too and cutting back would erase its lines) gets the bytes only on
// commit(): they are kept in memory up to a limit and beyond it in an unlinked
// temporary file, which needs disk space for the output but no more memory. Output
// destroyed without commit() is discarded, also when an exception unwinds past it.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/FileDescriptor.h>

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <vector>

namespace waterline {

class StagedOutput {
public:
    static constexpr std::size_t kMemoryLimit = 16u << 20;

    explicit StagedOutput(int destination);
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    ~StagedOutput();

    // The destination is a regular file that failure cuts back: bytes go straight to it.
    bool writesDirectly() const { return m_direct; }

    ErrorOr<void> write(std::span<const std::uint8_t> bytes);
    ErrorOr<void> commit();

private:
    // Leaves the destination as it was before the first write.
    void discard();
    ErrorOr<void> spillToTemporaryFile();
    ErrorOr<void> copyTemporaryFile();

    int m_destination; // not owned
    bool m_direct = false;
    bool m_committed = false;
    off_t m_directStart = 0;
    std::vector<std::uint8_t> m_memory;
    FileDescriptor m_spill;
};

} // namespace waterline
