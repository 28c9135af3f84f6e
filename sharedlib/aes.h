// Payload cipher shared by kelsrv and volmod: AES-256 in electronic-codebook mode without
// padding, under one fixed process-wide key. It protects login credentials on the wire and
// the records of the account file, so both sides must derive exactly the same key.
//
// Thread safety: after AesModuleInit has returned, any number of threads may call
// AesEncrypt/AesDecrypt at once. Calling AesModuleInit again while others encrypt is safe.
#ifndef KEL_SHAREDLIB_AES_H
#define KEL_SHAREDLIB_AES_H

// Installs the fixed key phrase "QRN ~~~{Blk Cipher Seed}~~~ QRN" as the 32-byte AES key,
// its terminating zero byte included. Returns 0, or -1 when the crypto library cannot
// provide AES-256-ECB. Must run once before the first AesEncrypt/AesDecrypt; running it
// again installs the same key.
int AesModuleInit();

// Test hook: installs `key` (32 bytes) instead of the key phrase, so known-answer vectors
// can be checked. Same return values as AesModuleInit.
int AesModuleInitWithKey(const unsigned char key[32]);

// Enciphers / deciphers `len` bytes from `in` into `out`, each 16-byte block on its own.
// Returns 0, or -1 without touching `out` when `in` or `out` is null, `len` is 0 or not a
// multiple of 16, or no key has been installed. `in` and `out` may be the same buffer.
int AesEncrypt(const unsigned char* in, unsigned char* out, unsigned int len);
int AesDecrypt(const unsigned char* in, unsigned char* out, unsigned int len);

#endif
