#include "ServerHarnessCurl.h"

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/testing/LoopbackPort.h>
#include <waterline/testing/ScriptedServer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace waterline;
using namespace waterline::testing;
using namespace std::chrono_literals;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

std::unique_ptr<ScriptedServer> startScripted()
{
    auto server = ScriptedServer::start();
    if (!server) {
        ADD_FAILURE() << "the scripted server did not start: " << server.error()->debugDescription();
        return nullptr;
    }
    return server.releaseValue();
}

// A plain client socket, to see the exact bytes a reply puts on the wire.
class RawClient {
public:
    explicit RawClient(std::uint16_t port)
        : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        auto address = loopbackAddress(port);
        EXPECT_EQ(::connect(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    void send(std::string_view bytes)
    {
        EXPECT_EQ(::send(m_socket.get(), bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    }

    // What arrives until the server closes, until nothing came for `quiet`, or until
    // the bytes end with `last`.
    std::string receive(std::chrono::milliseconds quiet, bool* closed = nullptr, std::string_view last = {})
    {
        std::string bytes;
        char chunk[4096];
        while (last.empty() || !bytes.ends_with(last)) {
            pollfd fd{m_socket.get(), POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(quiet.count())) <= 0)
                break;
            ssize_t got = ::recv(m_socket.get(), chunk, sizeof chunk, 0);
            if (got <= 0) {
                if (closed)
                    *closed = true;
                break;
            }
            bytes.append(chunk, static_cast<std::size_t>(got));
        }
        return bytes;
    }

private:
    FileDescriptor m_socket;
};

TEST(ServerHarnessScripted, RecordsRequestsWithLengthAndChunkedBodies)
{
    auto server = startScripted();
    ASSERT_TRUE(server);
    server->enqueue(ScriptedReply::response(200, {}, "one"));
    server->enqueue(ScriptedReply::response(201, {}, "two"));
    // Two transfers in one curl run (--next) share the kept-alive connection.
    auto output = curlOutput({"-H", "X-Test: 1", "-d", "abc", server->url("/first?x=1"), "--next", "-H",
                              "Transfer-Encoding: chunked", "-d", "chunked body", server->url("/second")});
    EXPECT_EQ(output, "onetwo");
    ASSERT_TRUE(server->waitForRequests(2, 5s));
    auto requests = server->requests();
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/first?x=1");
    EXPECT_EQ(requests[0].version, "HTTP/1.1");
    EXPECT_EQ(requests[0].header("x-test"), "1");
    EXPECT_EQ(requests[0].body, "abc");
    EXPECT_FALSE(requests[0].bodyWasChunked);
    EXPECT_EQ(requests[1].body, "chunked body");
    EXPECT_TRUE(requests[1].bodyWasChunked);
    EXPECT_EQ(requests[0].connection, requests[1].connection);
    EXPECT_EQ(server->connectionCount(), 1);
}

TEST(ServerHarnessScripted, SendsExactBytesAndClosesWhereTold)
{
    auto server = startScripted();
    ASSERT_TRUE(server);
    std::string malformed = "HTTP/1.1 2OO Fine\r\nX-Broken\r\nContent-Length: 10\r\n\r\nabc";
    server->enqueue(ScriptedReply::raw(malformed));
    RawClient client(server->port());
    client.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    bool closed = false;
    EXPECT_EQ(client.receive(5s, &closed), malformed);
    EXPECT_TRUE(closed);

    // A body cut short: curl sees the connection end before the announced length.
    server->enqueue(ScriptedReply::cutBody(200, std::string(100, 'x'), 40));
    auto cut = runCommand({"curl", "--silent", "--max-time", "20", server->url("/cut")});
    ASSERT_FALSE(cut.isError());
    EXPECT_EQ(cut->exit.exitCode, 18) << cut->output; // "partial file"
    EXPECT_EQ(cut->output, std::string(40, 'x'));
}

TEST(ServerHarnessScripted, HangsUntilStoppedAndDrips)
{
    auto server = startScripted();
    ASSERT_TRUE(server);
    server->enqueue({.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nslowly",
                     .drip = Drip{.chunkBytes = 2, .interval = 5ms}});
    EXPECT_EQ(curlBody(server->url("/drip")), "slowly");

    server->enqueue(ScriptedReply::headersThenHang(200, 1000));
    RawClient client(server->port());
    client.send("GET /hang HTTP/1.1\r\nHost: x\r\n\r\n");
    bool closed = false;
    EXPECT_EQ(client.receive(5s, &closed, "\r\n\r\n"), "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
    EXPECT_EQ(client.receive(200ms, &closed), "");
    EXPECT_FALSE(closed);
    server->stop();
    EXPECT_EQ(client.receive(5s, &closed), "");
    EXPECT_TRUE(closed);
}

TEST(ServerHarnessScripted, ChallengesContinuesAndAnswersWithTheResponder)
{
    auto server = startScripted();
    ASSERT_TRUE(server);
    server->enqueue(ScriptedReply::challenge(407, {"Basic realm=\"proxy\"", "Digest realm=\"proxy\", nonce=\"n\""}));
    EXPECT_THAT(curlOutput({"-i", server->url("/")}),
                AllOf(HasSubstr("407 Proxy Authentication Required"),
                      HasSubstr("Proxy-Authenticate: Basic realm=\"proxy\"\r\n"),
                      HasSubstr("Proxy-Authenticate: Digest realm=\"proxy\", nonce=\"n\"\r\n")));

    server->setResponder([](const RecordedRequest& request) {
        return ScriptedReply::response(200, {}, request.method + " " + std::to_string(request.body.size()));
    });
    // curl asks "Expect: 100-continue" for a body this large and waits for the go-ahead.
    std::string large(2 << 20, 'u');
    auto path = temporaryFilePath();
    ASSERT_FALSE(writeFileAtomically(path, large).isError());
    EXPECT_EQ(curlBody(server->url("/upload"), {"--expect100-timeout", "15", "--data-binary", "@" + path}),
              "POST " + std::to_string(large.size()));
    std::filesystem::remove(path);
    ASSERT_TRUE(server->waitForRequests(2, 5s));
    EXPECT_EQ(server->requests()[1].header("Expect"), "100-continue");

    server->setResponder({});
    EXPECT_THAT(curlOutput({"-i", server->url("/unscripted")}), HasSubstr("500 Internal Server Error"));
}

} // namespace
