// The gzip codec over zlib. The file operations work in fixed 16 KiB pieces whatever
// the file size; the in-memory ones size their output from the input.
#include <waterline/http/GzipCodec.h>

#include <atomic>
#include <climits>
#include <memory>
#include <zlib.h>

namespace waterline {

namespace {

constexpr std::size_t kChunkSize = 16384;
// 15 + 32: the window size, and a zlib or a gzip header detected from the data.
constexpr int kInflateWindowBits = 47;
// 15 + 16: the window size, written with a gzip wrapper.
constexpr int kDeflateWindowBits = 31;
constexpr int kDeflateMemoryLevel = 8;

std::atomic<std::size_t> g_maximumInflatedSize{GzipCodec::kDefaultMaximumInflatedSize};

int initialiseInflate(z_stream& stream)
{
    stream = {};
    return inflateInit2(&stream, kInflateWindowBits);
}

int initialiseDeflate(z_stream& stream)
{
    stream = {};
    return deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kDeflateWindowBits, kDeflateMemoryLevel,
                        Z_DEFAULT_STRATEGY);
}

// zlib counts in 32-bit units; buffers beyond 4 GiB are handed over in parts.
uInt clampedCount(std::size_t count)
{
    return static_cast<uInt>(std::min<std::size_t>(count, UINT_MAX));
}

// Points the stream at the input it has not consumed yet.
void feedInput(z_stream& stream, GzipCodec::Bytes input)
{
    const std::size_t consumed = stream.total_in;
    stream.next_in = const_cast<Bytef*>(input.data() + consumed);
    stream.avail_in = clampedCount(input.size() - consumed);
}

// Points the stream at the unused tail of `output`.
void offerOutput(z_stream& stream, GzipCodec::Data& output)
{
    const std::size_t produced = stream.total_out;
    stream.next_out = output.data() + produced;
    stream.avail_out = clampedCount(output.size() - produced);
}

// Writes what the last call produced into `buffer`; false on a write error or a short
// write.
bool writeProduced(const z_stream& stream, const std::uint8_t* buffer, std::FILE* out)
{
    const std::size_t produced = kChunkSize - stream.avail_out;
    return std::fwrite(buffer, 1, produced, out) == produced && !std::ferror(out);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// Runs `operation` from the file `source` into a new file `destination` (replacing
// one that exists). A failed final flush of the output is a file error: the data did
// not all reach the file.
int betweenFiles(const std::filesystem::path& source, const std::filesystem::path& destination,
                 int (*operation)(std::FILE*, std::FILE*), int cannotCreateDestinationResult)
{
    OwnedFile out(std::fopen(destination.c_str(), "wb"));
    if (!out)
        return cannotCreateDestinationResult;
    OwnedFile in(std::fopen(source.c_str(), "rb"));
    const int result = in ? operation(in.get(), out.get()) : GzipCodec::kFileError;
    const bool closed = std::fclose(out.release()) == 0;
    return (result == GzipCodec::kSuccess && !closed) ? GzipCodec::kFileError : result;
}

} // namespace

void GzipCodec::setMaximumInflatedSize(std::size_t bytes)
{
    g_maximumInflatedSize = bytes;
}

std::size_t GzipCodec::maximumInflatedSize()
{
    return g_maximumInflatedSize;
}

std::optional<GzipCodec::Data> GzipCodec::uncompressZippedData(Bytes data)
{
    if (data.empty())
        return Data{};
    const std::size_t limit = maximumInflatedSize();
    const std::size_t growth = data.size() / 2;
    Data output(std::min(data.size() + growth, limit));
    z_stream stream;
    if (initialiseInflate(stream) != Z_OK)
        return std::nullopt;

    bool succeeded = false;
    while (true) {
        if (stream.total_out == output.size()) {
            // The buffer is full: grow it, but never past the limit.
            if (output.size() >= limit || growth == 0)
                break;
            output.resize(std::min(output.size() + growth, limit));
        }
        feedInput(stream, data);
        offerOutput(stream, output);
        const int status = inflate(&stream, Z_SYNC_FLUSH);
        if (status == Z_STREAM_END) {
            succeeded = true;
            break;
        }
        if (status != Z_OK)
            break;
    }
    if (inflateEnd(&stream) != Z_OK || !succeeded)
        return std::nullopt;
    output.resize(stream.total_out);
    return output;
}

int GzipCodec::uncompressZippedDataFromFile(const std::filesystem::path& source,
                                            const std::filesystem::path& destination)
{
    return betweenFiles(source, destination, uncompressZippedDataFromSource, kCannotCreateDestination);
}

int GzipCodec::uncompressZippedDataFromSource(std::FILE* in, std::FILE* out)
{
    z_stream stream;
    if (const int status = initialiseInflate(stream); status != Z_OK)
        return status;

    std::uint8_t input[kChunkSize];
    std::uint8_t output[kChunkSize];
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        stream.avail_in = static_cast<uInt>(std::fread(input, 1, kChunkSize, in));
        if (std::ferror(in)) {
            inflateEnd(&stream);
            return kFileError;
        }
        if (stream.avail_in == 0)
            break;
        stream.next_in = input;
        do {
            stream.avail_out = kChunkSize;
            stream.next_out = output;
            status = inflate(&stream, Z_NO_FLUSH);
            if (status == Z_NEED_DICT)
                status = Z_DATA_ERROR;
            if (status == Z_DATA_ERROR || status == Z_MEM_ERROR || status == Z_STREAM_ERROR) {
                inflateEnd(&stream);
                return status;
            }
            if (!writeProduced(stream, output, out)) {
                inflateEnd(&stream);
                return kFileError;
            }
        } while (stream.avail_out == 0);
    }
    inflateEnd(&stream);
    // The input ended before the gzip stream did.
    return status == Z_STREAM_END ? kSuccess : kCorruptInput;
}

std::optional<GzipCodec::Data> GzipCodec::compressData(Bytes data)
{
    if (data.empty())
        return Data{};
    z_stream stream;
    if (initialiseDeflate(stream) != Z_OK)
        return std::nullopt;

    Data output(kChunkSize);
    int status = Z_OK;
    do {
        if (stream.total_out == output.size())
            output.resize(output.size() + kChunkSize);
        feedInput(stream, data);
        offerOutput(stream, output);
        // Finish once all input has been handed over (it is at once, below 4 GiB).
        const bool allInputGiven = stream.total_in + stream.avail_in == data.size();
        status = deflate(&stream, allInputGiven ? Z_FINISH : Z_NO_FLUSH);
    } while (status == Z_OK);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        return std::nullopt;
    output.resize(stream.total_out);
    return output;
}

int GzipCodec::compressDataFromFile(const std::filesystem::path& source, const std::filesystem::path& destination)
{
    // A destination that cannot be created is reported like any other file error.
    return betweenFiles(source, destination, compressDataFromSource, kFileError);
}

int GzipCodec::compressDataFromSource(std::FILE* in, std::FILE* out)
{
    z_stream stream;
    if (const int status = initialiseDeflate(stream); status != Z_OK)
        return status;

    std::uint8_t input[kChunkSize];
    std::uint8_t output[kChunkSize];
    int flush = Z_NO_FLUSH;
    int status = Z_OK;
    do {
        stream.avail_in = static_cast<uInt>(std::fread(input, 1, kChunkSize, in));
        if (std::ferror(in)) {
            deflateEnd(&stream);
            return kFileError;
        }
        flush = std::feof(in) ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = input;
        do {
            stream.avail_out = kChunkSize;
            stream.next_out = output;
            status = deflate(&stream, flush);
            if (status == Z_STREAM_ERROR || !writeProduced(stream, output, out)) {
                deflateEnd(&stream);
                return status == Z_STREAM_ERROR ? status : kFileError;
            }
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    // With correct use of zlib the stream has ended here; say so if it has not, rather
    // than report a file without its end as a success.
    return status == Z_STREAM_END && stream.avail_in == 0 ? kSuccess : Z_STREAM_ERROR;
}

} // namespace waterline
