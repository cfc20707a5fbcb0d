#include <waterline/foundation/FileIO.h>
#include <waterline/http/InputStream.h>

#include <fcntl.h>

#include <algorithm>
#include <cstring>

namespace waterline {

namespace {

class MemoryInputStream final : public InputStream {
public:
    explicit MemoryInputStream(std::shared_ptr<const std::vector<std::uint8_t>> bytes)
        : m_bytes(std::move(bytes))
    {
    }

    ErrorOr<std::size_t> read(std::span<std::uint8_t> buffer) override
    {
        std::size_t count = std::min(buffer.size(), m_bytes->size() - m_offset);
        std::memcpy(buffer.data(), m_bytes->data() + m_offset, count);
        m_offset += count;
        return count;
    }

private:
    std::shared_ptr<const std::vector<std::uint8_t>> m_bytes;
    std::size_t m_offset = 0;
};

class FileInputStream final : public InputStream {
public:
    explicit FileInputStream(FileDescriptor file)
        : m_file(std::move(file))
    {
    }

    ErrorOr<std::size_t> read(std::span<std::uint8_t> buffer) override
    {
        if (!m_file)
            return std::size_t{0};
        return readFull(m_file.get(), buffer);
    }

    void close() override { (void)m_file.close(); }

private:
    FileDescriptor m_file;
};

} // namespace

std::unique_ptr<InputStream> InputStream::fromBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes)
{
    if (!bytes)
        bytes = std::make_shared<const std::vector<std::uint8_t>>();
    return std::make_unique<MemoryInputStream>(std::move(bytes));
}

ErrorOr<std::unique_ptr<InputStream>> InputStream::fromFile(const std::filesystem::path& path)
{
    auto file = WL_TRY(FileDescriptor::open(path, O_RDONLY));
    return std::unique_ptr<InputStream>(std::make_unique<FileInputStream>(std::move(file)));
}

} // namespace waterline
