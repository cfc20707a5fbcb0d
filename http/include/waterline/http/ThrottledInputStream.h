// The stream a request body is sent from: a file or a buffer in memory, read through
// the process-wide bandwidth allowance that responses draw on too. While a limit is in
// force, each read is cut to what the current window allows (at most a quarter of the
// limit) and counted against it; when nothing is allowed, hasBytesAvailable() is false
// and the transport pauses the upload until the allowance has grown. Without a limit
// reads pass straight through and are only counted.
//
//     auto body = ThrottledInputStream::inputStreamWithFileAtPath(path);
//     if (!body) return body.error();
//     if ((*body)->hasBytesAvailable()) count = WL_TRY((*body)->read(buffer));
#pragma once

#include <waterline/http/InputStream.h>

#include <memory>
#include <mutex>

namespace waterline {

class ThrottledInputStream final : public InputStream {
public:
    explicit ThrottledInputStream(std::unique_ptr<InputStream> stream);

    static ErrorOr<std::unique_ptr<ThrottledInputStream>> inputStreamWithFileAtPath(const std::filesystem::path& path);
    static std::unique_ptr<ThrottledInputStream>
    inputStreamWithData(std::shared_ptr<const std::vector<std::uint8_t>> bytes);

    // Reads at least one byte's worth when asked for any (a reader that did not ask
    // hasBytesAvailable first is never stalled); what the wrapped stream did not
    // return is given back to the allowance.
    ErrorOr<std::size_t> read(std::span<std::uint8_t> buffer) override;
    bool hasBytesAvailable() override;
    void close() override { m_stream->close(); }

    InputStream& stream() { return *m_stream; }
    void setStream(std::unique_ptr<InputStream> stream) { m_stream = std::move(stream); }

private:
    std::unique_ptr<InputStream> m_stream;
};

} // namespace waterline
