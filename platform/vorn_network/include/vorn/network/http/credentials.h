// vorn::network::http::Credentials: the user name and password a client answers an authentication
// challenge with. PasswordCredentials is the same pair, named for what it holds at the call site.
//
//     client.setCredentials(PasswordCredentials(description->login(), description->password()));
//     client.setCredentials(Credentials(cameraAuthenticator));  // from a QAuthenticator
//
// Texts are kept as UTF-8 bytes, the form they take on the wire. A null C string counts as empty.
#pragma once

#include <string>

#include <QtCore/QString>

class QAuthenticator;

namespace vorn::network::http {

struct Credentials
{
    std::string username;
    std::string password;

    Credentials() = default;
    Credentials(std::string username, std::string password);
    Credentials(const char* username, const char* password);
    Credentials(const QString& username, const QString& password);
    explicit Credentials(const QAuthenticator& authenticator);

    // No user name: there is nothing to answer a challenge with.
    bool isEmpty() const { return username.empty(); }

    friend bool operator==(const Credentials&, const Credentials&) = default;
};

struct PasswordCredentials : Credentials
{
    using Credentials::Credentials;
};

} // namespace vorn::network::http
