// The error record: construction and the few derived texts.
#include <waterline/foundation/Error.h>

#include <cstring>

namespace waterline {

Error::Error(PrivateTag, std::string domain, int code, Details details)
    : m_domain(std::move(domain))
    , m_code(code)
    , m_details(std::move(details))
{
}

ErrorPtr Error::create(std::string domain, int code, Details details)
{
    return std::make_shared<const Error>(PrivateTag{}, std::move(domain), code, std::move(details));
}

ErrorPtr Error::create(std::string domain, int code, std::string localizedDescription, ErrorPtr underlyingError)
{
    return create(std::move(domain), code,
                  Details{.localizedDescription = std::move(localizedDescription),
                          .underlyingError = std::move(underlyingError)});
}

std::string errnoText(int errnum)
{
    char buffer[256];
    return ::strerror_r(errnum, buffer, sizeof buffer); // the GNU variant returns the text
}

ErrorPtr Error::fromErrno(int errnum, std::string localizedDescription)
{
    if (localizedDescription.empty())
        localizedDescription = errnoText(errnum);
    return create(kPOSIXErrorDomain, errnum, std::move(localizedDescription));
}

std::string Error::localizedDescription() const
{
    if (!m_details.localizedDescription.empty())
        return m_details.localizedDescription;
    return m_domain + " error " + std::to_string(m_code);
}

std::optional<std::string> Error::entry(const std::string& key) const
{
    auto it = m_details.entries.find(key);
    if (it == m_details.entries.end())
        return std::nullopt;
    return it->second;
}

std::string Error::debugDescription() const
{
    std::string text = m_domain + " " + std::to_string(m_code) + ": " + localizedDescription();
    if (m_details.underlyingError)
        text += " [" + m_details.underlyingError->debugDescription() + "]";
    return text;
}

} // namespace waterline
