// engine/Decrypt.cpp
#include "engine/Decrypt.h"

#include <cstring>
#include <utility>
#include <wincrypt.h>

namespace
{
const DWORD kBlockSize = 16;

class CCryptProvider
{
public:
    CCryptProvider() = default;
    ~CCryptProvider()
    {
        if (m_hProv)
            CryptReleaseContext(m_hProv, 0);
    }
    CCryptProvider(const CCryptProvider &) = delete;
    CCryptProvider &operator=(const CCryptProvider &) = delete;

    // A context without a key container, so nothing lands in the system's key store.
    BOOL AcquireAes()
    {
        return CryptAcquireContextW(&m_hProv, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT);
    }
    HCRYPTPROV Get() const { return m_hProv; }

private:
    HCRYPTPROV m_hProv = 0;
};

class CCryptKey
{
public:
    CCryptKey() = default;
    ~CCryptKey()
    {
        if (m_hKey)
            CryptDestroyKey(m_hKey);
    }
    CCryptKey(const CCryptKey &) = delete;
    CCryptKey &operator=(const CCryptKey &) = delete;

    HCRYPTKEY *Receive() { return &m_hKey; }
    HCRYPTKEY Get() const { return m_hKey; }

private:
    HCRYPTKEY m_hKey = 0;
};

// PLAINTEXTKEYBLOB: header, key size, key bytes; the buffer is 44 bytes with a zero tail.
struct AesKeyBlob
{
    BLOBHEADER header;
    DWORD dwKeySize;
    BYTE key[16];
    BYTE tail[16];
};
static_assert(sizeof(AesKeyBlob) == 44, "key blob layout");

BOOL ImportKey(const CCryptProvider &prov, const std::vector<unsigned char> &key, CCryptKey &cryptKey)
{
    AesKeyBlob blob;
    std::memset(&blob, 0, sizeof(blob));
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.reserved = 0;
    blob.header.aiKeyAlg = CALG_AES_128;
    blob.dwKeySize = 16;
    std::memcpy(blob.key, key.data(), key.size() < 16 ? key.size() : 16);
    BOOL bOk = CryptImportKey(prov.Get(), reinterpret_cast<const BYTE *>(&blob), sizeof(blob), 0, 0,
                              cryptKey.Receive());
    SecureZeroMemory(&blob, sizeof(blob));
    return bOk;
}
} // namespace

BOOL DecryptAes128Cbc(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                      const std::vector<unsigned char> &in, std::vector<unsigned char> &out)
{
    if (in.empty())
    {
        out.clear();
        return TRUE;
    }
    if (in.size() % kBlockSize != 0 || in.size() > MAXDWORD)
        return FALSE;

    // A fresh context and key per call: segments are never chained to one another.
    CCryptProvider prov;
    if (!prov.AcquireAes())
        return FALSE;
    CCryptKey cryptKey;
    if (!ImportKey(prov, key, cryptKey))
        return FALSE;
    DWORD dwMode = CRYPT_MODE_CBC;
    if (!CryptSetKeyParam(cryptKey.Get(), KP_MODE, reinterpret_cast<const BYTE *>(&dwMode), 0))
        return FALSE;
    if (!iv.empty())
    {
        // The provider reads one whole block; a short IV is filled up with zeros.
        BYTE ivBlock[kBlockSize] = {};
        std::memcpy(ivBlock, iv.data(), iv.size() < kBlockSize ? iv.size() : kBlockSize);
        if (!CryptSetKeyParam(cryptKey.Get(), KP_IV, ivBlock, 0))
            return FALSE;
    }

    out.assign(in.begin(), in.end());
    DWORD dwLength = static_cast<DWORD>(out.size());
    if (!CryptDecrypt(cryptKey.Get(), 0, TRUE, 0, out.data(), &dwLength))
        return FALSE;
    out.resize(dwLength);
    return TRUE;
}
