#include <waterline/http/PersistentCredentialStore.h>

namespace waterline {

PersistentCredentialStore& PersistentCredentialStore::shared()
{
    static PersistentCredentialStore store;
    return store;
}

std::optional<StoredCredential> PersistentCredentialStore::defaultCredential(const ProtectionSpace&)
{
    return std::nullopt;
}

void PersistentCredentialStore::setDefaultCredential(const StoredCredential&, const ProtectionSpace&) {}

void PersistentCredentialStore::removeDefaultCredential(const ProtectionSpace&) {}

} // namespace waterline
