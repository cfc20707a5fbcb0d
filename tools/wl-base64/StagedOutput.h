// Output that reaches its destination only once it is known to be complete, so that
// a decode failure late in a large input leaves nothing behind, in bounded memory.
//
// When the destination is a regular file positioned at its end, bytes go straight
// there and a failure cuts the file back to where it was: nothing that was in the
// file before is ever touched. Anything else (a pipe, a terminal, a file with data
// after the current position) gets the bytes only on commit(): they are kept in
// memory up to a limit and beyond it in an unlinked temporary file, which needs
// disk space for the output but no more memory.
#pragma once

#include "FileDescriptor.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace waterline {

class StagedOutput {
public:
    static constexpr std::size_t kMemoryLimit = 16u << 20;

    explicit StagedOutput(int destination);

    // The destination is a regular file that failure cuts back: bytes go straight to it.
    bool writesDirectly() const { return direct_; }

    // False on an I/O error, described by error().
    bool write(std::span<const std::uint8_t> bytes);
    bool commit();
    // Leaves the destination as it was before the first write.
    void discard();

    const std::string& error() const { return error_; }

private:
    bool spillToTemporaryFile();
    bool copyTemporaryFile();
    bool fail(std::string what);

    int destination_;
    bool direct_ = false;
    off_t directStart_ = 0;
    std::vector<std::uint8_t> memory_;
    FileDescriptor spill_;
    std::string error_;
};

} // namespace waterline
