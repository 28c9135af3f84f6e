// Payload cipher: known-answer vectors, argument checks, block-by-block behaviour over
// several blocks and on shifted buffers, and the in-place round trip. The service uses the
// cipher on each connection's own thread, which the process tests drive.
#include "sharedlib/aes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Block = std::array<unsigned char, 16>;

// FIPS-197 appendix C.3 (AES-256).
constexpr unsigned char kFipsKey[32] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f};
constexpr Block kFipsPlain = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                              0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
constexpr Block kFipsCipher = {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf,
                               0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89};

// "admin\0pelum\0" padded with zeros, enciphered under the 32-byte key phrase (zero byte
// included) by an independent AES implementation. Pins the key that volmod and existing
// account files depend on.
constexpr Block kAdminPlain = {'a', 'd', 'm', 'i', 'n', 0, 'p', 'e', 'l', 'u', 'm', 0, 0, 0, 0, 0};
constexpr Block kAdminCipher = {0x96, 0xf2, 0xa1, 0xd1, 0xc4, 0x96, 0x35, 0xfa,
                                0xae, 0x57, 0x51, 0x33, 0x31, 0xfd, 0x01, 0xb6};

// Runs in a freshly started copy of this program ("threadsafe" death-test style), where no
// key has been installed yet.
TEST(AesWithoutKey, RefusesToWorkBeforeModuleInit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Block out{};  // stays zero
  // The diagnostic goes to standard output; the check reads stderr.
  EXPECT_EXIT(
      (dup2(2, 1),
       std::_Exit(AesEncrypt(kFipsPlain.data(), out.data(), 16) == -1 && out == Block{} ? 0 : 1)),
      ::testing::ExitedWithCode(0), "AesModuleInit has not run");
}

class Aes : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(AesModuleInit(), 0); }
};

TEST_F(Aes, KnownAnswersUnderATestKeyAndUnderTheKeyPhraseInstalledAgain) {
  Block out{};
  ASSERT_EQ(AesModuleInitWithKey(kFipsKey), 0);
  ASSERT_EQ(AesEncrypt(kFipsPlain.data(), out.data(), 16), 0);
  EXPECT_EQ(out, kFipsCipher);
  ASSERT_EQ(AesDecrypt(kFipsCipher.data(), out.data(), 16), 0);
  EXPECT_EQ(out, kFipsPlain);
  ASSERT_EQ(AesModuleInit(), 0);
  ASSERT_EQ(AesEncrypt(kAdminPlain.data(), out.data(), 16), 0);
  EXPECT_EQ(out, kAdminCipher);  // the key phrase, its zero byte included
}

TEST_F(Aes, BadArgumentsReturnMinusOneAndLeaveOutputUntouched) {
  std::vector<unsigned char> in(48, 0x5a), out(48, 0xcc);
  const std::vector<unsigned char> untouched = out;
  for (auto* run : {AesEncrypt, AesDecrypt}) {
    for (unsigned int len : {0u, 1u, 15u, 17u, 31u, 33u})
      EXPECT_EQ(run(in.data(), out.data(), len), -1) << len;
    EXPECT_EQ(run(nullptr, out.data(), 16), -1);
    EXPECT_EQ(run(in.data(), nullptr, 16), -1);
  }
  EXPECT_EQ(out, untouched);
}

// Each block equals the block enciphered on its own, also when the output lies one block
// behind the input; nothing past the length is written; in place, deciphering gives the
// original back.
TEST_F(Aes, EveryBlockIsEncipheredOnItsOwnAlsoOnShiftedBuffersAndInPlace) {
  std::vector<unsigned char> in(96);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i * 7 + 1);
  std::vector<unsigned char> out(96 + 16, 0xcc), shifted(16 + 96), inPlace = in;
  std::memcpy(shifted.data() + 16, in.data(), 96);
  ASSERT_EQ(AesEncrypt(in.data(), out.data(), 96), 0);
  ASSERT_EQ(AesEncrypt(shifted.data() + 16, shifted.data(), 96), 0);
  ASSERT_EQ(AesEncrypt(inPlace.data(), inPlace.data(), 96), 0);
  for (std::size_t b = 0; b < 6; ++b) {
    Block one{};
    ASSERT_EQ(AesEncrypt(in.data() + 16 * b, one.data(), 16), 0);
    EXPECT_EQ(0, std::memcmp(one.data(), out.data() + 16 * b, 16)) << "block " << b;
    EXPECT_EQ(0, std::memcmp(one.data(), shifted.data() + 16 * b, 16)) << "block " << b;
    EXPECT_EQ(0, std::memcmp(one.data(), inPlace.data() + 16 * b, 16)) << "block " << b;
  }
  for (std::size_t i = 96; i < out.size(); ++i) EXPECT_EQ(out[i], 0xcc);
  ASSERT_EQ(AesDecrypt(inPlace.data(), inPlace.data(), 96), 0);
  EXPECT_EQ(inPlace, in);
}

}  // namespace
