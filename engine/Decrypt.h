// engine/Decrypt.h: AES-128-CBC decryption of one segment.
#pragma once

#include <vector>
#include <windows.h>

// Decrypts in with AES-128-CBC and removes the PKCS#7 padding into out.
// key: its first 16 bytes, a shorter key is filled up with zeros. iv: empty for a zero IV, else 16 bytes.
// FALSE on a length that is not a multiple of 16, on bad padding (a wrong key or IV nearly always gives
// that) or when the AES provider is missing; out is then not to be used.
// An empty in gives TRUE and an empty out: there is nothing to decrypt and nothing to append.
// Takes the processor's AES instructions when it has them, else the system's provider (CNG).
BOOL DecryptAes128Cbc(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                      const std::vector<unsigned char> &in, std::vector<unsigned char> &out);

// The two ways behind DecryptAes128Cbc, callable on their own so that tests can hold one against the
// other. DecryptAes128CbcNi fails as a missing provider does when HasAesNi() is false.
bool HasAesNi();
BOOL DecryptAes128CbcNi(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                        const std::vector<unsigned char> &in, std::vector<unsigned char> &out);
BOOL DecryptAes128CbcCng(const std::vector<unsigned char> &key, const std::vector<unsigned char> &iv,
                         const std::vector<unsigned char> &in, std::vector<unsigned char> &out);
