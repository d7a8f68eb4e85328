// engine/Decrypt.cpp
#include "engine/Decrypt.h"

#include <bcrypt.h>
#include <cstring>

namespace
{
const ULONG kBlockSize = 16;

// The AES provider in CBC mode, opened once: opening it costs far more than a segment's key.
class CAesProvider
{
public:
    CAesProvider()
    {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_hAlg, BCRYPT_AES_ALGORITHM, nullptr, 0)))
        {
            m_hAlg = nullptr;
            return;
        }
        ULONG cbResult = 0;
        if (!BCRYPT_SUCCESS(
                BCryptSetProperty(m_hAlg, BCRYPT_CHAINING_MODE,
                                  reinterpret_cast<PUCHAR>(const_cast<wchar_t *>(BCRYPT_CHAIN_MODE_CBC)),
                                  sizeof(BCRYPT_CHAIN_MODE_CBC), 0)) ||
            !BCRYPT_SUCCESS(BCryptGetProperty(m_hAlg, BCRYPT_OBJECT_LENGTH,
                                              reinterpret_cast<PUCHAR>(&m_cbKeyObject), sizeof(m_cbKeyObject),
                                              &cbResult, 0)))
        {
            BCryptCloseAlgorithmProvider(m_hAlg, 0);
            m_hAlg = nullptr;
        }
    }
    ~CAesProvider()
    {
        if (m_hAlg)
            BCryptCloseAlgorithmProvider(m_hAlg, 0);
    }
    CAesProvider(const CAesProvider &) = delete;
    CAesProvider &operator=(const CAesProvider &) = delete;

    BCRYPT_ALG_HANDLE Get() const { return m_hAlg; }
    ULONG KeyObjectSize() const { return m_cbKeyObject; }

private:
    BCRYPT_ALG_HANDLE m_hAlg = nullptr;
    ULONG m_cbKeyObject = 0;
};

const CAesProvider &AesProvider()
{
    static const CAesProvider provider;
    return provider;
}

class CAesKey
{
public:
    CAesKey() = default;
    ~CAesKey()
    {
        if (m_hKey)
            BCryptDestroyKey(m_hKey);
    }
    CAesKey(const CAesKey &) = delete;
    CAesKey &operator=(const CAesKey &) = delete;

    // keyObject must outlive this key.
    BOOL Generate(const CAesProvider &prov, std::vector<UCHAR> &keyObject,
                  const std::vector<unsigned char> &key)
    {
        UCHAR keyBytes[kBlockSize] = {};
        std::memcpy(keyBytes, key.data(), key.size() < kBlockSize ? key.size() : kBlockSize);
        NTSTATUS status = BCryptGenerateSymmetricKey(prov.Get(), &m_hKey, keyObject.data(),
                                                     ULONG(keyObject.size()), keyBytes, kBlockSize, 0);
        SecureZeroMemory(keyBytes, sizeof(keyBytes));
        if (!BCRYPT_SUCCESS(status))
        {
            m_hKey = nullptr;
            return FALSE;
        }
        return TRUE;
    }
    BCRYPT_KEY_HANDLE Get() const { return m_hKey; }

private:
    BCRYPT_KEY_HANDLE m_hKey = nullptr;
};

// PKCS#7 is checked here rather than by the provider, so any bad pad reliably gives FALSE.
BOOL StripPadding(std::vector<unsigned char> &data)
{
    const size_t n = data.back();
    if (n < 1 || n > kBlockSize)
        return FALSE;
    for (size_t i = data.size() - n; i < data.size(); ++i)
    {
        if (data[i] != n)
            return FALSE;
    }
    data.resize(data.size() - n);
    return TRUE;
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

    const CAesProvider &prov = AesProvider();
    if (!prov.Get())
        return FALSE;
    // A key per call: segments are never chained to one another. Declared after its object buffer,
    // so the key is destroyed first.
    std::vector<UCHAR> keyObject(prov.KeyObjectSize());
    CAesKey aesKey;
    if (!aesKey.Generate(prov, keyObject, key))
        return FALSE;

    // The provider updates the IV it is given; a short IV is filled up with zeros.
    UCHAR ivBlock[kBlockSize] = {};
    std::memcpy(ivBlock, iv.data(), iv.size() < kBlockSize ? iv.size() : kBlockSize);

    out.assign(in.begin(), in.end());
    const ULONG cb = ULONG(out.size());
    ULONG cbResult = 0;
    if (!BCRYPT_SUCCESS(BCryptDecrypt(aesKey.Get(), out.data(), cb, nullptr, ivBlock, kBlockSize, out.data(),
                                      cb, &cbResult, 0)) ||
        cbResult != cb)
        return FALSE;
    return StripPadding(out);
}
