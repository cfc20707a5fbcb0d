#include "RequestParser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace waterline::testing {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadEnd = "\r\n\r\n";

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool containsIgnoringCase(std::string_view text, std::string_view word)
{
    auto lower = [](unsigned char c) { return std::tolower(c); };
    auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                             [&](char x, char y) { return lower(x) == lower(y); });
    return found != text.end();
}

std::optional<MalformedRequest> parseRequestLine(std::string_view line, RecordedRequest& request)
{
    auto firstSpace = line.find(' ');
    auto lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace || firstSpace == 0)
        return MalformedRequest{"request line is not 'METHOD TARGET VERSION'"};
    request.method = line.substr(0, firstSpace);
    request.target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = line.substr(lastSpace + 1);
    if (!request.version.starts_with("HTTP/"))
        return MalformedRequest{"request line has no HTTP version"};
    return std::nullopt;
}

std::optional<MalformedRequest> parseHeaderLines(std::string_view lines, RecordedRequest& request)
{
    while (!lines.empty()) {
        auto end = lines.find(kLineEnd);
        auto line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + kLineEnd.size());
        auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return MalformedRequest{"header line without a name and ':'"};
        request.headers.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    }
    return std::nullopt;
}

// Decodes a chunked body from the front of `bytes`; none while it is incomplete.
std::variant<std::size_t, IncompleteRequest, MalformedRequest> decodeChunked(std::string_view bytes, std::string& body,
                                                                             const RequestLimits& limits)
{
    std::size_t position = 0;
    while (true) {
        auto lineEnd = bytes.find(kLineEnd, position);
        if (lineEnd == std::string_view::npos)
            return IncompleteRequest{true};
        auto sizeText = bytes.substr(position, lineEnd - position);
        sizeText = trimmed(sizeText.substr(0, sizeText.find(';'))); // chunk extensions are ignored
        std::size_t size = 0;
        auto [end, error] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size, 16);
        if (error != std::errc() || end != sizeText.data() + sizeText.size() || sizeText.empty())
            return MalformedRequest{"chunk size is not hexadecimal"};
        if (size > limits.maxBodyBytes - body.size())
            return MalformedRequest{"chunked body is larger than the limit"};
        position = lineEnd + kLineEnd.size();
        if (size == 0)
            break;
        if (bytes.size() - position < size + kLineEnd.size())
            return IncompleteRequest{true};
        if (bytes.substr(position + size, kLineEnd.size()) != kLineEnd)
            return MalformedRequest{"chunk data is not followed by CRLF"};
        body.append(bytes.substr(position, size));
        position += size + kLineEnd.size();
    }
    // Trailer fields, up to an empty line.
    while (true) {
        auto lineEnd = bytes.find(kLineEnd, position);
        if (lineEnd == std::string_view::npos)
            return IncompleteRequest{true};
        bool empty = lineEnd == position;
        position = lineEnd + kLineEnd.size();
        if (empty)
            return position;
    }
}

std::variant<std::size_t, MalformedRequest> contentLength(const RecordedRequest& request, const RequestLimits& limits)
{
    auto text = request.header("Content-Length");
    if (!text)
        return std::size_t{0};
    std::size_t length = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), length);
    if (error != std::errc() || end != text->data() + text->size() || text->empty())
        return MalformedRequest{"Content-Length is not a number"};
    if (length > limits.maxBodyBytes)
        return MalformedRequest{"Content-Length is larger than the limit"};
    return length;
}

RequestParse readBody(std::string_view buffer, std::size_t bodyStart, RecordedRequest request,
                      const RequestLimits& limits)
{
    auto encoding = request.header("Transfer-Encoding");
    if (encoding && containsIgnoringCase(*encoding, "chunked")) {
        request.bodyWasChunked = true;
        auto decoded = decodeChunked(buffer.substr(bodyStart), request.body, limits);
        if (auto* incomplete = std::get_if<IncompleteRequest>(&decoded))
            return *incomplete;
        if (auto* malformed = std::get_if<MalformedRequest>(&decoded))
            return *malformed;
        return ParsedRequest{std::move(request), bodyStart + std::get<std::size_t>(decoded)};
    }
    auto length = contentLength(request, limits);
    if (auto* malformed = std::get_if<MalformedRequest>(&length))
        return *malformed;
    std::size_t size = std::get<std::size_t>(length);
    if (buffer.size() - bodyStart < size)
        return IncompleteRequest{true};
    request.body = buffer.substr(bodyStart, size);
    return ParsedRequest{std::move(request), bodyStart + size};
}

} // namespace

RequestParse parseRequest(std::string_view buffer, BodyReading reading, const RequestLimits& limits)
{
    auto headEnd = buffer.find(kHeadEnd);
    // The same limit whether the head's end has arrived or not, so that reading in
    // pieces cannot change the verdict.
    std::size_t headSize = headEnd == std::string_view::npos ? buffer.size() : headEnd + kHeadEnd.size();
    if (headSize > limits.maxHeadBytes)
        return MalformedRequest{"request head is larger than the limit"};
    if (headEnd == std::string_view::npos)
        return IncompleteRequest{};
    RecordedRequest request;
    request.head = buffer.substr(0, headEnd + kHeadEnd.size());
    auto lineEnd = buffer.find(kLineEnd);
    if (auto malformed = parseRequestLine(buffer.substr(0, lineEnd), request))
        return *malformed;
    if (lineEnd < headEnd) {
        auto headerLines = buffer.substr(lineEnd + kLineEnd.size(), headEnd - lineEnd - kLineEnd.size());
        if (auto malformed = parseHeaderLines(headerLines, request))
            return *malformed;
    }
    std::size_t bodyStart = headEnd + kHeadEnd.size();
    if (reading == BodyReading::HeadOnly)
        return ParsedRequest{std::move(request), bodyStart};
    return readBody(buffer, bodyStart, std::move(request), limits);
}

} // namespace waterline::testing
