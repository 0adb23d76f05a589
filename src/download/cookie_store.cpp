#include "download/cookie_store.h"

#include <utility>

#include "net/cookies.h"

namespace gathrix {

CookieStore::CookieStore(std::unique_ptr<net::Cookies> cookies) : cookies_(std::move(cookies)) {}

CookieStore::~CookieStore() = default;

std::unique_ptr<CookieStore> CookieStore::Empty() {
    std::unique_ptr<net::Cookies> cookies = net::Cookies::Empty();
    return cookies ? std::unique_ptr<CookieStore>(new CookieStore(std::move(cookies))) : nullptr;
}

std::unique_ptr<CookieStore> CookieStore::FromText(const std::string& text, std::size_t& cookie_lines) {
    std::unique_ptr<net::Cookies> cookies = net::Cookies::FromText(text, cookie_lines);
    return cookies ? std::unique_ptr<CookieStore>(new CookieStore(std::move(cookies))) : nullptr;
}

bool CookieStore::Save(const std::filesystem::path& file, int& error) const { return cookies_->Save(file, error); }

}  // namespace gathrix
