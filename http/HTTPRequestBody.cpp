// The request body: kept in memory or assembled in a file (streamed from disk), and
// gzip-compressed when asked. A body file the request made itself is deleted by it.
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/http/GzipCodec.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/ThrottledInputStream.h>

#include <fcntl.h>

#include <filesystem>
#include <system_error>

namespace waterline {

namespace {

constexpr std::size_t kFileAppendChunk = 262144;

ErrorPtr fileError(std::string description, const std::error_code& cause)
{
    return HTTPRequestErrors::make(HTTPRequestErrorCode::FileOperationFailure, std::move(description),
                                   Error::fromErrno(cause.value()));
}

} // namespace

void HTTPRequest::setupPostBody()
{
    if (!shouldStreamPostDataFromDisk()) {
        if (!postBody())
            setPostBody(std::make_shared<const Bytes>());
        return;
    }
    if (!postBodyFilePath()) {
        setPostBodyFilePath(temporaryFilePath());
        m_didCreateTemporaryPostDataFile.set(true);
    }
    if (!m_postBodyWriteStream) {
        auto file = FileDescriptor::open(*postBodyFilePath(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (file)
            m_postBodyWriteStream = file.releaseValue();
    }
}

void HTTPRequest::appendPostData(std::string_view data)
{
    appendPostData({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
}

void HTTPRequest::appendPostData(std::span<const std::uint8_t> data)
{
    setupPostBody();
    if (data.empty())
        return;
    if (shouldStreamPostDataFromDisk()) {
        if (m_postBodyWriteStream)
            (void)writeAll(m_postBodyWriteStream.get(), data);
        return;
    }
    m_postBody.modify([&](std::shared_ptr<const Bytes>& body) {
        auto grown = std::make_shared<Bytes>(body ? *body : Bytes{});
        grown->insert(grown->end(), data.begin(), data.end());
        body = std::move(grown);
    });
}

void HTTPRequest::appendPostDataFromFile(const std::string& path)
{
    setupPostBody();
    auto file = FileDescriptor::open(path, O_RDONLY);
    if (!file)
        return; // a missing file appends nothing
    Bytes chunk(kFileAppendChunk);
    while (true) {
        auto count = readFull(file->get(), chunk);
        if (!count || *count == 0)
            break;
        appendPostData(std::span<const std::uint8_t>(chunk.data(), *count));
    }
}

void HTTPRequest::buildPostBody()
{
    if (m_haveBuiltPostBody)
        return;
    if (auto bodyPath = postBodyFilePath()) {
        (void)m_postBodyWriteStream.close();
        std::string measured = *bodyPath;
        if (shouldCompressRequestBody()) {
            m_compressedPostBodyFilePath = temporaryFilePath();
            (void)GzipCodec::compressDataFromFile(*bodyPath, *m_compressedPostBodyFilePath);
            measured = *m_compressedPostBodyFilePath;
        }
        std::error_code cause;
        auto size = std::filesystem::file_size(measured, cause);
        if (cause) {
            failWithError(fileError("Failed to get attributes for file at path '" + measured + "'", cause));
            return;
        }
        m_postLength.set(size);
    } else {
        auto body = postBody();
        if (shouldCompressRequestBody() && body && !body->empty()) {
            auto compressed = GzipCodec::compressData(*body);
            m_compressedPostBody = compressed ? std::make_shared<const Bytes>(std::move(*compressed)) : nullptr;
            m_postLength.set(m_compressedPostBody ? m_compressedPostBody->size() : 0);
        } else {
            m_postLength.set(body ? body->size() : 0);
        }
    }
    if (postLength() > 0) {
        auto method = requestMethod();
        if (method == "GET" || method == "DELETE" || method == "HEAD")
            setRequestMethod("POST");
        (void)addRequestHeader("Content-Length", std::to_string(postLength()));
    }
    m_haveBuiltPostBody = true;
}

void HTTPRequest::removePostDataFile()
{
    auto remove = [&](const std::string& path) {
        std::error_code cause;
        std::filesystem::remove(path, cause);
        if (cause)
            failWithError(fileError("Failed to delete file at path '" + path + "'", cause));
    };
    if (auto path = postBodyFilePath())
        remove(*path);
    m_postBodyFilePath.modify([](std::optional<std::string>& path) { path.reset(); });
    if (m_compressedPostBodyFilePath)
        remove(*m_compressedPostBodyFilePath);
    m_compressedPostBodyFilePath.reset();
}

// Picks the body to send: the file (its gzip copy when there is one), else the
// memory buffer (its gzip copy when compressing), else none. False when a body file
// cannot be opened.
bool HTTPRequest::openBodyForSending(HTTPTransportMessage& message)
{
    std::error_code cause;
    auto bodyPath = postBodyFilePath();
    if (shouldStreamPostDataFromDisk() && bodyPath && std::filesystem::exists(*bodyPath, cause)) {
        std::string path = *bodyPath;
        if (m_compressedPostBodyFilePath && std::filesystem::exists(*m_compressedPostBodyFilePath, cause))
            path = *m_compressedPostBodyFilePath;
        auto stream = ThrottledInputStream::inputStreamWithFileAtPath(path);
        if (!stream)
            return false;
        message.body = stream.releaseValue();
        message.bodyLength = std::filesystem::file_size(path, cause);
        return true;
    }
    if (auto body = postBody(); body && !body->empty()) {
        auto chosen = shouldCompressRequestBody() && m_compressedPostBody ? m_compressedPostBody : body;
        message.bodyLength = chosen->size();
        message.body = ThrottledInputStream::inputStreamWithData(std::move(chosen));
    }
    return true;
}

} // namespace waterline
