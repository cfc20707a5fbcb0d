// Runs the built wl-base64 through a shell, with its input and output as regular
// files and as pipes, since each pairing takes its own path to keep a failed decode
// from writing anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;

const std::string kTool = WATERLINE_BINARY_DIR "/bin/wl-base64";
const std::string kInvalid = "wl-base64: invalid input\n";

enum class Plumbing { FileToFile, FileToPipe, PipeToFile, PipeToPipe };
constexpr Plumbing kEveryPlumbing[]
    = {Plumbing::FileToFile, Plumbing::FileToPipe, Plumbing::PipeToFile, Plumbing::PipeToPipe};

std::string shellQuoted(const std::string& text);

struct Result {
    int status = -1;
    std::string out, err;
};

class WlBase64 : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "wl-base64-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + shellQuoted(dir_)).c_str()); }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    void writeFile(const std::string& name, const std::string& content) const
    {
        std::ofstream(path(name), std::ios::binary) << content;
    }

    std::string readFile(const std::string& name) const
    {
        std::ifstream file(path(name), std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        return content.str();
    }

    // Runs the tool on `input` with `args`; `redirect` is how standard output reaches
    // the file "out" when it is not a pipe.
    Result run(const std::string& args, const std::string& input, Plumbing plumbing = Plumbing::FileToFile,
               const std::string& redirect = ">")
    {
        writeFile("in", input);
        const std::string tool = shellQuoted(kTool) + " " + args + " 2>" + shellQuoted(path("err"));
        const std::string in = shellQuoted(path("in"));
        const std::string out = shellQuoted(path("out"));
        const std::string rc = "; echo $? >" + shellQuoted(path("rc"));
        std::string command;
        switch (plumbing) {
        case Plumbing::FileToFile:
            command = tool + " <" + in + " " + redirect + out + rc;
            break;
        case Plumbing::FileToPipe:
            command = "{ " + tool + " <" + in + rc + "; } | cat >" + out;
            break;
        case Plumbing::PipeToFile:
            command = "cat " + in + " | { " + tool + " " + redirect + out + rc + "; }";
            break;
        case Plumbing::PipeToPipe:
            command = "cat " + in + " | { " + tool + rc + "; } | cat >" + out;
            break;
        }
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return {std::stoi(readFile("rc")), readFile("out"), readFile("err")};
    }

    std::string dir_;
};

std::string shellQuoted(const std::string& text)
{
    std::string result(1, '\'');
    result.append(text).push_back('\'');
    return result;
}

std::string randomBytes(std::size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

TEST_F(WlBase64, Encodes)
{
    struct Case {
        std::string args, input, output;
    };
    const Case cases[] = {
        {"", "M", "TQ==\n"},
        {"--web-safe", "M", "TQ==\n"},
        {"--web-safe --no-padding", "M", "TQ\n"},
        {"", "\xFB\xFF\xBF", "+/+/\n"},
        {"--web-safe", "\xFB\xFF\xBF", "-_-_\n"},
        {"-w 4", "Many", "TWFu\neQ==\n"},
        {"-w4", "ManMan", "TWFu\nTWFu\n"}, // no empty line after a full last line
        {"-w 0", "ManMan", "TWFuTWFu\n"},
        {"", "\0\n\r"s, "AAoN\n"},
        {"", "", ""}, // nothing to encode, nothing written
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " " + c.input);
        const Result result = run(c.args, c.input);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, c.output);
        EXPECT_EQ(result.err, "");
    }
}

TEST_F(WlBase64, DecodesOrWritesNothing)
{
    struct Case {
        std::string args, input;
        std::optional<std::string> output; // none: "invalid input"
    };
    const Case cases[] = {
        {"-d", "TQ==\n", "M"},
        {"--decode", "TW\nFu\r\n", "Man"},
        {"-d", "TQ", {}}, // padding required
        {"-d --web-safe", "TQ", "M"},
        {"-d --web-safe --no-padding", "TQ", "M"},
        {"-d", "-_-_", {}},
        {"-d --web-safe", "-_-_", "\xFB\xFF\xBF"},
        {"-d --web-safe", "+/+/", {}},
        {"-d", "TQ==TQ==", {}},
        {"-d", "TR==", {}},  // set trailing bits
        {"-d", " \n\t", {}}, // text, but no Base64 in it
        {"-d", "", ""},      // an empty file decodes to an empty file
        {"-d --web-safe", "", ""},
        {"-d", "TWFuTWFu*", {}}, // bad byte after valid output
        // A NUL byte would end the text in a C string; in a file it is a bad byte, or
        // what follows it would vanish unnoticed.
        {"-d", "aGVs\0!!!garbage"s, {}},
        {"-d", "TQ==\0junk"s, {}},
        {"-d", "TQ==\0"s, {}},
        {"-d --web-safe", "TWFu\0TWFu"s, {}},
    };
    for (const Case& c : cases) {
        for (Plumbing plumbing : kEveryPlumbing) {
            SCOPED_TRACE(c.args + " " + c.input + " plumbing " + std::to_string(static_cast<int>(plumbing)));
            const Result result = run(c.args, c.input, plumbing);
            EXPECT_EQ(result.status, c.output ? 0 : 1);
            EXPECT_EQ(result.out, c.output.value_or(""));
            EXPECT_EQ(result.err, c.output ? "" : kInvalid);
        }
    }
}

TEST_F(WlBase64, RejectsBadCommandLines)
{
    const std::string cases[] = {"--no-padding", "-d --no-padding", "--bogus", "-w", "-w x", "-w -1", "a b"};
    for (const std::string& args : cases) {
        SCOPED_TRACE(args);
        const Result result = run(args, "M");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("usage: wl-base64"), std::string::npos);
    }
    const Result missing = run(shellQuoted(path("no-such-file")), "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);
}

// 5 MB crosses the tool's encoding and decoding blocks several times.
TEST_F(WlBase64, RoundTripsBinaryDataAcrossBlocks)
{
    const std::string data = randomBytes(5'000'011, 7);
    for (const std::string& alphabet : {""s, "--web-safe"s, "--web-safe --no-padding"s}) {
        for (const std::string& wrap : {""s, "-w 76"s}) {
            SCOPED_TRACE(alphabet + " " + wrap);
            const Result encoded = run(alphabet + " " + wrap, data);
            ASSERT_EQ(encoded.status, 0);
            const Result decoded
                = run("-d " + alphabet.substr(0, alphabet.find(" --")), encoded.out, Plumbing::PipeToPipe);
            ASSERT_EQ(decoded.status, 0) << decoded.err;
            EXPECT_TRUE(decoded.out == data);
        }
    }
}

TEST_F(WlBase64, PaddingAcrossABlockEdge)
{
    // The first '=' ends the tool's first 1 MiB block, the second starts the next one.
    const std::string text = std::string((1u << 20) - 4, 'A') + " TQ=" + "=\n";
    const std::string expected = std::string(((1u << 20) - 4) / 4 * 3, '\0') + "M";
    for (Plumbing plumbing : kEveryPlumbing) {
        const Result result = run("-d", text, plumbing);
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(result.out == expected);
    }
    const Result missing = run("-d", text.substr(0, 1u << 20) + "\nx", Plumbing::PipeToPipe);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
}

// Output beyond the memory limit is staged in a temporary file when neither the
// input can be read twice nor the output cut back.
TEST_F(WlBase64, LargeOutputThroughPipes)
{
    const std::string data = randomBytes(20u << 20, 9);
    const Result encoded = run("", data);
    ASSERT_EQ(encoded.status, 0);
    const Result decoded = run("-d", encoded.out, Plumbing::PipeToPipe);
    EXPECT_EQ(decoded.status, 0);
    EXPECT_TRUE(decoded.out == data);
    const Result failed = run("-d", encoded.out + "!", Plumbing::PipeToPipe);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, kInvalid);
}

TEST_F(WlBase64, FailureLeavesExistingOutputFileAlone)
{
    for (Plumbing plumbing : {Plumbing::FileToFile, Plumbing::PipeToFile}) {
        // Appending: the earlier content stays, a success adds to it.
        writeFile("out", "kept");
        EXPECT_EQ(run("-d", "TWFu*", plumbing, ">>").status, 1);
        EXPECT_EQ(readFile("out"), "kept");
        EXPECT_EQ(run("-d", "TWFu", plumbing, ">>").status, 0);
        EXPECT_EQ(readFile("out"), "keptMan");
        // Opened for reading and writing at its start: the content after the
        // position must survive a failure too.
        writeFile("out", "kept");
        EXPECT_EQ(run("-d", "TWFu*", plumbing, "1<>").status, 1);
        EXPECT_EQ(readFile("out"), "kept");
    }
}

// In append mode another process may add to the file while the tool decodes: a
// failure must not cut the file back over those lines, so nothing is written before
// the input proved valid.
TEST_F(WlBase64, AppendModeKeepsWhatOthersAppended)
{
    writeFile("out", "kept");
    const std::string out = shellQuoted(path("out"));
    // The pause lets the tool open its output before the other writer appends.
    const std::string command = "{ printf TWFu; sleep 0.2; printf ' other' >>" + out + "; printf '*'; } | "
        + shellQuoted(kTool) + " -d 2>/dev/null >>" + out + "; echo $? >" + shellQuoted(path("rc"));
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile("rc"), "1\n");
    EXPECT_EQ(readFile("out"), "kept other");
}

TEST_F(WlBase64, RefusesToReadItsOwnOutputFile)
{
    const std::string file = shellQuoted(path("f"));
    const std::string commands[] = {
        shellQuoted(kTool) + " " + file + " >>" + file,
        shellQuoted(kTool) + " <" + file + " >>" + file,
        shellQuoted(kTool) + " -d " + file + " 1<>" + file,
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        writeFile("f", "TWFu\n");
        const std::string line = command + " 2>" + shellQuoted(path("err")) + "; echo $? >" + shellQuoted(path("rc"));
        ASSERT_EQ(std::system(line.c_str()), 0);
        EXPECT_EQ(readFile("rc"), "1\n");
        EXPECT_EQ(readFile("err"), "wl-base64: input file is output file\n");
        EXPECT_EQ(readFile("f"), "TWFu\n");
    }
    // A copy of the same bytes is another file.
    writeFile("g", "TWFu\n");
    const std::string copy = shellQuoted(kTool) + " -d " + shellQuoted(path("g")) + " >>" + file;
    EXPECT_EQ(std::system(copy.c_str()), 0);
    EXPECT_EQ(readFile("f"), "TWFu\nMan");
}

TEST_F(WlBase64, WritesToAFullDiskFail)
{
    writeFile("in", "TWFu\n");
    for (const std::string& args : {"--help"s, "-d"s, ""s}) {
        SCOPED_TRACE(args);
        const std::string line = shellQuoted(kTool) + " " + args + " <" + shellQuoted(path("in")) + " >/dev/full 2>"
            + shellQuoted(path("err")) + "; echo $? >" + shellQuoted(path("rc"));
        ASSERT_EQ(std::system(line.c_str()), 0);
        EXPECT_EQ(readFile("rc"), "1\n");
        EXPECT_EQ(readFile("err"), "wl-base64: write error: No space left on device\n");
    }
}

// Runs the tool on the file `input` with its address space limited to `limit` bytes
// (set in the child, before the tool starts); standard error goes to the file `err`.
int runWithMemoryLimit(rlim_t limit, const std::string& input, const std::string& err)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit memory{limit, limit};
        const int in = ::open(input.c_str(), O_RDONLY);
        const int out = ::open("/dev/null", O_WRONLY);
        const int error = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || error < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(error, 2) < 0
            || ::setrlimit(RLIMIT_AS, &memory) != 0)
            ::_exit(125);
        ::execl(kTool.c_str(), kTool.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#ifdef WATERLINE_SANITIZE
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST_F(WlBase64, OutOfMemoryIsReported)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizer's allocator ends the process itself when memory runs out";
    // The smallest limit (in MiB steps) under which the tool encodes an empty input,
    // its 3 MiB input block included; 2 MiB more leaves no room for the 4 MiB of text
    // that a full block encodes to.
    writeFile("empty", "");
    rlim_t enough = 0;
    for (rlim_t mebibytes = 1; mebibytes <= 256 && enough == 0; ++mebibytes)
        if (runWithMemoryLimit(mebibytes << 20, path("empty"), path("err")) == 0)
            enough = mebibytes << 20;
    ASSERT_NE(enough, 0u) << "the tool does not start under 256 MiB";
    writeFile("big", randomBytes(4u << 20, 3));
    EXPECT_EQ(runWithMemoryLimit(enough + (2u << 20), path("big"), path("err")), 1);
    EXPECT_EQ(readFile("err"), "wl-base64: out of memory\n");
}

} // namespace
