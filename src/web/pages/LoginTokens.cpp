#include "web/pages/LoginTokens.h"

#include <stdexcept>

namespace quil::web {

namespace {

std::string hex(const unsigned char* b, std::size_t n) {
    std::string out(2 * n + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), b, n);
    out.pop_back();
    return out;
}

}  // namespace

LoginTokens::LoginTokens() {
    if (sodium_init() < 0)
        throw std::runtime_error("暗号ライブラリ (libsodium) を初期化できません。");
    crypto_auth_keygen(key_);
}

std::string LoginTokens::issue() const {
    unsigned char nonce[16];
    randombytes_buf(nonce, sizeof nonce);
    unsigned char mac[crypto_auth_BYTES];
    crypto_auth(mac, nonce, sizeof nonce, key_);
    return hex(nonce, sizeof nonce) + hex(mac, sizeof mac);
}

bool LoginTokens::valid(const std::string& token) const {
    unsigned char bytes[16 + crypto_auth_BYTES];
    std::size_t len = 0;
    if (token.size() != 2 * sizeof bytes ||
        sodium_hex2bin(bytes, sizeof bytes, token.data(), token.size(), nullptr, &len, nullptr) !=
            0 ||
        len != sizeof bytes)
        return false;
    return crypto_auth_verify(bytes + 16, bytes, 16, key_) == 0;
}

}  // namespace quil::web
