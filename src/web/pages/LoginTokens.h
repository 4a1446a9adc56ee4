#pragma once
// The login form's token: 16 random bytes and their HMAC under the service's own key, so
// that only a token this service issued is taken (not one a stranger made up and planted
// as both the cookie and the field).

#include <sodium.h>

#include <string>

namespace quil::web {

class LoginTokens {
public:
    LoginTokens();
    std::string issue() const;
    bool valid(const std::string& token) const;

private:
    unsigned char key_[crypto_auth_KEYBYTES];
};

}  // namespace quil::web
