#include "tracehook/jspsourceinfo.h"

#include <gtest/gtest.h>

using tracehook::JspSourceInfo;

TEST(InfoStrParser, LineRecord) {
    auto info = tracehook::infoStrParser("%L5&12&3&0&4&0");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->getInfoType(), JspSourceInfo::LINE_INFO);
}
