#include "update/version.h"

#include <gtest/gtest.h>

#include "support/fake_server.h"

namespace gathrix {
namespace {

using test::ScopedEnv;
constexpr const char* kVariable = "GATHRIX_MAKER_SITE_URL";

TEST(MakerSiteUrl, IsTheMakersSiteUnlessTheVariableSaysOtherwise) {
    {
        ScopedEnv unset(kVariable, std::nullopt);
        EXPECT_EQ(MakerSiteUrl(), "http://gathrix.example.net");
    }
    {
        ScopedEnv empty(kVariable, "");
        EXPECT_EQ(MakerSiteUrl(), "http://gathrix.example.net");
    }
    {
        ScopedEnv local(kVariable, "http://127.0.0.1:8080");
        EXPECT_EQ(MakerSiteUrl(), "http://127.0.0.1:8080");
    }
}

}  // namespace
}  // namespace gathrix
