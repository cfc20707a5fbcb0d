// Progress against nginx on loopback: the fractions a receiver sees for known and
// unknown lengths, a resumed download, one step per request without accurate
// progress, and the byte counts a queue sums over four requests at once.
#include "RequestTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/testing/NginxServer.h>

#include <atomic>
#include <fstream>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;

namespace {

// Records every value, and whether each came on the main thread. Takes floats, or
// doubles when made with `Method::SetDoubleValue`.
class RecordingReceiver : public ProgressReceiver {
public:
    explicit RecordingReceiver(Method method = Method::SetProgress)
        : m_method(method)
    {
    }
    bool implements(Method method) const override { return method == m_method; }
    void setProgress(float value) override { note(value); }
    void setDoubleValue(double value) override { note(value); }

    std::vector<double> values;
    bool allOnMainThread = true;

private:
    void note(double value)
    {
        values.push_back(value);
        allOnMainThread = allOnMainThread && isMainThread();
    }
    Method m_method;
};

// Sums what requests report, from any number of threads at once.
class CountingQueue : public HTTPRequestQueue {
public:
    bool implements(Callback) const override { return true; }
    void requestDidFinish(HTTPRequest&) override { ++finished; }
    void requestDidFail(HTTPRequest&) override { ++failed; }
    void setUploadBufferSize(std::uint64_t n) override { uploadBuffer += n; }
    void incrementUploadProgressBy(std::uint64_t n) override
    {
        uploaded += n;
        ++uploadReports;
    }
    void decrementUploadProgressBy(std::uint64_t n) override { uploaded -= n; }
    void incrementDownloadSizeBy(std::uint64_t n) override { downloadSize += n; }
    void incrementDownloadProgressBy(std::uint64_t n) override
    {
        downloaded += n;
        ++downloadReports;
    }

    std::atomic<int> finished{0}, failed{0};
    std::atomic<std::uint64_t> uploadBuffer{0}, uploaded{0}, downloadSize{0}, downloaded{0};
    std::atomic<int> uploadReports{0}, downloadReports{0};
};

std::string bytesOf(std::size_t count, char fill = 'p')
{
    return std::string(count, fill);
}

bool nonDecreasing(const std::vector<double>& values)
{
    return std::is_sorted(values.begin(), values.end());
}

TEST(HTTPRequestProgress, FractionsOfKnownAndUnknownLengths)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("big.txt", bytesOf(300000)).isError());

    auto known = requestFor(nginx->url("/big.txt"));
    auto bar = std::make_shared<RecordingReceiver>();
    known->setDownloadProgressDelegate(bar);
    known->setAllowCompressedResponse(false);
    known->startSynchronous();
    ASSERT_EQ(known->error(), nullptr) << errorText(*known);
    ASSERT_GE(bar->values.size(), 3u);
    EXPECT_EQ(bar->values.front(), 0.0);
    EXPECT_EQ(bar->values.back(), 1.0);
    EXPECT_TRUE(nonDecreasing(bar->values));
    EXPECT_TRUE(bar->allOnMainThread);

    // gzip-encoded on the fly: no length is announced, so the receiver sees 0 and 1.
    auto unknown = requestFor(nginx->url("/gzip/big.txt"));
    auto gauge = std::make_shared<RecordingReceiver>(ProgressReceiver::Method::SetDoubleValue);
    unknown->setDownloadProgressDelegate(gauge);
    unknown->startSynchronous();
    ASSERT_EQ(unknown->error(), nullptr) << errorText(*unknown);
    ASSERT_EQ(unknown->contentLength(), 0u);
    EXPECT_EQ(gauge->values.front(), 0.0);
    EXPECT_EQ(gauge->values.back(), 1.0);
    EXPECT_EQ(std::count(gauge->values.begin(), gauge->values.end(), 1.0), 1);
}

TEST(HTTPRequestProgress, ResumedDownloadCountsThePartAlreadyOnDisk)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("five.bin", bytesOf(1000, 'a') + bytesOf(4000, 'b')).isError());
    ScratchPath partial, destination;
    std::ofstream(partial.path) << bytesOf(1000, 'a');

    auto request = requestFor(nginx->url("/five.bin"));
    request->setAllowCompressedResponse(false);
    request->setDownloadDestinationPath(destination.path);
    request->setTemporaryFileDownloadPath(partial.path);
    request->setAllowResumeForFileDownloads(true);
    auto bar = std::make_shared<RecordingReceiver>();
    request->setDownloadProgressDelegate(bar);
    request->startSynchronous();
    ASSERT_EQ(request->error(), nullptr) << errorText(*request);
    ASSERT_EQ(request->responseStatusCode(), 206);

    std::vector<double> moved;
    std::copy_if(bar->values.begin(), bar->values.end(), std::back_inserter(moved), [](double v) { return v > 0; });
    ASSERT_FALSE(moved.empty());
    EXPECT_GT(moved.front(), 0.2) << "the first report counts the 1000 bytes on disk";
    EXPECT_EQ(moved.back(), 1.0);
}

TEST(HTTPRequestProgress, WithoutAccurateProgressEachSideStepsOnceAtTheEnd)
{
    START_OR_FAIL(nginx,
                  NginxServer::start({.extraServerDirectives
                                      = "    location /upload/ { dav_methods PUT; create_full_put_path on; }\n"}));
    auto request = requestFor(nginx->url("/upload/once.bin"));
    request->setRequestMethod("PUT");
    request->appendPostData(bytesOf(100000));
    request->setShowAccurateProgress(false);
    auto queue = std::make_shared<CountingQueue>();
    auto up = std::make_shared<RecordingReceiver>();
    auto down = std::make_shared<RecordingReceiver>();
    request->setQueue(queue);
    request->setUploadProgressDelegate(up);
    request->setDownloadProgressDelegate(down);
    request->startSynchronous();
    ASSERT_EQ(request->error(), nullptr) << errorText(*request);
    ASSERT_EQ(request->responseStatusCode(), 201);

    EXPECT_EQ(up->values, (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(down->values, (std::vector<double>{0.0, 1.0})) << "a 201 of unknown length ends at 1";
    EXPECT_EQ(queue->uploadReports.load(), 1);
    EXPECT_EQ(queue->uploaded.load(), 1u);
    EXPECT_EQ(queue->downloadReports.load(), 1);
    EXPECT_EQ(queue->downloaded.load(), 1u);
}

TEST(HTTPRequestProgress, FourRequestsAtOnceLoseNoReport)
{
    START_OR_FAIL(nginx,
                  NginxServer::start({.extraServerDirectives
                                      = "    location /upload/ { dav_methods PUT; create_full_put_path on; }\n"}));
    const std::vector<std::size_t> sizes{70000, 300000, 1200000, 5000};
    auto queue = std::make_shared<CountingQueue>();
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    std::uint64_t body = 0, files = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::string name = "f";
        name += std::to_string(i);
        name += ".bin";
        ASSERT_FALSE(nginx->writeFile(name, bytesOf(sizes[i])).isError());
        auto download = requestFor(nginx->url("/" + name));
        download->setAllowCompressedResponse(false);
        files += sizes[i];
        auto upload = requestFor(nginx->url("/upload/" + name));
        upload->setRequestMethod("PUT");
        upload->appendPostData(bytesOf(sizes[i] * 2));
        body += sizes[i] * 2;
        for (auto& request : {download, upload}) {
            request->setQueue(queue);
            request->startAsynchronous();
            requests.push_back(request);
        }
    }
    ASSERT_TRUE(runMainUntil([&] { return queue->finished + queue->failed == 8; }, 30));
    for (const auto& request : requests) {
        EXPECT_EQ(request->error(), nullptr) << errorText(*request);
        EXPECT_EQ(request->responseStatusCode(), request->requestMethod() == "PUT" ? 201 : 200);
    }
    // Downloads: the sizes announced and the bytes reported both add up to the files
    // (the 201 answers of the uploads announce their own small bodies).
    std::uint64_t answers = 0;
    for (const auto& request : requests)
        if (request->requestMethod() == "PUT")
            answers += request->contentLength();
    EXPECT_EQ(queue->downloadSize.load(), files + answers);
    EXPECT_EQ(queue->downloaded.load(), files + answers);
    // Uploads: what the connections swallowed at once plus what was reported after.
    EXPECT_EQ(queue->uploadBuffer.load() + queue->uploaded.load(), body);
}

} // namespace
