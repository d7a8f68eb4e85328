// engine/Decrypt.cpp
#include "engine/Decrypt.h"

#include <algorithm>
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
    BOOL Generate(const CAesProvider &prov, std::vector<UCHAR> &keyObject, const UCHAR *pKey)
    {
        if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(prov.Get(), &m_hKey, keyObject.data(),
                                                       ULONG(keyObject.size()), const_cast<UCHAR *>(pKey),
                                                       kBlockSize, 0)))
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

// CBC decryption of block i needs only cipher blocks i-1 and i, so a large segment is cut into runs
// that decrypt side by side: one thread of Wine's CNG manages about 1 GB/s, not enough beside the copy.
const size_t kMinRunBytes = 256 * 1024;
const size_t kMaxRuns = 4;

class CRunSplit
{
public:
    CRunSplit(const CAesProvider &prov, const UCHAR *pKey, const UCHAR *pIv,
              const std::vector<unsigned char> &cipher, std::vector<unsigned char> &plain, size_t nRuns)
        : m_prov(prov), m_pKey(pKey), m_pIv(pIv), m_cipher(cipher), m_plain(plain),
          m_cbRun((cipher.size() / kBlockSize + nRuns - 1) / nRuns * kBlockSize),
          m_nRuns(LONG((cipher.size() + m_cbRun - 1) / m_cbRun)),
          m_keyObjects(size_t(m_nRuns), std::vector<UCHAR>(prov.KeyObjectSize()))
    {
    }
    CRunSplit(const CRunSplit &) = delete;
    CRunSplit &operator=(const CRunSplit &) = delete;

    LONG Runs() const { return m_nRuns; }
    bool Failed() const { return m_nFailed != 0; }

    // Takes runs until none is left; called on several threads at once, never throws.
    void Work()
    {
        for (;;)
        {
            const LONG i = InterlockedIncrement(&m_nNext) - 1;
            if (i >= m_nRuns)
                return;
            if (!DecryptRun(size_t(i)))
                InterlockedExchange(&m_nFailed, 1);
        }
    }

    static VOID CALLBACK WorkCallback(PTP_CALLBACK_INSTANCE, PVOID pv, PTP_WORK)
    {
        static_cast<CRunSplit *>(pv)->Work();
    }

private:
    bool DecryptRun(size_t i)
    {
        const size_t offset = i * m_cbRun;
        const ULONG cb = ULONG(std::min(m_cbRun, m_cipher.size() - offset));
        // The provider updates the IV it is given.
        UCHAR ivBlock[kBlockSize];
        std::memcpy(ivBlock, i == 0 ? m_pIv : &m_cipher[offset - kBlockSize], kBlockSize);
        CAesKey aesKey;
        if (!aesKey.Generate(m_prov, m_keyObjects[i], m_pKey))
            return false;
        UCHAR *p = &m_plain[offset];
        ULONG cbResult = 0;
        return BCRYPT_SUCCESS(
                   BCryptDecrypt(aesKey.Get(), p, cb, nullptr, ivBlock, kBlockSize, p, cb, &cbResult, 0)) &&
               cbResult == cb;
    }

    const CAesProvider &m_prov;
    const UCHAR *m_pKey;
    const UCHAR *m_pIv;
    const std::vector<unsigned char> &m_cipher;
    std::vector<unsigned char> &m_plain;
    const size_t m_cbRun;
    const LONG m_nRuns;
    // One per run, allocated up front so that the workers never allocate.
    std::vector<std::vector<UCHAR>> m_keyObjects;
    volatile LONG m_nNext = 0;
    volatile LONG m_nFailed = 0;
};

// Waits for its callbacks before it closes, so that nothing they use goes away under them.
class CThreadpoolWork
{
public:
    CThreadpoolWork(PTP_WORK_CALLBACK pfn, PVOID pv) : m_hWork(CreateThreadpoolWork(pfn, pv, nullptr)) {}
    ~CThreadpoolWork()
    {
        if (m_hWork)
        {
            WaitForThreadpoolWorkCallbacks(m_hWork, FALSE);
            CloseThreadpoolWork(m_hWork);
        }
    }
    CThreadpoolWork(const CThreadpoolWork &) = delete;
    CThreadpoolWork &operator=(const CThreadpoolWork &) = delete;

    bool IsValid() const { return m_hWork != nullptr; }
    void Submit() { SubmitThreadpoolWork(m_hWork); }

private:
    PTP_WORK m_hWork;
};

size_t RunsFor(size_t cb)
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    size_t nRuns = std::min<size_t>(kMaxRuns, si.dwNumberOfProcessors);
    return std::max<size_t>(1, std::min(nRuns, cb / kMinRunBytes));
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
    // A key per call: segments are never chained to one another. A short key or IV is filled up with zeros.
    UCHAR keyBytes[kBlockSize] = {};
    std::memcpy(keyBytes, key.data(), std::min<size_t>(key.size(), kBlockSize));
    UCHAR ivBlock[kBlockSize] = {};
    std::memcpy(ivBlock, iv.data(), std::min<size_t>(iv.size(), kBlockSize));

    out.assign(in.begin(), in.end());
    CRunSplit split(prov, keyBytes, ivBlock, in, out, RunsFor(in.size()));
    {
        // Without the pool the calling thread takes every run itself.
        CThreadpoolWork work(CRunSplit::WorkCallback, &split);
        if (work.IsValid())
        {
            for (LONG i = 1; i < split.Runs(); ++i)
                work.Submit();
        }
        split.Work();
    }
    SecureZeroMemory(keyBytes, sizeof(keyBytes));
    return !split.Failed() && StripPadding(out);
}
