#include <gtest/gtest.h>

#include "engine/Text.h"

namespace mv32::engine::text {

TEST(Text, WidthsCountCharactersAndCutWithoutSplittingThem) {
    EXPECT_EQ(length("Größe"), 5u);
    EXPECT_EQ(fitToWidth("Größenänderung", 4), "Größ");
    EXPECT_EQ(fitToWidth("ab\xE2\x82\xAC"
                         "cd",
                         3),
              "ab\xE2\x82\xAC");                             // the euro sign stays whole
    EXPECT_EQ(fitToWidth(std::string("a\0b", 3), 5), "ab");  // zero bytes go
    // Bytes that are no UTF-8 count one character each and are kept.
    EXPECT_EQ(length("\xFF\xFE"), 2u);
    EXPECT_EQ(fitToWidth("\xFF\xFEz", 2), "\xFF\xFE");
}

TEST(Text, CaseMappingCoversTheLettersOfWindows1252) {
    EXPECT_EQ(upper("äöü éàç ß œšžÿ abc"), "ÄÖÜ ÉÀÇ ß ŒŠŽŸ ABC");
    EXPECT_EQ(lower("ÄÖÜ ÉÀÇ ŒŠŽŸ ABC"), "äöü éàç œšžÿ abc");
    EXPECT_EQ(fold("README.TXT"), fold("readme.txt"));
    EXPECT_EQ(upper("\xFF"), "\xFF");  // an invalid byte stays as it is
}

}  // namespace mv32::engine::text
