#include <waterline/foundation/Error.h>

#include <gtest/gtest.h>

#include <cerrno>

using namespace waterline;

namespace {

TEST(Error, CarriesDomainCodeAndDetails)
{
    auto cause = Error::fromErrno(ENOENT);
    EXPECT_EQ(cause->domain(), "POSIXErrorDomain");
    EXPECT_EQ(cause->code(), ENOENT);
    EXPECT_EQ(cause->localizedDescription(), "No such file or directory");

    ErrorPtr error = Error::create("HTTPRequestErrorDomain", 8,
                                   {.localizedDescription = "Failed to delete file at path '/tmp/x'",
                                    .failureReason = "gone",
                                    .underlyingError = cause,
                                    .entries = {{"path", "/tmp/x"}}});
    EXPECT_EQ(error->domain(), "HTTPRequestErrorDomain");
    EXPECT_EQ(error->code(), 8);
    EXPECT_EQ(error->localizedDescription(), "Failed to delete file at path '/tmp/x'");
    EXPECT_EQ(error->failureReason(), "gone");
    EXPECT_EQ(error->underlyingError(), cause);
    EXPECT_EQ(error->entry("path"), "/tmp/x");
    EXPECT_EQ(error->entry("other"), std::nullopt);
    EXPECT_EQ(error->debugDescription(),
              "HTTPRequestErrorDomain 8: Failed to delete file at path '/tmp/x' "
              "[POSIXErrorDomain 2: No such file or directory]");
}

TEST(Error, ShortFormsAndDefaultDescription)
{
    auto plain = Error::create("org.skaldrin.JSON.ErrorDomain", 3);
    EXPECT_EQ(plain->localizedDescription(), "org.skaldrin.JSON.ErrorDomain error 3");
    EXPECT_FALSE(plain->underlyingError());
    EXPECT_FALSE(plain->failureReason());

    auto chained = Error::create("D", 1, "outer", Error::create("D", 2, "inner"));
    EXPECT_EQ(chained->underlyingError()->localizedDescription(), "inner");
    EXPECT_EQ(Error::fromErrno(EACCES, "Could not open")->localizedDescription(), "Could not open");
}

} // namespace
