#include <waterline/testing/TestCertificateAuthority.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/Subprocess.h>

#include <string>
#include <vector>

namespace waterline::testing {

namespace {

constexpr const char* kDomain = "TestCertificateAuthorityErrorDomain";

// One configuration for `openssl req` and `openssl ca`: a tiny authority database
// and the extension sets of the certificates made here.
std::string configuration(const std::filesystem::path& folder)
{
    return "[req]\n"
           "distinguished_name = request_name\n"
           "[request_name]\n"
           "[ca]\n"
           "default_ca = test_ca\n"
           "[test_ca]\n"
           "database = "
        + (folder / "index.txt").string() + "\nnew_certs_dir = " + folder.string()
        + "\nserial = " + (folder / "serial").string()
        + "\n"
          "default_md = sha256\n"
          "policy = any_name\n"
          "unique_subject = no\n"
          "email_in_dn = no\n"
          "[any_name]\n"
          "commonName = supplied\n"
          "[authority]\n"
          "basicConstraints = critical, CA:TRUE\n"
          "keyUsage = critical, keyCertSign, cRLSign\n"
          "subjectKeyIdentifier = hash\n"
          "[loopback_server]\n"
          "basicConstraints = critical, CA:FALSE\n"
          "keyUsage = critical, digitalSignature, keyEncipherment\n"
          "extendedKeyUsage = serverAuth\n"
          "subjectAltName = IP:127.0.0.1, DNS:localhost\n"
          "[other_server]\n"
          "basicConstraints = critical, CA:FALSE\n"
          "keyUsage = critical, digitalSignature, keyEncipherment\n"
          "extendedKeyUsage = serverAuth\n"
          "subjectAltName = DNS:other.invalid\n";
}

ErrorOr<void> openssl(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "openssl");
    auto result = WL_TRY(runCommand(arguments));
    if (!result.exit.succeeded())
        return Error::create(kDomain, 1,
                             "openssl " + arguments[1] + " " + result.exit.description() + ": " + result.output);
    return {};
}

std::vector<std::string> newKeyArguments(const std::filesystem::path& keyPath)
{
    return {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", keyPath.string()};
}

// A certificate signed by its own new key ("self-signed" and the authority itself).
ErrorOr<void> makeSelfSigned(const std::filesystem::path& folder, const std::string& name, const std::string& subject,
                             const std::string& extensions)
{
    std::vector<std::string> arguments{"req",
                                       "-x509",
                                       "-new",
                                       "-days",
                                       "30",
                                       "-subj",
                                       subject,
                                       "-config",
                                       (folder / "openssl.cnf").string(),
                                       "-extensions",
                                       extensions,
                                       "-out",
                                       (folder / (name + ".pem")).string()};
    for (auto& argument : newKeyArguments(folder / (name + ".key")))
        arguments.push_back(std::move(argument));
    return openssl(arguments);
}

struct Validity {
    std::string start; // openssl's YYYYMMDDHHMMSSZ, empty: now
    std::string end;   // empty: 30 days on
};

// A certificate issued by the authority, with a new key.
ErrorOr<void> issue(const std::filesystem::path& folder, const std::string& name, const std::string& subject,
                    const std::string& extensions, const Validity& validity = {})
{
    auto request = (folder / (name + ".csr")).string();
    std::vector<std::string> newRequest{"req",  "-new", "-subj", subject, "-config", (folder / "openssl.cnf").string(),
                                        "-out", request};
    for (auto& argument : newKeyArguments(folder / (name + ".key")))
        newRequest.push_back(std::move(argument));
    WL_TRY(openssl(newRequest));

    std::vector<std::string> sign{"ca",
                                  "-batch",
                                  "-notext",
                                  "-config",
                                  (folder / "openssl.cnf").string(),
                                  "-cert",
                                  (folder / "ca.pem").string(),
                                  "-keyfile",
                                  (folder / "ca.key").string(),
                                  "-extensions",
                                  extensions,
                                  "-in",
                                  request,
                                  "-out",
                                  (folder / (name + ".pem")).string()};
    if (validity.start.empty()) {
        sign.insert(sign.end(), {"-days", "30"});
    } else {
        sign.insert(sign.end(), {"-startdate", validity.start, "-enddate", validity.end});
    }
    return openssl(sign);
}

} // namespace

ErrorOr<std::unique_ptr<TestCertificateAuthority>> TestCertificateAuthority::create()
{
    auto folder = WL_TRY(TemporaryFolder::create());
    const auto& path = folder.path();
    WL_TRY(writeFileAtomically(path / "openssl.cnf", configuration(path), {.durable = false}));
    WL_TRY(writeFileAtomically(path / "index.txt", std::string_view(), {.durable = false}));
    WL_TRY(writeFileAtomically(path / "serial", std::string_view("1000\n"), {.durable = false}));

    WL_TRY(makeSelfSigned(path, "ca", "/CN=Waterline Test Authority", "authority"));
    WL_TRY(issue(path, "server", "/CN=127.0.0.1", "loopback_server"));
    WL_TRY(issue(path, "expired", "/CN=127.0.0.1", "loopback_server",
                 {.start = "20200101000000Z", .end = "20200201000000Z"}));
    WL_TRY(issue(path, "wrong-host", "/CN=other.invalid", "other_server"));
    WL_TRY(makeSelfSigned(path, "self-signed", "/CN=127.0.0.1", "loopback_server"));
    return std::unique_ptr<TestCertificateAuthority>(new TestCertificateAuthority(std::move(folder)));
}

} // namespace waterline::testing
