#include "NginxConfig.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <waterline/testing/PasswordFile.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace waterline::testing {

namespace {

constexpr const char* kDomain = "NginxConfigErrorDomain";
constexpr std::array kRedirectStatuses{301, 302, 303, 307, 308};

std::string pathText(const std::filesystem::path& path)
{
    return path.string();
}

// nginx started as root hands its work to the `user` of the configuration (nobody
// by default), which could not read the test's files; run it as ourselves instead.
std::string userDirective()
{
    if (::geteuid() != 0)
        return {};
    const passwd* user = ::getpwuid(::geteuid());
    const group* group = ::getgrgid(::getegid());
    if (!user || !group)
        return {};
    return "user " + std::string(user->pw_name) + " " + group->gr_name + ";\n";
}

// A double-quoted nginx string. nginx has no escape for '$' (variables), and a line
// break would end the header, so values with either are refused.
ErrorOr<std::string> nginxString(std::string_view value)
{
    if (value.find_first_of("$\r\n") != std::string_view::npos)
        return Error::create(kDomain, 1,
                             "A header value for nginx may not hold '$' or a line break: " + std::string(value));
    std::string text = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    return text + "\"";
}

std::string echoBody()
{
    std::string body = "method: $request_method\\ntarget: $request_uri\\nprotocol: $server_protocol\\n";
    for (auto name : NginxServer::kEchoedHeaders) {
        std::string variable(name);
        std::replace(variable.begin(), variable.end(), '-', '_');
        body += std::string(name) + ": $http_" + variable + "\\n";
    }
    return body;
}

std::string echoDirectives()
{
    return "default_type text/plain; return 200 \"" + echoBody() + "\";";
}

std::string staticLocations(const std::filesystem::path& root)
{
    std::string alias = "alias " + pathText(root) + "/;";
    return "    location / { }\n"
           "    location /no-ranges/ { "
        + alias
        + " max_ranges 0; }\n"
          "    location /gzip/ { "
        + alias
        + " gzip on; gzip_types *; gzip_min_length 0; gzip_http_version 1.0; gzip_proxied any; }\n"
          "    location /as-gzip/ { "
        + alias + " add_header Content-Encoding gzip always; }\n";
}

std::string redirectTarget(const std::string& origin, int status, RedirectLocation location, int hops)
{
    switch (location) {
    case RedirectLocation::Absolute:
        return origin + NginxServer::redirectPath(hops, {.status = status, .location = location});
    case RedirectLocation::RootRelative:
        return NginxServer::redirectPath(hops, {.status = status, .location = location});
    case RedirectLocation::PathRelative:
        return std::to_string(hops);
    }
    return {};
}

std::string redirectChainLocations(const std::string& origin)
{
    std::string text;
    for (int status : kRedirectStatuses) {
        for (auto location :
             {RedirectLocation::Absolute, RedirectLocation::RootRelative, RedirectLocation::PathRelative}) {
            RedirectOptions options{.status = status, .location = location};
            text += "    location = " + NginxServer::redirectPath(0, options) + " { " + echoDirectives() + " }\n";
            for (int hops = 1; hops <= NginxServer::kMaxRedirectHops; ++hops)
                text += "    location = " + NginxServer::redirectPath(hops, options) + " { return "
                    + std::to_string(status) + " " + redirectTarget(origin, status, location, hops - 1) + "; }\n";
        }
    }
    for (int status : kRedirectStatuses)
        text += "    location = /redirect-to/" + std::to_string(status) + " { return " + std::to_string(status)
            + " $arg_url; }\n";
    text += "    location = /redirect-to/304 { add_header Location $arg_url always; return 304; }\n";
    return text;
}

bool isPlainName(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '_' || c == '.';
    });
}

ErrorOr<std::string> cookieLocations(const NginxOptions& options)
{
    std::string text
        = "    location /cookies/set { add_header Set-Cookie $args always; return 200 \"cookies set\\n\"; }\n"
          "    location /cookies/echo { default_type text/plain; return 200 \"$http_cookie\"; }\n";
    for (const auto& [name, values] : options.cookieSets) {
        if (!isPlainName(name))
            return Error::create(kDomain, 2, "A cookie set needs a plain name (letters, digits, -_.): " + name);
        text += "    location = /cookies/set/" + name + " {";
        for (const auto& value : values)
            text += " add_header Set-Cookie " + WL_TRY(nginxString(value)) + " always;";
        text += " return 200 \"cookies set\\n\"; }\n";
    }
    return text;
}

ErrorOr<std::string> protectedAreaLocations(const NginxConfigInput& input)
{
    std::string text;
    const auto& areas = input.options.protectedAreas;
    for (std::size_t index = 0; index < areas.size(); ++index) {
        const auto& area = areas[index];
        WL_TRY(validateProtectedArea(area));
        if (area.scheme != AuthScheme::Basic)
            return Error::create(kDomain, 3,
                                 std::string("nginx offers Basic authentication only, not ") + toString(area.scheme));
        text += "    location " + area.path + " { alias " + pathText(input.root) + "/; auth_basic "
            + WL_TRY(nginxString(area.realm)) + "; auth_basic_user_file "
            + pathText(nginxPasswordFile(input.folder, index)) + "; access_log " + pathText(input.folder / "auth.log")
            + " auth; " + area.extraDirectives + " }\n";
    }
    return text;
}

std::string tlsDirectives(const NginxOptions& options)
{
    if (!options.tls)
        return {};
    return "    ssl_certificate " + pathText(options.tls->certificate) + ";\n    ssl_certificate_key "
        + pathText(options.tls->key) + ";\n";
}

std::string globalSection(const std::filesystem::path& folder)
{
    return "daemon off;\n"
           "master_process off;\n"
           "worker_processes 1;\n"
        + userDirective() + "pid " + pathText(folder / "nginx.pid") + ";\nlock_file " + pathText(folder / "nginx.lock")
        + ";\nerror_log stderr notice;\n"
          "events { worker_connections 512; }\n";
}

std::string httpSettings(const std::filesystem::path& folder)
{
    std::string text
        = "    log_format requests '$request_method $request_uri $server_protocol $status $body_bytes_sent "
          "range=$http_range';\n"
          "    log_format auth '$request_method $request_uri $status user=$remote_user "
          "authorization=$http_authorization';\n"
          "    access_log "
        + pathText(folder / "access.log") + " requests;\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        text += "    " + std::string(kind) + "_temp_path " + pathText(folder / kind) + ";\n";
    text += "    types { text/plain txt; text/html html; application/json json; application/x-ns-proxy-autoconfig pac; "
            "}\n"
            "    default_type application/octet-stream;\n"
            "    sendfile on;\n"
            "    tcp_nopush on;\n"
            "    keepalive_requests 100000;\n"
            "    client_max_body_size 0;\n";
    return text;
}

} // namespace

std::filesystem::path nginxPasswordFile(const std::filesystem::path& folder, std::size_t index)
{
    return folder / ("htpasswd-" + std::to_string(index));
}

ErrorOr<std::string> nginxConfig(const NginxConfigInput& input)
{
    bool tls = input.options.tls.has_value();
    std::string origin = std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(input.port);
    std::string text = globalSection(input.folder);
    text += "http {\n" + httpSettings(input.folder);
    text += "  server {\n    listen 127.0.0.1:" + std::to_string(input.port) + (tls ? " ssl" : "") + ";\n";
    text += tlsDirectives(input.options);
    text += "    root " + pathText(input.root) + ";\n    absolute_redirect off;\n";
    text += staticLocations(input.root);
    text += "    location /echo { " + echoDirectives() + " }\n";
    text += redirectChainLocations(origin);
    text += WL_TRY(cookieLocations(input.options));
    text += WL_TRY(protectedAreaLocations(input));
    text += input.options.extraServerDirectives + "\n";
    text += "  }\n}\n";
    return text;
}

} // namespace waterline::testing
