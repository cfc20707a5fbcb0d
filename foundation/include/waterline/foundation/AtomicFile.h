// A file written piece by piece that replaces its target only when committed, so that
// a reader sees the old file or the whole new one, and a writer that fails or gives up
// leaves nothing behind. The bytes go to a hidden temporary file in the target's folder
// as they are written, so memory stays bounded however large the file grows.
//
//     auto file = WL_TRY(AtomicFile::create("ripple.webp"));
//     WL_TRY(file.write(header));
//     WL_TRY(file.write(frame));            // … as many as there are
//     WL_TRY(file.writeAt(4, riffSize));    // a header patched once the length is known
//     WL_TRY(file.commit());
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace waterline {

class AtomicFile {
public:
    // Creates the temporary file with `options.permissions` (less the umask).
    static ErrorOr<AtomicFile> create(const std::filesystem::path& target, AtomicWriteOptions options = {});

    AtomicFile(AtomicFile&&) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~AtomicFile();

    // Appends `bytes`; the count appended so far is size().
    ErrorOr<void> write(std::span<const std::uint8_t> bytes);
    // Overwrites bytes already written, from `offset` on.
    ErrorOr<void> writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    std::uint64_t size() const { return m_size; }

    // Flushes (when durable) and renames the file over the target. Afterwards, or after
    // a failure, the object has no file left to write.
    ErrorOr<void> commit();

private:
    AtomicFile(std::filesystem::path target, std::string temporary, FileDescriptor, AtomicWriteOptions);
    void discard();

    std::filesystem::path m_target;
    std::string m_temporary; // empty once committed or discarded
    FileDescriptor m_file;
    AtomicWriteOptions m_options;
    std::uint64_t m_size = 0;
};

} // namespace waterline
