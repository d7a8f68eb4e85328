#include "engine/Decrypt.h"

#include <atomic>
#include <bcrypt.h>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{
typedef std::vector<unsigned char> Bytes;

Bytes Hex(const char *psz)
{
    Bytes bytes;
    std::string s(psz);
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes Text(const char *psz)
{
    std::string s(psz);
    return Bytes(s.begin(), s.end());
}

Bytes Prefix(const Bytes &bytes, size_t n)
{
    return Bytes(bytes.begin(), bytes.begin() + n);
}

Bytes Concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

typedef BOOL (*PfnDecrypt)(const Bytes &, const Bytes &, const Bytes &, Bytes &);

struct Way
{
    const char *pszName;
    PfnDecrypt pfn;
};

// Every way this processor can take; the program's own choice among them is always one.
std::vector<Way> Ways()
{
    std::vector<Way> ways = {{"chosen", DecryptAes128Cbc}, {"CNG", DecryptAes128CbcCng}};
    if (HasAesNi())
        ways.push_back({"AES-NI", DecryptAes128CbcNi});
    return ways;
}

// AES-128-CBC with PKCS#7 padding by the system provider, to make keyed data of any length.
Bytes Encrypt(const Bytes &key, const Bytes &iv, const Bytes &plain)
{
    BCRYPT_ALG_HANDLE hAlg = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&hAlg, BCRYPT_AES_ALGORITHM, nullptr, 0)))
        return Bytes();
    std::unique_ptr<void, void (*)(void *)> alg(hAlg, [](void *h) { BCryptCloseAlgorithmProvider(h, 0); });
    BCRYPT_KEY_HANDLE hKey = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptSetProperty(hAlg, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t *>(BCRYPT_CHAIN_MODE_CBC)),
                              sizeof(BCRYPT_CHAIN_MODE_CBC), 0)) ||
        !BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(hAlg, &hKey, nullptr, 0, const_cast<PUCHAR>(key.data()),
                                                   ULONG(key.size()), 0)))
        return Bytes();
    std::unique_ptr<void, void (*)(void *)> aesKey(hKey, [](void *h) { BCryptDestroyKey(h); });
    Bytes ivCopy = iv, cipher(plain.size() + 16);
    ULONG cb = 0;
    if (!BCRYPT_SUCCESS(BCryptEncrypt(hKey, const_cast<PUCHAR>(plain.data()), ULONG(plain.size()), nullptr,
                                      ivCopy.data(), ULONG(ivCopy.size()), cipher.data(),
                                      ULONG(cipher.size()), &cb, BCRYPT_BLOCK_PADDING)))
        return Bytes();
    cipher.resize(cb);
    return cipher;
}

// AES-128 CBC known answer (SP 800-38A F.2.2); the last cipher block is the PKCS#7 padding block that
// openssl adds to the 64 bytes of plain text.
const char *const kKey = "2b7e151628aed2a6abf7158809cf4f3c";
const char *const kIv = "000102030405060708090a0b0c0d0e0f";
const char *const kPlain = "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                           "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char *const kCipher = "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
                            "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"
                            "8cb82807230e1321d3fae00d18cc2012";

// Sixteen bytes of 16 under the all-zero key and IV.
const char *const kZeroKeyPaddingOnly = "0143db63ee66b0cdff9f69917680151e";
// "Fendral zero key check" under the all-zero key and IV.
const char *const kZeroKeyText = "16e1a05522371767dcd758401c7f70fa19f4cc3d24cb984f69b211a835277554";
} // namespace

TEST(DecryptAes128Cbc, KnownAnswersDecryptAndLosePadding)
{
    struct Case
    {
        const char *pszName;
        Bytes key, iv, cipher, plain;
    } cases[] = {
        {"F.2.2 four blocks plus padding block", Hex(kKey), Hex(kIv), Hex(kCipher), Hex(kPlain)},
        {"15 bytes, one padding byte", Hex(kKey), Hex(kIv), Hex("9be1e579d107a136c031b645a88da750"),
         Prefix(Hex(kPlain), 15)},
        {"16 bytes, whole padding block", Hex(kKey), Hex(kIv),
         Hex("7649abac8119b246cee98e9b12e9197d8964e0b149c10b7b682e6e39aaeb731c"), Prefix(Hex(kPlain), 16)},
        {"33 bytes, fifteen padding bytes", Hex(kKey), Hex(kIv),
         Hex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
             "8952d70a60e8382748f7e75c965d86d2"),
         Prefix(Hex(kPlain), 33)},
        {"zero key text", Hex("00000000000000000000000000000000"), Hex("00000000000000000000000000000000"),
         Hex(kZeroKeyText), Text("Fendral zero key check")},
    };
    for (const Way &way : Ways())
    {
        for (const Case &c : cases)
        {
            SCOPED_TRACE(std::string(way.pszName) + ": " + c.pszName);
            Bytes out;
            ASSERT_TRUE(way.pfn(c.key, c.iv, c.cipher, out));
            EXPECT_EQ(out, c.plain);
            EXPECT_GE(c.cipher.size() - out.size(), 1u);
            EXPECT_LE(c.cipher.size() - out.size(), 16u);
        }
    }
}

TEST(DecryptAes128Cbc, EveryWayGivesBackWhatWasEncrypted)
{
    // Lengths around every block count up to beyond two rounds of eight blocks, then a few large ones.
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n)
        lengths.push_back(n);
    for (size_t n : {size_t(4096 + 7), size_t(65536), size_t(1024 * 1024 + 3)})
        lengths.push_back(n);
    std::mt19937 rng(20240611);
    auto randomBytes = [&rng](size_t n) {
        Bytes bytes(n);
        for (unsigned char &b : bytes)
            b = static_cast<unsigned char>(rng());
        return bytes;
    };
    const std::vector<Way> ways = Ways();
    for (size_t n : lengths)
    {
        SCOPED_TRACE(n);
        const Bytes key = randomBytes(16), iv = randomBytes(16), plain = randomBytes(n);
        const Bytes cipher = Encrypt(key, iv, plain);
        ASSERT_EQ(cipher.size(), n / 16 * 16 + 16);
        for (const Way &way : ways)
        {
            SCOPED_TRACE(way.pszName);
            Bytes out(7, 0xAA);
            ASSERT_TRUE(way.pfn(key, iv, cipher, out));
            EXPECT_TRUE(out == plain);
            // Decrypting into the input itself.
            Bytes inPlace = cipher;
            ASSERT_TRUE(way.pfn(key, iv, inPlace, inPlace));
            EXPECT_TRUE(inPlace == plain);
        }

        // Random blocks ahead of the keyed data: they decrypt to noise, the first keyed block too, and
        // the rest as before. A single keyed block then nearly always loses its padding; every way must come
        // to the same answer.
        const Bytes noisy = Concat(randomBytes(16 * (1 + n % 19)), cipher);
        std::vector<BOOL> results;
        std::vector<Bytes> outs;
        for (const Way &way : ways)
        {
            outs.emplace_back();
            results.push_back(way.pfn(key, iv, noisy, outs.back()));
        }
        for (size_t w = 1; w < ways.size(); ++w)
        {
            SCOPED_TRACE(ways[w].pszName);
            EXPECT_EQ(results[w], results[0]);
            if (results[w] && results[0])
            {
                EXPECT_TRUE(outs[w] == outs[0]);
            }
        }
        if (cipher.size() > 16)
        {
            ASSERT_TRUE(results[0]);
            EXPECT_TRUE(Bytes(outs[0].end() - (plain.size() - 16), outs[0].end()) ==
                        Bytes(plain.begin() + 16, plain.end()));
        }
    }
}

TEST(DecryptAes128Cbc, LongStreamsDecryptEveryBlockAgainstTheOneBeforeIt)
{
    // Long streams are built from the known answer's cipher blocks in a shuffled order. The raw block
    // decryptions follow from that answer (plain block xor the cipher block before it), so the expected
    // output needs only xors: every block's plain text is its raw decryption xor the cipher block before.
    const Bytes cipher = Hex(kCipher), plain = Hex(kPlain), iv = Hex(kIv);
    Bytes raw[4];
    for (size_t b = 0; b < 4; ++b)
    {
        raw[b] = Bytes(plain.begin() + 16 * b, plain.begin() + 16 * (b + 1));
        for (size_t k = 0; k < 16; ++k)
            raw[b][k] ^= b == 0 ? iv[k] : cipher[16 * (b - 1) + k];
    }
    for (size_t nBlocks : {size_t(3), size_t(16385), size_t(65536 + 5), size_t(200001)})
    {
        SCOPED_TRACE(nBlocks);
        Bytes stream, expected;
        Bytes prev = iv;
        unsigned x = unsigned(nBlocks);
        for (size_t j = 0; j < nBlocks; ++j)
        {
            // The last two blocks are the answer's own last two, so that the stream ends in valid padding.
            x = x * 1103515245u + 12345u;
            const size_t b = j + 1 == nBlocks ? 3 : (x >> 16) % 4;
            stream.insert(stream.end(), cipher.begin() + 16 * b, cipher.begin() + 16 * (b + 1));
            for (size_t k = 0; k < 16; ++k)
                expected.push_back(static_cast<unsigned char>(raw[b][k] ^ prev[k]));
            prev.assign(stream.end() - 16, stream.end());
        }
        stream.insert(stream.end(), cipher.end() - 16, cipher.end());

        Bytes out;
        ASSERT_TRUE(DecryptAes128Cbc(Hex(kKey), iv, stream, out));
        ASSERT_EQ(out.size(), expected.size());
        EXPECT_TRUE(out == expected);

        stream[5] ^= 0x01;
        EXPECT_TRUE(DecryptAes128Cbc(Hex(kKey), iv, stream, out));
        EXPECT_FALSE(out == expected);
        stream.back() ^= 0x01;
        EXPECT_FALSE(DecryptAes128Cbc(Hex(kKey), iv, stream, out));
    }
}

TEST(DecryptAes128Cbc, KeyIsFilledUpOrCutToSixteenBytes)
{
    const Bytes zeroIv(16, 0);
    struct Case
    {
        const char *pszName;
        Bytes key, iv, cipher, plain;
    } cases[] = {
        {"empty key is the zero key", Bytes(), zeroIv, Hex(kZeroKeyText), Text("Fendral zero key check")},
        {"short key is zero filled", Hex("0102030405"), zeroIv,
         Hex("68073e3ea621caf003be83f0d6b722715e27680a659d00586934eeb2e7999d60"),
         Text("short key, zero filled")},
        {"32-byte key uses its first 16", Concat(Hex(kKey), Hex("ffeeddccbbaa99887766554433221100")),
         Hex(kIv), Hex(kCipher), Hex(kPlain)},
        {"17-byte key uses its first 16", Concat(Hex(kKey), Hex("01")), Hex(kIv), Hex(kCipher), Hex(kPlain)},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Bytes out;
        ASSERT_TRUE(DecryptAes128Cbc(c.key, c.iv, c.cipher, out));
        EXPECT_EQ(out, c.plain);
    }
}

TEST(DecryptAes128Cbc, EmptyIvIsTheZeroIv)
{
    Bytes withEmpty, withZeros;
    ASSERT_TRUE(DecryptAes128Cbc(Bytes(16, 0), Bytes(), Hex(kZeroKeyText), withEmpty));
    ASSERT_TRUE(DecryptAes128Cbc(Bytes(16, 0), Bytes(16, 0), Hex(kZeroKeyText), withZeros));
    EXPECT_EQ(withEmpty, withZeros);
    EXPECT_EQ(withEmpty, Text("Fendral zero key check"));

    // Data made with a non-zero IV: under the zero IV only its first block comes out different.
    Bytes withOther;
    ASSERT_TRUE(DecryptAes128Cbc(Hex(kKey), Bytes(), Hex(kCipher), withOther));
    const Bytes plain = Hex(kPlain);
    ASSERT_EQ(withOther.size(), plain.size());
    EXPECT_NE(Bytes(withOther.begin(), withOther.begin() + 16), Bytes(plain.begin(), plain.begin() + 16));
    EXPECT_EQ(Bytes(withOther.begin() + 16, withOther.end()), Bytes(plain.begin() + 16, plain.end()));
}

TEST(DecryptAes128Cbc, PaddingOnlyBlockGivesEmptyOutput)
{
    Bytes out(5, 0xAA);
    ASSERT_TRUE(DecryptAes128Cbc(Bytes(), Bytes(), Hex(kZeroKeyPaddingOnly), out));
    EXPECT_TRUE(out.empty());
}

TEST(DecryptAes128Cbc, EmptyInputGivesEmptyOutput)
{
    Bytes out(3, 1);
    EXPECT_TRUE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), Bytes(), out));
    EXPECT_TRUE(out.empty());
}

TEST(DecryptAes128Cbc, LengthNotAMultipleOfSixteenFails)
{
    Bytes cipher = Hex(kCipher);
    for (size_t n : {size_t(1), size_t(15), size_t(17), size_t(79)})
    {
        SCOPED_TRACE(n);
        Bytes out;
        EXPECT_FALSE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), Bytes(cipher.begin(), cipher.begin() + n), out));
    }
}

TEST(DecryptAes128Cbc, BadPaddingFails)
{
    // Single blocks made with openssl -nopad under this key and IV, each ending in the bytes named.
    const Bytes key = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes iv = Hex("f0e0d0c0b0a090807060504030201000");
    struct Case
    {
        const char *pszName;
        const char *pszCipher;
        BOOL bOk;
        size_t nPlain;
    } cases[] = {
        {"last byte 0", "22e6058ef4cbffc86c3e607d555b3257", FALSE, 0},
        {"last byte 17", "fd8e9a0689ae8c65459a4f7e6e57bb32", FALSE, 0},
        {"02 03 03: earlier padding byte differs", "304481a419eb420ac9178d5fa335050a", FALSE, 0},
        {"01 is valid", "e5ba1ee30b3d81726ddd7897c06a264c", TRUE, 15},
        {"04 04 04 04 is valid", "342040a138c6ad761c0c476b210c5c89", TRUE, 12},
        {"sixteen 16s is valid", "6431995611c0a30f53df1710cfc3eb76", TRUE, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Bytes out;
        BOOL bOk = DecryptAes128Cbc(key, iv, Hex(c.pszCipher), out);
        EXPECT_EQ(bOk, c.bOk);
        if (bOk && c.bOk)
        {
            EXPECT_EQ(out, Bytes(c.nPlain, 0x41));
        }
    }
}

TEST(DecryptAes128Cbc, TamperedDataOrWrongKeyFails)
{
    Bytes out;
    Bytes flipped = Hex(kCipher);
    flipped.back() ^= 0x01;
    EXPECT_FALSE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), flipped, out));

    Bytes wrongKey = Hex(kKey);
    wrongKey[0] ^= 0x80;
    EXPECT_FALSE(DecryptAes128Cbc(wrongKey, Hex(kIv), Hex(kCipher), out));

    // Plain MPEG-TS-like data that was never encrypted.
    Bytes notEncrypted(188 * 16, 0xFF);
    for (size_t i = 0; i < notEncrypted.size(); i += 188)
        notEncrypted[i] = 0x47;
    EXPECT_FALSE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), notEncrypted, out));
}

TEST(DecryptAes128Cbc, CallsAreIndependent)
{
    Bytes first, second;
    ASSERT_TRUE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), Hex(kCipher), first));
    // A failing call in between must leave nothing behind either.
    Bytes scratch;
    EXPECT_FALSE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), Hex("22e6058ef4cbffc86c3e607d555b3257"), scratch));
    ASSERT_TRUE(DecryptAes128Cbc(Hex(kKey), Hex(kIv), Hex(kCipher), second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, Hex(kPlain));
}

TEST(DecryptAes128Cbc, ConcurrentCallsDoNotShareKeyState)
{
    // Two keys at once on several threads: a key or IV kept between calls would mix them up.
    const Bytes zeroKey(16, 0);
    const int kThreads = 4, kRounds = 2000;
    std::vector<int> failures(kThreads, 0);
    // Threads start slowly under Wine; the gate makes their calls overlap.
    std::atomic<int> nReady{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([&, t] {
            ++nReady;
            while (nReady < kThreads)
                std::this_thread::yield();
            for (int r = 0; r < kRounds; ++r)
            {
                Bytes out;
                const bool bNist = (t + r) % 2 == 0;
                if (!DecryptAes128Cbc(bNist ? Hex(kKey) : zeroKey, bNist ? Hex(kIv) : Bytes(),
                                      Hex(bNist ? kCipher : kZeroKeyText), out) ||
                    out != (bNist ? Hex(kPlain) : Text("Fendral zero key check")))
                    ++failures[size_t(t)];
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[size_t(t)], 0) << "thread " << t;
}
