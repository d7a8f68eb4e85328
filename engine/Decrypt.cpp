// engine/Decrypt.cpp
#include "engine/Decrypt.h"

#include <algorithm>
#include <bcrypt.h>
#include <cpuid.h>
#include <cstring>
#include <emmintrin.h>
#include <wmmintrin.h>

namespace
{
const size_t kBlockSize = 16;

// Decrypts cb bytes (whole blocks) of in to out, which may be in itself.
typedef bool (*PfnDecryptCbc)(const UCHAR *pKey, const UCHAR *pIv, const UCHAR *pIn, UCHAR *pOut, size_t cb);

// One round of the AES-128 key schedule; assist is _mm_aeskeygenassist_si128 of the round key before.
__attribute__((target("aes,sse2"))) inline __m128i NextRoundKey(__m128i key, __m128i assist)
{
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
    return _mm_xor_si128(key, _mm_shuffle_epi32(assist, 0xff));
}

#define FENDRAL_AES_ROUND(i, rcon) ek[i] = NextRoundKey(ek[i - 1], _mm_aeskeygenassist_si128(ek[i - 1], rcon))

// CBC decryption has no chain from block to block (each needs only the cipher block before it), so eight
// blocks go through the AES unit at once to hide its latency.
// force_align_arg_pointer: a 32-bit caller may hand over a stack aligned to 4 bytes only.
__attribute__((target("aes,sse2"), force_align_arg_pointer)) bool DecryptCbcNi(const UCHAR *pKey,
                                                                               const UCHAR *pIv,
                                                                               const UCHAR *pIn, UCHAR *pOut,
                                                                               size_t cb)
{
    __m128i ek[11];
    ek[0] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pKey));
    FENDRAL_AES_ROUND(1, 0x01);
    FENDRAL_AES_ROUND(2, 0x02);
    FENDRAL_AES_ROUND(3, 0x04);
    FENDRAL_AES_ROUND(4, 0x08);
    FENDRAL_AES_ROUND(5, 0x10);
    FENDRAL_AES_ROUND(6, 0x20);
    FENDRAL_AES_ROUND(7, 0x40);
    FENDRAL_AES_ROUND(8, 0x80);
    FENDRAL_AES_ROUND(9, 0x1b);
    FENDRAL_AES_ROUND(10, 0x36);
    __m128i dk[11];
    dk[0] = ek[10];
    for (int i = 1; i < 10; ++i)
        dk[i] = _mm_aesimc_si128(ek[10 - i]);
    dk[10] = ek[0];

    const __m128i *pSrc = reinterpret_cast<const __m128i *>(pIn);
    __m128i *pDst = reinterpret_cast<__m128i *>(pOut);
    size_t nBlocks = cb / kBlockSize;
    __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pIv));
    const int kLanes = 8;
    for (; nBlocks >= size_t(kLanes); nBlocks -= kLanes, pSrc += kLanes, pDst += kLanes)
    {
        __m128i c[kLanes], x[kLanes];
        for (int j = 0; j < kLanes; ++j)
        {
            c[j] = _mm_loadu_si128(pSrc + j);
            x[j] = _mm_xor_si128(c[j], dk[0]);
        }
        for (int r = 1; r < 10; ++r)
        {
            for (int j = 0; j < kLanes; ++j)
                x[j] = _mm_aesdec_si128(x[j], dk[r]);
        }
        for (int j = 0; j < kLanes; ++j)
            x[j] = _mm_aesdeclast_si128(x[j], dk[10]);
        _mm_storeu_si128(pDst, _mm_xor_si128(x[0], prev));
        for (int j = 1; j < kLanes; ++j)
            _mm_storeu_si128(pDst + j, _mm_xor_si128(x[j], c[j - 1]));
        prev = c[kLanes - 1];
    }
    for (; nBlocks > 0; --nBlocks, ++pSrc, ++pDst)
    {
        const __m128i c = _mm_loadu_si128(pSrc);
        __m128i x = _mm_xor_si128(c, dk[0]);
        for (int r = 1; r < 10; ++r)
            x = _mm_aesdec_si128(x, dk[r]);
        _mm_storeu_si128(pDst, _mm_xor_si128(_mm_aesdeclast_si128(x, dk[10]), prev));
        prev = c;
    }
    return true;
}
#undef FENDRAL_AES_ROUND

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
    // Never destroyed: a worker that outlives the dialog may still decrypt while the runtime's exit
    // code runs, and the process's end releases the provider anyway.
    static const CAesProvider *const s_pProvider = new CAesProvider;
    return *s_pProvider;
}

// Owns the key and the object it lives in, which must outlive it.
class CAesKey
{
public:
    CAesKey(const CAesProvider &prov, const UCHAR *pKey) : m_keyObject(prov.KeyObjectSize())
    {
        if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(prov.Get(), &m_hKey, m_keyObject.data(),
                                                       ULONG(m_keyObject.size()), const_cast<UCHAR *>(pKey),
                                                       ULONG(kBlockSize), 0)))
            m_hKey = nullptr;
    }
    ~CAesKey()
    {
        if (m_hKey)
            BCryptDestroyKey(m_hKey);
    }
    CAesKey(const CAesKey &) = delete;
    CAesKey &operator=(const CAesKey &) = delete;

    BCRYPT_KEY_HANDLE Get() const { return m_hKey; }

private:
    std::vector<UCHAR> m_keyObject;
    BCRYPT_KEY_HANDLE m_hKey = nullptr;
};

bool DecryptCbcCng(const UCHAR *pKey, const UCHAR *pIv, const UCHAR *pIn, UCHAR *pOut, size_t cb)
{
    const CAesProvider &prov = AesProvider();
    if (!prov.Get() || cb > MAXDWORD)
        return false;
    CAesKey aesKey(prov, pKey);
    if (!aesKey.Get())
        return false;
    // The provider updates the IV it is given.
    UCHAR ivBlock[kBlockSize];
    std::memcpy(ivBlock, pIv, kBlockSize);
    ULONG cbResult = 0;
    return BCRYPT_SUCCESS(BCryptDecrypt(aesKey.Get(), const_cast<UCHAR *>(pIn), ULONG(cb), nullptr, ivBlock,
                                        ULONG(kBlockSize), pOut, ULONG(cb), &cbResult, 0)) &&
           cbResult == cb;
}

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

BOOL DecryptWith(PfnDecryptCbc pfnDecrypt, const std::vector<unsigned char> &key,
                 const std::vector<unsigned char> &iv, const std::vector<unsigned char> &in,
                 std::vector<unsigned char> &out)
{
    if (in.empty())
    {
        out.clear();
        return TRUE;
    }
    if (in.size() % kBlockSize != 0)
        return FALSE;

    // A key per call: segments are never chained to one another. A short key or IV is filled up with zeros.
    UCHAR keyBytes[kBlockSize] = {};
    std::memcpy(keyBytes, key.data(), std::min(key.size(), kBlockSize));
    UCHAR ivBlock[kBlockSize] = {};
    std::memcpy(ivBlock, iv.data(), std::min(iv.size(), kBlockSize));

    // Resizing keeps the data when out is in itself; both ways decrypt in place.
    out.resize(in.size());
    const bool bOk = pfnDecrypt(keyBytes, ivBlock, in.data(), out.data(), in.size());
    SecureZeroMemory(keyBytes, sizeof(keyBytes));
    return bOk && StripPadding(out);
}
} // namespace

bool HasAesNi()
{
    static const bool bHas = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_AES) && (d & bit_SSE2);
    }();
    return bHas;
}

BOOL DecryptAes128CbcNi(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                        const std::vector<unsigned char> &in, std::vector<unsigned char> &out)
{
    return HasAesNi() && DecryptWith(DecryptCbcNi, key, iv, in, out);
}

BOOL DecryptAes128CbcCng(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                         const std::vector<unsigned char> &in, std::vector<unsigned char> &out)
{
    return DecryptWith(DecryptCbcCng, key, iv, in, out);
}

BOOL DecryptAes128Cbc(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                      const std::vector<unsigned char> &in, std::vector<unsigned char> &out)
{
    return DecryptWith(HasAesNi() ? DecryptCbcNi : DecryptCbcCng, key, iv, in, out);
}
