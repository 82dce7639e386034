#include <vorn/network/http/credentials.h>

#include <QtNetwork/QAuthenticator>

namespace vorn::network::http {

Credentials::Credentials(std::string username, std::string password)
    : username(std::move(username))
    , password(std::move(password))
{}

Credentials::Credentials(const char* username, const char* password)
    : username(username ? username : "")
    , password(password ? password : "")
{}

Credentials::Credentials(const QString& username, const QString& password)
    : username(username.toStdString())
    , password(password.toStdString())
{}

Credentials::Credentials(const QAuthenticator& authenticator)
    : Credentials(authenticator.user(), authenticator.password())
{}

} // namespace vorn::network::http
