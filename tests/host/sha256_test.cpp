#include "platform/text/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// The published test vectors, and the same bytes given in pieces that cross block edges.
TEST(Sha256, GivesThePublishedDigestsWhateverThePieces) {
  const struct {
    std::string bytes;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sha256Hex(c.bytes), c.digest) << c.bytes.size();
    for (const std::size_t piece : {1u, 55u, 63u, 64u, 65u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
        hash.Add(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
      }
      EXPECT_EQ(hash.HexDigest(), c.digest) << c.bytes.size() << " in pieces of " << piece;
    }
  }
}
