#pragma once
// Streaming SHA-256 (OpenSSL's EVP digest interface).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sorvel {

class SHA256 final {
public:
    SHA256();
    ~SHA256();
    SHA256(const SHA256&) = delete;
    SHA256& operator=(const SHA256&) = delete;

    void update(const void* bytes, size_t count);
    /// The digest of everything fed so far as 64 lower-case hexadecimal characters; the
    /// hasher is spent afterwards. Empty when the library failed.
    std::string hexDigest();

    /// One-shot digest of a text, as hexDigest writes it.
    static std::string hex(const std::string& bytes);

private:
    struct State;
    State* state_;
    bool ok_;
};

} // namespace sorvel
