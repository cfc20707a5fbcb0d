#include "SecretServiceClient.h"

#include "BoundedAsyncCall.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <filesystem>

namespace waterline {

namespace {

constexpr const char* kDomain = kSecretServiceErrorDomain;

const SecretSchema* credentialSchema()
{
    static const SecretSchema schema = {
        "org.waterline.http.Credential",
        SECRET_SCHEMA_NONE,
        {
            {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
            {"scheme", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"realm", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"kind", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &schema;
}

// GLib looks for the session bus in DBUS_SESSION_BUS_ADDRESS, then at
// $XDG_RUNTIME_DIR/bus, and last starts one through X11 autolaunching; a library must
// not start a bus daemon behind its program's back, so without the first two there is
// no bus for us.
bool sessionBusIsConfigured()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    return runtime && *runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", ignored);
}

struct HashTable {
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    explicit HashTable(const SecretAttributes& attributes)
    {
        for (const auto& [name, value] : attributes)
            g_hash_table_insert(table, g_strdup(name.c_str()), g_strdup(value.c_str()));
    }
    ~HashTable() { g_hash_table_unref(table); }
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;
};

ErrorPtr errorFrom(GError* error, const char* what, SecretServiceErrorCode code = Refused)
{
    std::string text = std::string(what) + ": " + (error ? error->message : "no reason given");
    if (error)
        g_error_free(error);
    return Error::create(kDomain, code, text);
}

ErrorPtr timedOut(const char* what, std::chrono::milliseconds limit)
{
    return Error::create(kDomain, TimedOut,
                         std::string(what) + ": no answer within " + std::to_string(limit.count()) + " ms");
}

SecretAttributes attributesOf(SecretItem* item)
{
    SecretAttributes attributes;
    GHashTable* table = secret_item_get_attributes(item);
    GHashTableIter iterator;
    gpointer name = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iterator, table);
    while (g_hash_table_iter_next(&iterator, &name, &value))
        attributes[static_cast<const char*>(name)] = static_cast<const char*>(value);
    g_hash_table_unref(table);
    return attributes;
}

std::optional<std::string> secretOf(SecretItem* item)
{
    SecretValue* value = secret_item_get_secret(item);
    if (!value)
        return std::nullopt; // locked: its secret was not loaded
    const char* text = secret_value_get_text(value);
    std::optional<std::string> secret = text ? std::optional<std::string>(text) : std::nullopt;
    secret_value_unref(value);
    return secret;
}

} // namespace

struct SecretServiceClient::Handles {
    GMainContext* context = g_main_context_new();
    SecretService* service = nullptr;
};

SecretServiceClient::SecretServiceClient(std::chrono::milliseconds callLimit)
    : m_callLimit(callLimit)
    , m_handles(std::make_unique<Handles>())
{
}

// The context and the service stay: an abandoned operation may still refer to them.
// The store is process-wide, so this runs only at exit.
SecretServiceClient::~SecretServiceClient() = default;

ErrorOr<void> SecretServiceClient::connect()
{
    if (m_handles->service)
        return {};
    if (!sessionBusIsConfigured())
        return Error::create(kDomain, NoSessionBus, "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");

    BoundedAsyncCall busCall(m_handles->context, m_callLimit);
    auto bus = busCall.run([](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        g_bus_get(G_BUS_TYPE_SESSION, cancellable, done, data);
    });
    if (bus.timedOut)
        return timedOut("connecting to the session bus", m_callLimit);
    GError* error = nullptr;
    GDBusConnection* connection = g_bus_get_finish(bus.result, &error);
    if (!connection)
        return errorFrom(error, "connecting to the session bus", Unreachable);
    // The shared connection ends the process when the bus goes away; a credential
    // store must not take its program down with it.
    g_dbus_connection_set_exit_on_close(connection, FALSE);
    g_object_unref(connection);

    BoundedAsyncCall serviceCall(m_handles->context, m_callLimit);
    auto service = serviceCall.run([](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        secret_service_get(SECRET_SERVICE_OPEN_SESSION, cancellable, done, data);
    });
    if (service.timedOut)
        return timedOut("opening the Secret Service", m_callLimit);
    m_handles->service = secret_service_get_finish(service.result, &error);
    if (!m_handles->service)
        return errorFrom(error, "opening the Secret Service", Unreachable);
    return {};
}

ErrorOr<std::optional<SecretItemRecord>> SecretServiceClient::findNewest(const SecretAttributes& attributes)
{
    WL_TRY(connect());
    HashTable table(attributes);
    BoundedAsyncCall call(m_handles->context, m_callLimit);
    SecretService* service = m_handles->service;
    auto outcome = call.run([&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        // No SECRET_SEARCH_UNLOCK: unlocking may ask the user through a prompt, which
        // a request's worker must not wait for; a locked item counts as absent.
        secret_service_search(service, credentialSchema(), table.table,
                              static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
                              cancellable, done, data);
    });
    if (outcome.timedOut)
        return timedOut("searching the Secret Service", m_callLimit);
    GError* error = nullptr;
    GList* items = secret_service_search_finish(service, outcome.result, &error);
    if (error)
        return errorFrom(error, "searching the Secret Service");
    std::optional<SecretItemRecord> newest;
    guint64 newestTime = 0;
    for (GList* entry = items; entry; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        auto secret = secretOf(item);
        if (!secret || (newest && secret_item_get_modified(item) < newestTime))
            continue;
        newestTime = secret_item_get_modified(item);
        newest = SecretItemRecord{attributesOf(item), std::move(*secret)};
    }
    g_list_free_full(items, g_object_unref);
    return newest;
}

ErrorOr<void> SecretServiceClient::clear(const SecretAttributes& attributes)
{
    WL_TRY(connect());
    HashTable table(attributes);
    BoundedAsyncCall call(m_handles->context, m_callLimit);
    SecretService* service = m_handles->service;
    auto outcome = call.run([&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        secret_service_clear(service, credentialSchema(), table.table, cancellable, done, data);
    });
    if (outcome.timedOut)
        return timedOut("removing from the Secret Service", m_callLimit);
    GError* error = nullptr;
    // false without an error: there was nothing to remove.
    if (!secret_service_clear_finish(service, outcome.result, &error) && error)
        return errorFrom(error, "removing from the Secret Service");
    return {};
}

ErrorOr<void> SecretServiceClient::store(const SecretAttributes& attributes, const std::string& label,
                                         const std::string& secret)
{
    WL_TRY(connect());
    HashTable table(attributes);
    SecretValue* value = secret_value_new(secret.c_str(), static_cast<gssize>(secret.size()), "text/plain");
    BoundedAsyncCall call(m_handles->context, m_callLimit);
    SecretService* service = m_handles->service;
    auto outcome = call.run([&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
        secret_service_store(service, credentialSchema(), table.table, SECRET_COLLECTION_DEFAULT, label.c_str(), value,
                             cancellable, done, data);
    });
    secret_value_unref(value);
    if (outcome.timedOut)
        return timedOut("saving in the Secret Service", m_callLimit);
    GError* error = nullptr;
    if (!secret_service_store_finish(service, outcome.result, &error))
        return errorFrom(error, "saving in the Secret Service");
    return {};
}

} // namespace waterline
