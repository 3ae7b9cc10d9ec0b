#pragma once

#include <memory>

struct evp_cipher_ctx_st;

// ChaCha20-Poly1305 (IETF: 96-bit nonce, 128-bit tag, no associated data) under one key, through
// OpenSSL's libcrypto, which keeps an encrypting and a decrypting context keyed for the life of
// the object: per message only the nonce changes. The bytes are those of any other
// implementation of the construction.
class Aead
{
public:
    static constexpr int keyBytes = 32;
    static constexpr int nonceBytes = 12;
    static constexpr int tagBytes = 16;

    explicit Aead(const unsigned char *key);
    ~Aead();
    Aead(const Aead &) = delete;
    Aead &operator=(const Aead &) = delete;

    // Writes size bytes of ciphertext and the tag to out (size + tagBytes).
    void seal(const unsigned char *nonce, const unsigned char *plaintext, int size, unsigned char *out);
    // Opens size bytes (ciphertext and tag) into out (size - tagBytes); false when the tag does
    // not verify, and out then holds nothing of the message.
    bool open(const unsigned char *nonce, const unsigned char *message, int size, unsigned char *out);

private:
    struct ContextFree
    {
        void operator()(evp_cipher_ctx_st *context) const;
    };

    std::unique_ptr<evp_cipher_ctx_st, ContextFree> encrypting;
    std::unique_ptr<evp_cipher_ctx_st, ContextFree> decrypting;
};
