#include "update/version.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace gathrix {
namespace {

// Sets or removes GATHRIX_MAKER_SITE_URL for one test and puts back what was there.
class SiteUrlVariable {
public:
    explicit SiteUrlVariable(const char* value) {
        if (const char* old = std::getenv(kName)) old_ = old;
        if (value != nullptr) {
            setenv(kName, value, 1);
        } else {
            unsetenv(kName);
        }
    }
    ~SiteUrlVariable() {
        if (old_) {
            setenv(kName, old_->c_str(), 1);
        } else {
            unsetenv(kName);
        }
    }
    SiteUrlVariable(const SiteUrlVariable&) = delete;
    SiteUrlVariable& operator=(const SiteUrlVariable&) = delete;

private:
    static constexpr const char* kName = "GATHRIX_MAKER_SITE_URL";
    std::optional<std::string> old_;
};

TEST(MakerSiteUrl, IsTheMakersSiteUnlessTheVariableSaysOtherwise) {
    {
        SiteUrlVariable unset(nullptr);
        EXPECT_EQ(MakerSiteUrl(), "http://gathrix.example.net");
    }
    {
        SiteUrlVariable empty("");
        EXPECT_EQ(MakerSiteUrl(), "http://gathrix.example.net");
    }
    {
        SiteUrlVariable local("http://127.0.0.1:8080");
        EXPECT_EQ(MakerSiteUrl(), "http://127.0.0.1:8080");
    }
}

}  // namespace
}  // namespace gathrix
