#include <gtest/gtest.h>

#include "image/ImageDigest.h"

using namespace Image;

// The digest is documented as the SHA-256 of "AAAAAAAA VV\n" lines, so scripts can recompute it.
TEST(ImageDigest, HashesWhatGoesWhereNotHowTheFileSaysIt) {
  const Hex::THexImage one = Hex::ReadHex(":020000000528D1\n:00000001FF\n");
  const Hex::THexImage split = Hex::ReadHex(":0100010028D6\r\n:0100000005FA\r\n:00000001FF\r\n");
  EXPECT_EQ(ImageDigest(one), "a7ef6daad8064a4bb4d5701bed143a48962ec4cd6b1c81d3576b71303047177e");
  EXPECT_EQ(ImageDigest(split), ImageDigest(one));
  Hex::THexImage changed = one;
  changed[1] = 0x29;
  EXPECT_NE(ImageDigest(changed), ImageDigest(one));
  EXPECT_EQ(ImageDigest({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}
