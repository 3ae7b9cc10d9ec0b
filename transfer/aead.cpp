#include "aead.h"

#include <openssl/evp.h>

#include <cstring>
#include <stdexcept>

void Aead::ContextFree::operator()(evp_cipher_ctx_st *context) const
{
    EVP_CIPHER_CTX_free(context);
}

Aead::Aead(const unsigned char *key)
    : encrypting(EVP_CIPHER_CTX_new())
    , decrypting(EVP_CIPHER_CTX_new())
{
    if (!encrypting || !decrypting
        || EVP_EncryptInit_ex(encrypting.get(), EVP_chacha20_poly1305(), nullptr, key, nullptr) != 1
        || EVP_DecryptInit_ex(decrypting.get(), EVP_chacha20_poly1305(), nullptr, key, nullptr) != 1)
        throw std::runtime_error("ChaCha20-Poly1305 is not available");
}

Aead::~Aead() = default;

void Aead::seal(const unsigned char *nonce, const unsigned char *plaintext, int size, unsigned char *out)
{
    int written = 0;
    int last = 0;
    // With a key and cipher kept, setting the nonce starts a new message.
    if (EVP_EncryptInit_ex(encrypting.get(), nullptr, nullptr, nullptr, nonce) != 1
        || (size > 0 && EVP_EncryptUpdate(encrypting.get(), out, &written, plaintext, size) != 1)
        || EVP_EncryptFinal_ex(encrypting.get(), out + written, &last) != 1
        || EVP_CIPHER_CTX_ctrl(encrypting.get(), EVP_CTRL_AEAD_GET_TAG, tagBytes, out + size) != 1)
        throw std::runtime_error("ChaCha20-Poly1305 encryption failed");
}

bool Aead::open(const unsigned char *nonce, const unsigned char *message, int size, unsigned char *out)
{
    if (size < tagBytes)
        return false;
    const int length = size - tagBytes;
    unsigned char tag[tagBytes];
    memcpy(tag, message + length, tagBytes);
    int written = 0;
    int last = 0;
    const bool opened = EVP_DecryptInit_ex(decrypting.get(), nullptr, nullptr, nullptr, nonce) == 1
        && (length == 0 || EVP_DecryptUpdate(decrypting.get(), out, &written, message, length) == 1)
        && EVP_CIPHER_CTX_ctrl(decrypting.get(), EVP_CTRL_AEAD_SET_TAG, tagBytes, tag) == 1
        && EVP_DecryptFinal_ex(decrypting.get(), out + written, &last) == 1;
    if (!opened && length > 0)
        OPENSSL_cleanse(out, static_cast<size_t>(length));
    return opened;
}
