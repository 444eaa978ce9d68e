#include "platform/SHA256.h"

#include <openssl/evp.h>

namespace sorvel {

struct SHA256::State {
    EVP_MD_CTX* context = nullptr;
};

SHA256::SHA256() : state_(new State), ok_(false) {
    state_->context = EVP_MD_CTX_new();
    ok_ = state_->context && EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

SHA256::~SHA256() {
    if (state_->context) EVP_MD_CTX_free(state_->context);
    delete state_;
}

void SHA256::update(const void* bytes, size_t count) {
    if (!ok_ || count == 0) return;
    ok_ = EVP_DigestUpdate(state_->context, bytes, count) == 1;
}

std::string SHA256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(state_->context, digest, &length) != 1 || length != 32) {
        ok_ = false;
        return {};
    }
    ok_ = false;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kDigits[digest[i] >> 4]);
        text.push_back(kDigits[digest[i] & 0xF]);
    }
    return text;
}

std::string SHA256::hex(const std::string& bytes) {
    SHA256 hasher;
    hasher.update(bytes.data(), bytes.size());
    return hasher.hexDigest();
}

} // namespace sorvel
