// One HTTP exchange on the wire: sends a request (method, URL, headers, a body pulled
// from an InputStream) and hands the response back as a parsed header block and body
// bytes that the caller reads in pieces of the size it chooses. It does only wire
// work: no redirects, no content decoding, no cookies, no authentication.
//
// The exchange runs on the thread that opens it, driven by that thread's run loop in
// the private mode "HTTPRequest": its sockets and timers are sources of that mode,
// and its events (onEvent) are delivered while the thread runs that mode, one event
// per handled source. Connections are kept for reuse by the thread that made them;
// threads never share them.
//
//     auto transport = HTTPTransport::open(std::move(message), [&](auto event) { ... });
//     while (!done) RunLoop::current().runMode(kHTTPRequestMode, 0.25, true);
//
// open(), read() and the destructor belong to the opening thread; close() may be
// called from any thread (from another one it only marks the exchange abandoned, and
// the opening thread detaches it when it destroys the object).
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/RunLoopMode.h>
#include <waterline/http/HTTPHeaderFields.h>
#include <waterline/http/InputStream.h>
#include <waterline/http/ResponseHeaderParser.h>
#include <waterline/http/URL.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace waterline {

inline constexpr RunLoopMode kHTTPRequestMode{"HTTPRequest"};

enum class HTTPVersion { HTTP1_0, HTTP1_1 };

struct HTTPProxy {
    std::string host;
    int port = 0;
    std::string scheme = "http"; // or https, socks4, socks5h
};

struct HTTPTransportMessage {
    std::string method = "GET";
    URL url;
    HTTPVersion version = HTTPVersion::HTTP1_1;
    HTTPHeaderFields headers{};
    std::unique_ptr<InputStream> body{}; // none: no body
    std::uint64_t bodyLength = 0;
    bool validatesSecureCertificate = true;
    std::optional<std::string> certificateAuthorityFile{}; // else the system's store
    std::optional<HTTPProxy> proxy{};
    // Response bytes the transport may hold before it stops reading the connection;
    // none: its own generous default. A throttled request keeps this small, so that
    // bytes it may not take yet stay unread rather than pile up here.
    std::optional<std::size_t> receiveBufferLimit{};
};

class HTTPTransport {
public:
    enum class Event {
        BytesAvailable, // the header block is complete, or body bytes wait to be read
        Complete,       // the response has ended and every byte was read
        Error,          // the exchange failed; see streamError()
    };

    // Starts the exchange. Fails only when it cannot even be set up (the error says
    // why); failures on the wire arrive later as Event::Error.
    static ErrorOr<std::unique_ptr<HTTPTransport>> open(HTTPTransportMessage message,
                                                        std::function<void(Event)> onEvent);

    virtual ~HTTPTransport() = default;

    // The final response's header block; none until it is complete.
    virtual const ResponseHeaderBlock* responseHeader() const = 0;
    // Takes up to buffer.size() body bytes; 0 when none are waiting.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    // Body bytes of the request handed to the wire so far.
    virtual std::uint64_t requestBytesWritten() const = 0;
    // Why the exchange failed, once Event::Error came.
    virtual ErrorPtr streamError() const = 0;
    // True when the failure was in setting up a secure connection (certificate,
    // handshake).
    virtual bool failedInSecureConnection() const = 0;
    // Stops the exchange; no event comes after it.
    virtual void close() = 0;
};

} // namespace waterline
